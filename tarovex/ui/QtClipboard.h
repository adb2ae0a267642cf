#pragma once

#include "typing/Clipboard.h"

#include <QObject>

#include <chrono>
#include <functional>
#include <memory>

namespace tarovex::ui {

// The clipboard of the window's display through Qt, for pasting from the typing thread. It
// lives on the GUI thread, which alone may touch the clipboard: the typing thread posts the
// work there and waits a bounded time, since the GUI thread may itself be waiting for the
// typing thread (a run that stops joins it). What the clipboard held is kept in every format.
class QtClipboard : public typing::Clipboard {
public:
    // Made on the GUI thread.
    QtClipboard();
    ~QtClipboard() override;

    std::optional<QString> unavailable() const override { return unavailableHere(); }
    std::optional<QString> put(const QString& text) override;
    void restore() override;

    // How long the typing thread waits for the GUI thread; longer is a failed paste.
    static constexpr std::chrono::milliseconds kWaitLimit{1000};
    // Why pasting cannot work in this program here; none when it can.
    static std::optional<QString> unavailableHere();

    struct Held;

private:
    // Runs `work` on the GUI thread; false when it did not run within the wait limit.
    bool onGuiThread(std::function<void()> work);

    std::unique_ptr<QObject> home_; // where the work is posted, on the GUI thread
    // Shared with work still posted when a wait ended, which may run after this goes.
    std::shared_ptr<Held> held_;
};

} // namespace tarovex::ui
