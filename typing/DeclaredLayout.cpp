#include "typing/DeclaredLayout.h"

#include <fstream>

namespace tarovex::typing {
namespace {

using config::ConfigHelper::KeyboardType;

// A shell assignment NAME="value" or NAME=value of the keyboard configuration file.
std::string valueOf(const std::string& line, const std::string& name) {
    if (!line.starts_with(name + "="))
        return {};
    std::string value = line.substr(name.size() + 1);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

// The first entry of a comma-separated list ("us,de" or ",nodeadkeys").
std::string firstOf(const std::string& list) {
    return list.substr(0, list.find(','));
}

} // namespace

std::optional<XkbRuleNames> systemKeyboardLayout(const std::string& keyboardFile) {
    std::ifstream in(keyboardFile);
    std::string line, layout, variant;
    while (std::getline(in, line)) {
        if (auto v = valueOf(line, "XKBLAYOUT"); !v.empty())
            layout = v;
        if (auto v = valueOf(line, "XKBVARIANT"); !v.empty())
            variant = v;
    }
    // Several layouts: the first is the one a new keyboard starts with.
    if (firstOf(layout).empty())
        return std::nullopt;
    return XkbRuleNames{firstOf(layout), firstOf(variant)};
}

XkbRuleNames parseXkbLayout(const std::string& text) {
    const auto open = text.find('(');
    if (open == std::string::npos || text.back() != ')')
        return {text, ""};
    return {text.substr(0, open), text.substr(open + 1, text.size() - open - 2)};
}

XkbRuleNames declaredXkbLayout(KeyboardType type, const std::string& explicitLayout,
                               const std::string& keyboardFile) {
    if (!explicitLayout.empty())
        return parseXkbLayout(explicitLayout);
    if (type == KeyboardType::US_INTERNATIONAL)
        return {"us", "intl"};
    if (type == KeyboardType::GERMAN)
        return {"de", ""};
    if (type == KeyboardType::AZERTY)
        return {"fr", ""};
    if (type == KeyboardType::ALL)
        return systemKeyboardLayout(keyboardFile).value_or(XkbRuleNames{"us", ""});
    return {"us", ""};
}

} // namespace tarovex::typing
