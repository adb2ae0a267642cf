#include "tarovex/ui/QtClipboard.h"

#include "tarovex/texts/ShellBundle.h"
#include "typing/KeyOutputFactory.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QThread>

#include <future>

namespace tarovex::ui {

// What the clipboard held before the last put; only the GUI thread touches it.
struct QtClipboard::Held {
    std::unique_ptr<QMimeData> content;
    bool saved = false;
};

namespace {

void keep(QtClipboard::Held& held) {
    const QMimeData* now = QGuiApplication::clipboard()->mimeData();
    auto copy = std::make_unique<QMimeData>();
    if (now)
        for (const QString& format : now->formats())
            copy->setData(format, now->data(format));
    held.content = std::move(copy);
    held.saved = true;
}

void putBack(QtClipboard::Held& held) {
    if (!held.saved)
        return;
    held.saved = false;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (held.content->formats().isEmpty())
        clipboard->clear();
    else
        clipboard->setMimeData(held.content.release()); // the clipboard owns it
}

} // namespace

QtClipboard::QtClipboard() : home_(std::make_unique<QObject>()), held_(std::make_shared<Held>()) {}

QtClipboard::~QtClipboard() = default;

std::optional<QString> QtClipboard::unavailableHere() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return text(QStringLiteral("paste.noWindow"));
    if (QGuiApplication::platformName().startsWith(u"wayland") ||
        typing::SessionEnvironment::current().isWaylandSession())
        return text(QStringLiteral("paste.wayland"));
    // Other platforms (offscreen) keep a clipboard no other program sees.
    if (QGuiApplication::platformName() != u"xcb")
        return text(QStringLiteral("paste.noWindow"));
    return std::nullopt;
}

bool QtClipboard::onGuiThread(std::function<void()> work) {
    if (QThread::currentThread() == home_->thread()) {
        work();
        return true;
    }
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> ran = done->get_future();
    QMetaObject::invokeMethod(
        home_.get(),
        [work = std::move(work), done] {
            work();
            done->set_value();
        },
        Qt::QueuedConnection);
    return ran.wait_for(kWaitLimit) == std::future_status::ready;
}

std::optional<QString> QtClipboard::put(const QString& value) {
    const bool ran = onGuiThread([held = held_, value] {
        keep(*held);
        QGuiApplication::clipboard()->setText(value);
    });
    if (ran)
        return std::nullopt;
    // Should the put still come, what it replaced comes back right after it.
    restore();
    return text(QStringLiteral("paste.noAnswer"));
}

void QtClipboard::restore() {
    onGuiThread([held = held_] { putBack(*held); });
}

} // namespace tarovex::ui
