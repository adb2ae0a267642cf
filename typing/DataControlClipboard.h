#pragma once

#include "typing/Clipboard.h"

#include <memory>
#include <string>

namespace tarovex::typing {

class WaylandClipboard;

// Pasting on Wayland, where the window's own clipboard is out of reach while another
// application has the focus: the compositor's data-control clipboard, open to a program
// without a window (wlroots, KDE). Connected once at Start; where the compositor offers none
// (GNOME), unavailable() says so and values are typed.
class DataControlClipboard final : public Clipboard {
public:
    explicit DataControlClipboard(const std::string& display);
    ~DataControlClipboard() override;

    std::optional<QString> unavailable() const override { return why_; }
    std::optional<QString> put(const QString& text) override;
    void restore() override;

    // Why the compositor of `display` gives no clipboard to a program without a window;
    // nothing when it does.
    static std::optional<QString> unavailableOn(const std::string& display);

private:
    std::unique_ptr<WaylandClipboard> clipboard_;
    std::optional<QString> why_;
};

} // namespace tarovex::typing
