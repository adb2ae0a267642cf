#include "config/ConfigHelper.h"
#include "config/KeyCodes.h"

namespace tarovex::config::ConfigHelper {
namespace {

using namespace KeyCodes;

// Alt held while the decimal character code is typed on the numeric keypad.
QList<int> altCode(QChar c) {
    QList<int> keys{VK_ALT};
    for (const QChar digit : QString::number(c.unicode()))
        keys.append(numpadKey(digit.unicode() - u'0'));
    return keys;
}

struct MarkKeys {
    char mark;
    QList<int> querty, usInternational, german, azerty;
};

// The punctuation marks of the complete coverage, per named layout. A dead key is followed
// by Space to get the bare mark; a few marks fall back to Alt codes where the layout has
// no reliable key for them.
const QList<MarkKeys>& marks() {
    static const QList<MarkKeys> table = {
        {'!',
         {VK_SHIFT, digitKey('1')},
         {VK_SHIFT, digitKey('1')},
         {VK_SHIFT, digitKey('1')},
         {VK_EXCLAMATION_MARK}},
        {'"',
         {VK_SHIFT, VK_QUOTE},
         {VK_SHIFT, VK_DEAD_ACUTE, VK_SPACE},
         {VK_SHIFT, digitKey('2')},
         {digitKey('3')}},
        {':', {VK_SHIFT, VK_SEMICOLON}, {VK_SHIFT, VK_SEMICOLON}, {VK_SHIFT, VK_PERIOD}, {VK_COLON}},
        {'#',
         {VK_SHIFT, digitKey('3')},
         {VK_SHIFT, digitKey('3')},
         {VK_NUMBER_SIGN},
         {VK_CONTROL, VK_ALT, digitKey('3')}},
        {'$', {VK_SHIFT, digitKey('4')}, {VK_SHIFT, digitKey('4')}, {VK_SHIFT, digitKey('4')}, {VK_DOLLAR}},
        {'%',
         {VK_SHIFT, digitKey('5')},
         {VK_SHIFT, digitKey('5')},
         {VK_SHIFT, digitKey('5')},
         {VK_ALT, numpadKey(3), numpadKey(7)}},
        {'&',
         {VK_SHIFT, digitKey('7')},
         {VK_SHIFT, digitKey('7')},
         {VK_SHIFT, digitKey('6')},
         {digitKey('1')}},
        {'\'', {VK_QUOTE}, {VK_DEAD_ACUTE, VK_SPACE}, {VK_SHIFT, VK_NUMBER_SIGN}, {digitKey('4')}},
        {'(',
         {VK_SHIFT, digitKey('9')},
         {VK_SHIFT, digitKey('9')},
         {VK_SHIFT, digitKey('8')},
         {digitKey('5')}},
        {')',
         {VK_SHIFT, digitKey('0')},
         {VK_SHIFT, digitKey('0')},
         {VK_SHIFT, digitKey('9')},
         {VK_RIGHT_PARENTHESIS}},
        {';', {VK_SEMICOLON}, {VK_SEMICOLON}, {VK_SHIFT, VK_COMMA}, {VK_SEMICOLON}},
        {'<', {VK_SHIFT, VK_COMMA}, {VK_SHIFT, VK_COMMA}, {VK_LESS}, {VK_LESS}},
        {'=', {VK_EQUALS}, {VK_EQUALS}, {VK_SHIFT, digitKey('0')}, {VK_EQUALS}},
        {'>', {VK_SHIFT, VK_PERIOD}, {VK_SHIFT, VK_PERIOD}, {VK_SHIFT, VK_LESS}, {VK_SHIFT, VK_LESS}},
        {'?',
         {VK_SHIFT, VK_SLASH},
         {VK_SHIFT, VK_SLASH},
         {VK_ALT, numpadKey(6), numpadKey(3)},
         {VK_SHIFT, VK_COMMA}},
        {'@',
         {VK_SHIFT, digitKey('2')},
         {VK_SHIFT, digitKey('2')},
         {VK_CONTROL, VK_ALT, letterKey('Q')},
         {VK_CONTROL, VK_ALT, digitKey('0')}},
        {'[',
         {VK_OPEN_BRACKET},
         {VK_OPEN_BRACKET},
         {VK_CONTROL, VK_ALT, digitKey('8')},
         {VK_CONTROL, VK_ALT, digitKey('5')}},
        {'\\',
         {VK_BACK_SLASH},
         {VK_BACK_SLASH},
         {VK_ALT, numpadKey(9), numpadKey(2)},
         {VK_CONTROL, VK_ALT, digitKey('8')}},
        {']',
         {VK_CLOSE_BRACKET},
         {VK_CLOSE_BRACKET},
         {VK_CONTROL, VK_ALT, digitKey('9')},
         {VK_CONTROL, VK_ALT, VK_RIGHT_PARENTHESIS}},
        {'^',
         {VK_SHIFT, digitKey('6')},
         {VK_SHIFT, digitKey('6'), VK_SPACE},
         {VK_DEAD_CIRCUMFLEX, VK_SPACE},
         {VK_DEAD_CIRCUMFLEX, VK_SPACE}},
        {'_', {VK_SHIFT, VK_MINUS}, {VK_SHIFT, VK_MINUS}, {VK_SHIFT, VK_MINUS}, {digitKey('8')}},
        {'`',
         {VK_BACK_QUOTE},
         {VK_DEAD_GRAVE, VK_SPACE},
         {VK_SHIFT, VK_DEAD_ACUTE, VK_SPACE},
         {VK_CONTROL, VK_ALT, digitKey('7')}}, // AZERTY's AltGr+7 and AltGr+2 are no dead keys
        {'{',
         {VK_SHIFT, VK_OPEN_BRACKET},
         {VK_SHIFT, VK_OPEN_BRACKET},
         {VK_CONTROL, VK_ALT, digitKey('7')},
         {VK_CONTROL, VK_ALT, digitKey('4')}},
        {'|',
         {VK_SHIFT, VK_BACK_SLASH},
         {VK_SHIFT, VK_BACK_SLASH},
         {VK_CONTROL, VK_ALT, VK_LESS},
         {VK_CONTROL, VK_ALT, digitKey('6')}},
        {'}',
         {VK_SHIFT, VK_CLOSE_BRACKET},
         {VK_SHIFT, VK_CLOSE_BRACKET},
         {VK_CONTROL, VK_ALT, digitKey('0')},
         {VK_CONTROL, VK_ALT, VK_EQUALS}},
        {'~',
         {VK_SHIFT, VK_BACK_QUOTE},
         {VK_SHIFT, VK_DEAD_GRAVE, VK_SPACE},
         {VK_CONTROL, VK_ALT, VK_PLUS},
         {VK_CONTROL, VK_ALT, digitKey('2')}},
    };
    return table;
}

const QList<int>& markKeys(const MarkKeys& m, KeyboardType layout) {
    if (layout == KeyboardType::US_INTERNATIONAL)
        return m.usInternational;
    if (layout == KeyboardType::GERMAN)
        return m.german;
    if (layout == KeyboardType::AZERTY)
        return m.azerty;
    return m.querty;
}

void addNumeric(Keymap& map, KeyboardType layout) {
    const QString chars = QStringLiteral("0123456789-+,.");
    if (layout == KeyboardType::ALL) {
        for (const QChar c : chars)
            map.insert(c, altCode(c));
        return;
    }
    const bool azerty = layout == KeyboardType::AZERTY;
    for (char d = '0'; d <= '9'; ++d)
        map.insert(QChar(d), azerty ? QList<int>{VK_SHIFT, digitKey(d)} : QList<int>{digitKey(d)});
    map.insert(u'-', {azerty ? digitKey('6') : VK_MINUS});
    map.insert(u'+', {VK_ADD});
    map.insert(u',', {VK_COMMA});
    map.insert(u'.', azerty ? QList<int>{VK_SHIFT, VK_SEMICOLON} : QList<int>{VK_PERIOD});
}

void addUpperCase(Keymap& map, KeyboardType layout) {
    for (char c = 'A'; c <= 'Z'; ++c)
        map.insert(QChar(c),
                   layout == KeyboardType::ALL ? altCode(QChar(c)) : QList<int>{VK_SHIFT, letterKey(c)});
}

void addComplete(Keymap& map, KeyboardType layout) {
    if (layout == KeyboardType::ALL) {
        for (char c = 'a'; c <= 'z'; ++c)
            map.insert(QChar(c), altCode(QChar(c)));
        for (const QChar c : QStringLiteral(" */"))
            map.insert(c, altCode(c));
        for (const MarkKeys& m : marks())
            map.insert(QChar(m.mark), altCode(QChar(m.mark)));
        return;
    }
    for (char c = 'a'; c <= 'z'; ++c)
        map.insert(QChar(c), {letterKey(c)});
    map.insert(u'*', {VK_MULTIPLY});
    map.insert(u'/', {VK_DIVIDE});
    map.insert(u' ', {VK_SPACE});
    for (const MarkKeys& m : marks())
        map.insert(QChar(m.mark), markKeys(m, layout));
}

} // namespace

Keymap KeyboardType::getKeymap(KeyboardType layout, KeyMapType coverage) {
    Keymap map;
    addNumeric(map, layout);
    if (coverage == KeyMapType::ALPHANUMERIC_BASIC || coverage == KeyMapType::ALPHANUMERIC_COMPLETE)
        addUpperCase(map, layout);
    if (coverage == KeyMapType::ALPHANUMERIC_COMPLETE)
        addComplete(map, layout);
    return map;
}

} // namespace tarovex::config::ConfigHelper
