#include "tarovex/ui/LinkOpener.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

namespace tarovex::ui {

namespace {

void showFailure() {
    QMessageBox::critical(nullptr, QStringLiteral("A problem occured"),
                          QStringLiteral("Sorry, a problem occurred while trying to open this link in your "
                                         "system's standard browser."));
}

} // namespace

bool isOpenableLink(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == u"http" || scheme == u"https" || scheme == u"mailto");
}

void openHyperlink(const QString& address) {
    const QUrl url(address);
    if (!isOpenableLink(url)) {
        showFailure();
        return;
    }
    QThread* runner = QThread::create([url] {
        if (!QDesktopServices::openUrl(url))
            QMetaObject::invokeMethod(qApp, &showFailure, Qt::QueuedConnection);
    });
    QObject::connect(runner, &QThread::finished, runner, &QObject::deleteLater);
    runner->start();
}

} // namespace tarovex::ui
