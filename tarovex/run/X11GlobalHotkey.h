#pragma once

#include "tarovex/run/GlobalHotkey.h"

#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;
typedef struct _XDisplay Display;

namespace tarovex {

// Grabs the combination on the X server's root window (XGrabKey, also with Caps Lock and
// Num Lock on) over a connection of its own, whose events are read when its socket has
// data.
class X11GlobalHotkey : public GlobalHotkey {
    Q_OBJECT

public:
    // Connects to the display of that name (empty: $DISPLAY); throws std::runtime_error when
    // it cannot be opened.
    explicit X11GlobalHotkey(const std::string& displayName = {}, QObject* parent = nullptr);
    ~X11GlobalHotkey() override;

    QString grab(const config::Hotkey& hotkey) override;
    void ungrab() override;

private:
    struct DisplayCloser {
        void operator()(Display* d) const noexcept;
    };
    void readEvents();
    // The modifier masks of the combination with each lock variant.
    std::vector<unsigned> variants(const config::Hotkey& hotkey) const;
    void ungrabVariants();

    std::unique_ptr<Display, DisplayCloser> display_;
    QSocketNotifier* notifier_ = nullptr;
    unsigned keycode_ = 0; // 0: nothing grabbed
    std::vector<unsigned> grabbed_;
    bool down_ = false;
};

} // namespace tarovex
