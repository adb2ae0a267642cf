#include "tarovex/ui/TrayIcon.h"

#include <QMenu>
#include <QPixmap>
#include <QTextDocumentFragment>

#include <iostream>

namespace tarovex::ui {

namespace {
const QString title = QStringLiteral("Tarovex");
}

QIcon TrayIcon::programIcon() {
    QIcon icon;
    for (const char* path : {":/tarovex/tarovex32.png", ":/tarovex/tarovex24.png", ":/tarovex/tarovex20.png",
                             ":/tarovex/tarovex16.png"}) {
        const QPixmap p(QString::fromLatin1(path));
        if (p.isNull())
            std::cerr << "Couldn't find file: " << path << '\n';
        else
            icon.addPixmap(p);
    }
    return icon;
}

TrayIcon::TrayIcon(const QIcon& icon, QObject* parent)
    : QObject(parent), icon_(new QSystemTrayIcon(icon, this)), menu_(new QMenu) {
    connect(menu_->addAction(QStringLiteral("Show")), &QAction::triggered, this, &TrayIcon::showRequested);
    startStop_ = menu_->addAction(QStringLiteral("Start"));
    connect(startStop_, &QAction::triggered, this, &TrayIcon::startStopRequested);
    menu_->addSeparator();
    connect(menu_->addAction(QStringLiteral("Quit")), &QAction::triggered, this, &TrayIcon::quitRequested);
    icon_->setContextMenu(menu_);
    icon_->setToolTip(title);
    // Panels that speak StatusNotifier report single clicks only.
    connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            emit showRequested();
    });
}

TrayIcon::~TrayIcon() {
    delete menu_; // a context menu has no parent
}

void TrayIcon::setVisible(bool visible) {
    icon_->setVisible(visible);
}

void TrayIcon::setRunning(bool running) {
    startStop_->setText(running ? QStringLiteral("Stop") : QStringLiteral("Start"));
}

void TrayIcon::setStatus(const QString& status) {
    // The update notice is a link; a tooltip shows plain text.
    status_ = Qt::mightBeRichText(status) ? QTextDocumentFragment::fromHtml(status).toPlainText() : status;
    showToolTip();
}

void TrayIcon::setReading(const QString& reading) {
    reading_ = reading;
    showToolTip();
}

void TrayIcon::showToolTip() {
    QStringList lines{reading_, status_};
    lines.removeAll(QString());
    icon_->setToolTip(lines.isEmpty() ? title : title + QStringLiteral(": ") + lines.join(u'\n'));
}

void TrayIcon::showMessage(const QString& message) {
    icon_->showMessage(title, message, QSystemTrayIcon::Information);
}

QString TrayIcon::toolTip() const {
    return icon_->toolTip();
}

} // namespace tarovex::ui
