#pragma once

#include "typing/KeyOutput.h"
#include "typing/LayoutBoundOutput.h"
#include "typing/desktop/DesktopLayout.h"

#include <chrono>
#include <functional>
#include <memory>

namespace tarovex::typing {

// An output bound to the desktop's layout (uinput, KWin's fake input, Mutter) that keeps to
// the layout the desktop applies while the user switches layouts: before the first key of a
// value (a key after a pause), and at least once a second while typing goes on, it asks the
// desktop again and types on the new layout.
class LayoutFollowingOutput : public KeyOutput {
public:
    static constexpr std::chrono::milliseconds valuePause{150};
    static constexpr std::chrono::milliseconds maxAge{1000};

    // `ask` gives the desktop's layout as desktopLayout() does; the first answer is `choice`.
    LayoutFollowingOutput(std::unique_ptr<LayoutBoundOutput> output, LayoutChoice choice,
                          std::function<LayoutChoice()> ask, std::string sourceName);

    void type(const TypedKey& key) override;
    std::optional<std::string> cannotType(char32_t c) override;
    QString description() const override;

    const LayoutChoice& layout() const noexcept { return choice_; }

private:
    // Switches to the desktop's layout when it may have changed since the last key.
    void follow();

    std::unique_ptr<LayoutBoundOutput> output_;
    LayoutChoice choice_;
    std::function<LayoutChoice()> ask_;
    std::string sourceName_;
    std::chrono::steady_clock::time_point lastKey_{};
    std::chrono::steady_clock::time_point lastAsked_ = std::chrono::steady_clock::now();
};

} // namespace tarovex::typing
