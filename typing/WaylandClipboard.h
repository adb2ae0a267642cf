#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarovex::typing {

// The clipboard of a Wayland compositor that offers its data-control protocol (wlroots
// compositors such as sway, KDE): a program without a window may set and read the selection.
// Its own thread serves what it put there for as long as that stays the selection; every call
// waits for that thread, bounded, and may come from any thread.
class WaylandClipboard {
public:
    // What the selection holds: each offered type with its bytes.
    using Contents = std::vector<std::pair<std::string, QByteArray>>;

    // Connects to the compositor of `display` (a socket name or path; empty: WAYLAND_DISPLAY).
    // Throws std::runtime_error saying why when it cannot, or when the compositor has no
    // data-control protocol (GNOME).
    explicit WaylandClipboard(const std::string& display = {});
    ~WaylandClipboard();
    WaylandClipboard(const WaylandClipboard&) = delete;
    WaylandClipboard& operator=(const WaylandClipboard&) = delete;

    // The selection becomes `text`; what it held before is kept for restore(). Throws
    // std::runtime_error when the compositor does not answer.
    void put(const QString& text);
    // The selection holds again what it held before the last put(); nothing to do without one.
    void restore();
    // The selection's text now; nothing when it is empty or has no text.
    std::optional<QString> text();

    struct State; // the connection, served by its thread

private:
    std::unique_ptr<State> s_;
};

} // namespace tarovex::typing
