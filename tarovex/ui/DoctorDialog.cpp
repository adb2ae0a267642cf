#include "tarovex/ui/DoctorDialog.h"

#include "tarovex/texts/ShellBundle.h"
#include "tarovex/ui/QtClipboard.h"
#include "typing/DataControlClipboard.h"
#include "typing/KeyOutputFactory.h"
#include "worker/doctor/Doctor.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace tarovex {
namespace {

using Severity = worker::doctor::Finding::Severity;

QString markOf(Severity severity) {
    switch (severity) {
    case Severity::Ok:
        return QStringLiteral("<span style='color:#2e7d32'>&#10004;</span>");
    case Severity::Warning:
        return QStringLiteral("<span style='color:#b26a00'><b>!</b></span>");
    case Severity::Problem:
        break;
    }
    return QStringLiteral("<span style='color:#c62828'><b>&#10008;</b></span>");
}

QString html(const worker::doctor::Findings& findings) {
    QString page = QStringLiteral("<table cellspacing='4'>");
    for (const auto& f : findings) {
        page += QStringLiteral("<tr><td valign='top'>%1</td><td>%2")
                    .arg(markOf(f.severity), f.sentence.toHtmlEscaped());
        if (!f.fix.isEmpty())
            page +=
                QStringLiteral("<br><code style='background:#eeeeee'>%1</code>").arg(f.fix.toHtmlEscaped());
        page += QStringLiteral("</td></tr>");
    }
    page += QStringLiteral("</table><p><b>%1</b></p>")
                .arg(worker::doctor::blocksReadingOrTyping(findings) ? text(QStringLiteral("doctor.blocked"))
                                                                     : text(QStringLiteral("doctor.clear")));
    return page;
}

} // namespace

DoctorDialog::DoctorDialog(QWidget* owner, std::function<worker::doctor::Findings()> check)
    : QDialog(owner), check_(std::move(check)), pane_(new QTextBrowser(this)) {
    setWindowTitle(text(QStringLiteral("doctor.title")));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* again =
        buttons->addButton(text(QStringLiteral("doctor.again")), QDialogButtonBox::ActionRole);
    connect(again, &QPushButton::clicked, this, &DoctorDialog::refresh);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pane_);
    layout->addWidget(buttons);
    resize(640, 420);
    refresh();
}

QString DoctorDialog::report() const {
    return pane_->toPlainText();
}

void DoctorDialog::refresh() {
    pane_->setHtml(html(check_()));
}

worker::doctor::Findings checkThisComputer(const QStringList& ports) {
    worker::doctor::Findings findings =
        worker::doctor::checkThisComputer(worker::doctor::SystemView::current(), ports);
    // On X11 the window's clipboard pastes; on Wayland the compositor's, if it lends it.
    const auto session = typing::SessionEnvironment::current();
    const std::optional<QString> why =
        session.isWaylandSession() ? typing::DataControlClipboard::unavailableOn(session.waylandDisplay)
                                   : ui::QtClipboard::unavailableHere();
    if (why)
        findings.push_back({Severity::Warning,
                            shellBundle().format(QStringLiteral("doctor.paste.unavailable"), {*why}),
                            {}});
    else
        findings.push_back({Severity::Ok, text(QStringLiteral("doctor.paste.ok")), {}});
    return findings;
}

} // namespace tarovex
