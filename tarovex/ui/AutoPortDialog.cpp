#include "tarovex/ui/AutoPortDialog.h"

#include "worker/autoport/AutoPortWorker.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

namespace tarovex {

AutoPortDialog::AutoPortDialog(QWidget* owner, const QStringList& portNames,
                               std::function<void(const QString&)> selectBestPort)
    : QDialog(owner), selectBestPort_(std::move(selectBestPort)), pane_(new QTextEdit(this)),
      button_(new QPushButton(QStringLiteral("OK"), this)) {
    setWindowTitle(QStringLiteral("Auto-detect port"));
    setModal(true);
    pane_->setReadOnly(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pane_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(button_);
    buttons->addStretch();
    layout->addLayout(buttons);
    resize(440, 300);
    connect(button_, &QPushButton::clicked, this, &AutoPortDialog::buttonPressed);

    worker_ = std::make_unique<worker::AutoPortWorker>(*this, portNames);
    worker_->start();
}

AutoPortDialog::~AutoPortDialog() = default;

QString AutoPortDialog::messages() const {
    return pane_->toPlainText();
}

QString AutoPortDialog::buttonText() const {
    return button_->text();
}

bool AutoPortDialog::isDetectionDone() const {
    return worker_->isDone();
}

void AutoPortDialog::setButtonToCancel() {
    button_->setText(QStringLiteral("Cancel"));
}

void AutoPortDialog::setButtonToClose() {
    button_->setText(QStringLiteral("Close"));
}

void AutoPortDialog::selectBestPort(const QString& name) {
    if (selectBestPort_)
        selectBestPort_(name);
}

void AutoPortDialog::appendMessage(const QString& text, Emphasis emphasis) {
    QTextCursor cursor(pane_->document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    if (emphasis != Emphasis::None)
        format.setFontWeight(QFont::Bold);
    if (emphasis == Emphasis::BoldFailure)
        format.setForeground(QColor(0xb0, 0x00, 0x20));
    if (!pane_->document()->isEmpty())
        cursor.insertText(QStringLiteral("\n"), QTextCharFormat());
    cursor.insertText(text, format);
    pane_->ensureCursorVisible();
}

void AutoPortDialog::buttonPressed() {
    if (worker_->isDone())
        accept();
    else
        worker_->cancel();
}

void AutoPortDialog::reject() {
    if (!worker_->isDone())
        worker_->cancel();
    QDialog::reject();
}

} // namespace tarovex
