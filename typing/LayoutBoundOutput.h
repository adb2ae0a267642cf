#pragma once

#include "typing/KeyOutput.h"
#include "typing/XkbLayout.h"

namespace tarovex::typing {

// An output whose keys the desktop translates with its own layout, so it must be told that
// layout to know which characters it can type (uinput, Mutter's remote desktop).
class LayoutBoundOutput : public KeyOutput {
public:
    // Types on that layout from the next key on. Throws std::runtime_error naming a layout
    // that does not exist; the old one then stays.
    virtual void setLayout(const XkbRuleNames& names) = 0;
};

} // namespace tarovex::typing
