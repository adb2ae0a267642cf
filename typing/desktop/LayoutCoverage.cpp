#include "typing/desktop/LayoutCoverage.h"

#include "typing/KeyResolver.h"

namespace tarovex::typing {

QString untypableCharacters(const XkbLayout& layout, config::ConfigHelper::KeyboardType type,
                            config::ConfigHelper::KeyMapType coverage) {
    QString missing;
    const auto keymap = config::ConfigHelper::KeyboardType::getKeymap(type, coverage);
    for (auto it = keymap.keyBegin(); it != keymap.keyEnd(); ++it) {
        const QChar c = *it;
        if (c.unicode() < 0x20)
            continue; // control keys are named keys, on every layout
        const auto kind = resolveCharacter(layout, c.unicode(), 0).kind;
        if (kind != KeyResolution::Kind::Direct && kind != KeyResolution::Kind::DeadKeyThenSpace)
            missing += c;
    }
    return missing;
}

} // namespace tarovex::typing
