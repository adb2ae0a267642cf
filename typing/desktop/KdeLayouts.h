#pragma once

#include "typing/XkbLayout.h"

#include <optional>
#include <string>
#include <vector>

namespace tarovex::typing {

// The layouts of KDE Plasma's keyboard settings file (kxkbrc, group [Layout]: LayoutList,
// VariantList, Use). Empty when the file is missing or the user keeps the system's layout.
std::vector<XkbRuleNames> kdeLayouts(const std::string& kxkbrcFile);

// The index of the active layout, from org.kde.keyboard /Layouts getLayout on the bus at
// `busAddress`; none when nobody answers within a short time. Any thread.
std::optional<unsigned> kdeActiveLayoutIndex(const std::string& busAddress);

} // namespace tarovex::typing
