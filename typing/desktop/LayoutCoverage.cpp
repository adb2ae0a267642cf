#include "typing/desktop/LayoutCoverage.h"

#include "typing/KeyResolver.h"
#include "typing/StrokeTyping.h"

namespace tarovex::typing {

QString untypableCharacters(const XkbLayout& layout, config::ConfigHelper::KeyboardType type,
                            config::ConfigHelper::KeyMapType coverage) {
    QString missing;
    const std::vector<ModifierKey> modifiers = modifierKeys(layout);
    const auto keymap = config::ConfigHelper::KeyboardType::getKeymap(type, coverage);
    for (auto it = keymap.keyBegin(); it != keymap.keyEnd(); ++it) {
        const QChar c = *it;
        if (c.unicode() < 0x20)
            continue; // control keys are named keys, on every layout
        const KeyResolution r = resolveCharacter(layout, c.unicode(), 0);
        if ((r.kind != KeyResolution::Kind::Direct && r.kind != KeyResolution::Kind::DeadKeyThenSpace) ||
            unreachableStroke(layout, r.strokes, modifiers))
            missing += c;
    }
    return missing;
}

QString untypableCharacters(KeyOutput& output, config::ConfigHelper::KeyboardType type,
                            config::ConfigHelper::KeyMapType coverage) {
    QString missing;
    const auto keymap = config::ConfigHelper::KeyboardType::getKeymap(type, coverage);
    for (auto it = keymap.keyBegin(); it != keymap.keyEnd(); ++it)
        if (it->unicode() >= 0x20 && output.cannotType(it->unicode()))
            missing += *it;
    return missing;
}

} // namespace tarovex::typing
