#pragma once

// The settings' enumerations and text validators, all in the namespace ConfigHelper.
//
// Shape of every enumeration X (see config/Enumeration.h):
//   - a small value class; constants are `static const X NAME;` used as `ConfigHelper::X::NAME`,
//     constexpr, copyable, comparable with == and <, hashable through ordinal();
//   - x.name() (the identifier as text), x.ordinal(), x.toString() (the display label,
//     looked up once in the settings bundle), X::values(), X::count(),
//     X::valueOf(QString) (throws std::invalid_argument for an unknown name),
//     X::find(QString) (std::optional<X>), X::isValidName(QString);
//   - in a switch: `switch (x.ordinal()) { case X::NAME.ordinal(): ... }`;
//   - X::getDefault() returns the default constant, except for the index-based serial
//     enumerations (BitRates, DataBits, StopBits, Parity), whose setting is the ordinal:
//     their getDefault() returns that ordinal, and they add getLabel(int) (empty text out of
//     range), isValidIndex(int) and fromIndex(int).
// Text holders (MathOperand, DecimalPlaces, ...): X::getDefault() and X::isValid(QString);
// every check accepts the empty text, which means "not used".
// The instrument presets are ConfigHelper::Instrument, in config/Instrument.h.

#include "config/Enumeration.h"
#include "config/KeyCodes.h"
#include "config/RoundingMode.h"

#include <QChar>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace tarovex::config {

class ResourceBundle;

namespace ConfigHelper {

// The base name of the settings bundle.
inline constexpr const char* bundleName = "tarovex.config.ConfigBundle";

// The settings bundle (labels, preset names and messages), loaded on first use.
std::shared_ptr<const ResourceBundle> getBundle();

// ---- Serial line (index-based: the setting is the ordinal, equal to SerialConfig's index)

class BitRates : public IndexedEnumeration<BitRates> {
public:
    static const BitRates BR_110, BR_150, BR_300, BR_600, BR_1200, BR_2400, BR_4800, BR_9600, BR_19200,
        BR_38400, BR_57600, BR_115200, BR_230400, BR_460800, BR_921600;
    static constexpr int getDefault() noexcept { return 7; }
    // The rate in bits per second.
    constexpr int bitsPerSecond() const noexcept { return entry().data; }

private:
    friend Enumeration<BitRates>;
    friend IndexedEnumeration<BitRates>;
    explicit constexpr BitRates(int ordinal) noexcept : IndexedEnumeration(ordinal) {}
    static constexpr const char* typeName = "BitRates";
    static constexpr EnumEntry entries[] = {
        {"BR_110", LabelKind::Literal, "110", 110},
        {"BR_150", LabelKind::Literal, "150", 150},
        {"BR_300", LabelKind::Literal, "300", 300},
        {"BR_600", LabelKind::Literal, "600", 600},
        {"BR_1200", LabelKind::Literal, "1200", 1200},
        {"BR_2400", LabelKind::Literal, "2400", 2400},
        {"BR_4800", LabelKind::Literal, "4800", 4800},
        {"BR_9600", LabelKind::Literal, "9600", 9600},
        {"BR_19200", LabelKind::Literal, "19200", 19200},
        {"BR_38400", LabelKind::Literal, "38400", 38400},
        {"BR_57600", LabelKind::Literal, "57600", 57600},
        {"BR_115200", LabelKind::Literal, "115200", 115200},
        {"BR_230400", LabelKind::Literal, "230400", 230400},
        {"BR_460800", LabelKind::Literal, "460800", 460800},
        {"BR_921600", LabelKind::Literal, "921600", 921600},
    };
};
inline constexpr BitRates BitRates::BR_110{0};
inline constexpr BitRates BitRates::BR_150{1};
inline constexpr BitRates BitRates::BR_300{2};
inline constexpr BitRates BitRates::BR_600{3};
inline constexpr BitRates BitRates::BR_1200{4};
inline constexpr BitRates BitRates::BR_2400{5};
inline constexpr BitRates BitRates::BR_4800{6};
inline constexpr BitRates BitRates::BR_9600{7};
inline constexpr BitRates BitRates::BR_19200{8};
inline constexpr BitRates BitRates::BR_38400{9};
inline constexpr BitRates BitRates::BR_57600{10};
inline constexpr BitRates BitRates::BR_115200{11};
inline constexpr BitRates BitRates::BR_230400{12};
inline constexpr BitRates BitRates::BR_460800{13};
inline constexpr BitRates BitRates::BR_921600{14};

class DataBits : public IndexedEnumeration<DataBits> {
public:
    static const DataBits LN_5BITS, LN_6BITS, LN_7BITS, LN_8BITS;
    static constexpr int getDefault() noexcept { return 3; }
    constexpr int bits() const noexcept { return entry().data; }

private:
    friend Enumeration<DataBits>;
    friend IndexedEnumeration<DataBits>;
    explicit constexpr DataBits(int ordinal) noexcept : IndexedEnumeration(ordinal) {}
    static constexpr const char* typeName = "DataBits";
    static constexpr EnumEntry entries[] = {
        {"LN_5BITS", LabelKind::Literal, "5", 5},
        {"LN_6BITS", LabelKind::Literal, "6", 6},
        {"LN_7BITS", LabelKind::Literal, "7", 7},
        {"LN_8BITS", LabelKind::Literal, "8", 8},
    };
};
inline constexpr DataBits DataBits::LN_5BITS{0};
inline constexpr DataBits DataBits::LN_6BITS{1};
inline constexpr DataBits DataBits::LN_7BITS{2};
inline constexpr DataBits DataBits::LN_8BITS{3};

class StopBits : public IndexedEnumeration<StopBits> {
public:
    static const StopBits ST_1BITS, ST_2BITS;
    static constexpr int getDefault() noexcept { return 0; }
    constexpr int bits() const noexcept { return entry().data; }

private:
    friend Enumeration<StopBits>;
    friend IndexedEnumeration<StopBits>;
    explicit constexpr StopBits(int ordinal) noexcept : IndexedEnumeration(ordinal) {}
    static constexpr const char* typeName = "StopBits";
    static constexpr EnumEntry entries[] = {
        {"ST_1BITS", LabelKind::Literal, "1", 1},
        {"ST_2BITS", LabelKind::Literal, "2", 2},
    };
};
inline constexpr StopBits StopBits::ST_1BITS{0};
inline constexpr StopBits StopBits::ST_2BITS{1};

class Parity : public IndexedEnumeration<Parity> {
public:
    static const Parity NONE, ODD, EVEN, MARK, SPACE;
    static constexpr int getDefault() noexcept { return 0; }

private:
    friend Enumeration<Parity>;
    friend IndexedEnumeration<Parity>;
    explicit constexpr Parity(int ordinal) noexcept : IndexedEnumeration(ordinal) {}
    static constexpr const char* typeName = "Parity";
    static constexpr EnumEntry entries[] = {
        {"NONE", LabelKind::Name, nullptr},  {"ODD", LabelKind::Name, nullptr},
        {"EVEN", LabelKind::Name, nullptr},  {"MARK", LabelKind::Name, nullptr},
        {"SPACE", LabelKind::Name, nullptr},
    };
};
inline constexpr Parity Parity::NONE{0};
inline constexpr Parity Parity::ODD{1};
inline constexpr Parity Parity::EVEN{2};
inline constexpr Parity Parity::MARK{3};
inline constexpr Parity Parity::SPACE{4};

// How a run starts: by the start button, or by itself when the program starts.
class Connect : public Enumeration<Connect> {
public:
    static const Connect MANUAL, AUTO;
    static Connect getDefault() noexcept;

private:
    friend Enumeration<Connect>;
    explicit constexpr Connect(int ordinal) noexcept : Enumeration(ordinal) {}
    static constexpr const char* typeName = "Connect";
    static constexpr EnumEntry entries[] = {
        {"MANUAL", LabelKind::Key, "manual"},
        {"AUTO", LabelKind::Key, "auto"},
    };
};
inline constexpr Connect Connect::MANUAL{0};
inline constexpr Connect Connect::AUTO{1};
inline Connect Connect::getDefault() noexcept {
    return MANUAL;
}

// ---- Processing and output options

// The named choices for the byte that ends a data line; the setting itself is any byte value.
class InputTerminator : public Enumeration<InputTerminator> {
public:
    static const InputTerminator EOT, LF, CR;
    // The default byte value (13), not a constant.
    static constexpr int getDefault() noexcept { return 13; }
    constexpr int getValue() const noexcept { return entry().data; }
    // The constant with that byte value, or none.
    static std::optional<InputTerminator> fromValue(int value) noexcept;
    // True when 0 <= value <= 255.
    static constexpr bool isValidValue(int value) noexcept { return value >= 0 && value <= 255; }

private:
    friend Enumeration<InputTerminator>;
    explicit constexpr InputTerminator(int ordinal) noexcept : Enumeration(ordinal) {}
    static constexpr const char* typeName = "InputTerminator";
    static constexpr EnumEntry entries[] = {
        {"EOT", LabelKind::Literal, "4 <EOT>", 4},
        {"LF", LabelKind::Literal, "10 <LF>", 10},
        {"CR", LabelKind::Literal, "13 <CR>", 13},
    };
};
inline constexpr InputTerminator InputTerminator::EOT{0};
inline constexpr InputTerminator InputTerminator::LF{1};
inline constexpr InputTerminator InputTerminator::CR{2};

// The key typed after each value (also the second terminator).
class OutputTerminator : public Enumeration<OutputTerminator> {
public:
    static const OutputTerminator NONE, ENTER, TAB, RIGHT, DOWN;
    static OutputTerminator getDefault() noexcept;
    // The key code to type; 0 for NONE, which types no key.
    static int getKeyCode(OutputTerminator terminator) noexcept { return terminator.entry().data; }

private:
    friend Enumeration<OutputTerminator>;
    explicit constexpr OutputTerminator(int ordinal) noexcept : Enumeration(ordinal) {}
    static constexpr const char* typeName = "OutputTerminator";
    static constexpr EnumEntry entries[] = {
        {"NONE", LabelKind::Key, "key.none", 0},
        {"ENTER", LabelKind::Key, "enter", KeyCodes::VK_ENTER},
        {"TAB", LabelKind::Key, "tab", KeyCodes::VK_TAB},
        {"RIGHT", LabelKind::Key, "right", KeyCodes::VK_RIGHT},
        {"DOWN", LabelKind::Key, "down", KeyCodes::VK_DOWN},
    };
};
inline constexpr OutputTerminator OutputTerminator::NONE{0};
inline constexpr OutputTerminator OutputTerminator::ENTER{1};
inline constexpr OutputTerminator OutputTerminator::TAB{2};
inline constexpr OutputTerminator OutputTerminator::RIGHT{3};
inline constexpr OutputTerminator OutputTerminator::DOWN{4};
inline OutputTerminator OutputTerminator::getDefault() noexcept {
    return NONE;
}

// The key typed before each value.
class StartWith : public Enumeration<StartWith> {
public:
    static const StartWith NONE, ENTER, TAB, RIGHT, DOWN, DELETE, MULTIPLY, F1, F2, F3, F4, F5, F6, F7, F8,
        F9, F10, F11, F12;
    static StartWith getDefault() noexcept;
    // The key code to type; 0 for NONE, which types no key.
    static int getKeyCode(StartWith key) noexcept { return key.entry().data; }

private:
    friend Enumeration<StartWith>;
    explicit constexpr StartWith(int ordinal) noexcept : Enumeration(ordinal) {}
    static constexpr const char* typeName = "StartWith";
    static constexpr EnumEntry entries[] = {
        {"NONE", LabelKind::Key, "key.none", 0},
        {"ENTER", LabelKind::Key, "enter", KeyCodes::VK_ENTER},
        {"TAB", LabelKind::Key, "tab", KeyCodes::VK_TAB},
        {"RIGHT", LabelKind::Key, "right", KeyCodes::VK_RIGHT},
        {"DOWN", LabelKind::Key, "down", KeyCodes::VK_DOWN},
        {"DELETE", LabelKind::Key, "delete", KeyCodes::VK_DELETE},
        {"MULTIPLY", LabelKind::Literal, "*", KeyCodes::VK_MULTIPLY},
        {"F1", LabelKind::Name, nullptr, KeyCodes::functionKey(1)},
        {"F2", LabelKind::Name, nullptr, KeyCodes::functionKey(2)},
        {"F3", LabelKind::Name, nullptr, KeyCodes::functionKey(3)},
        {"F4", LabelKind::Name, nullptr, KeyCodes::functionKey(4)},
        {"F5", LabelKind::Name, nullptr, KeyCodes::functionKey(5)},
        {"F6", LabelKind::Name, nullptr, KeyCodes::functionKey(6)},
        {"F7", LabelKind::Name, nullptr, KeyCodes::functionKey(7)},
        {"F8", LabelKind::Name, nullptr, KeyCodes::functionKey(8)},
        {"F9", LabelKind::Name, nullptr, KeyCodes::functionKey(9)},
        {"F10", LabelKind::Name, nullptr, KeyCodes::functionKey(10)},
        {"F11", LabelKind::Name, nullptr, KeyCodes::functionKey(11)},
        {"F12", LabelKind::Name, nullptr, KeyCodes::functionKey(12)},
    };
};
inline constexpr StartWith StartWith::NONE{0};
inline constexpr StartWith StartWith::ENTER{1};
inline constexpr StartWith StartWith::TAB{2};
inline constexpr StartWith StartWith::RIGHT{3};
inline constexpr StartWith StartWith::DOWN{4};
inline constexpr StartWith StartWith::DELETE{5};
inline constexpr StartWith StartWith::MULTIPLY{6};
inline constexpr StartWith StartWith::F1{7};
inline constexpr StartWith StartWith::F2{8};
inline constexpr StartWith StartWith::F3{9};
inline constexpr StartWith StartWith::F4{10};
inline constexpr StartWith StartWith::F5{11};
inline constexpr StartWith StartWith::F6{12};
inline constexpr StartWith StartWith::F7{13};
inline constexpr StartWith StartWith::F8{14};
inline constexpr StartWith StartWith::F9{15};
inline constexpr StartWith StartWith::F10{16};
inline constexpr StartWith StartWith::F11{17};
inline constexpr StartWith StartWith::F12{18};
inline StartWith StartWith::getDefault() noexcept {
    return NONE;
}

// The decimal separator written into the output value.
class DecimalSeparator : public Enumeration<DecimalSeparator> {
public:
    static const DecimalSeparator DOT, COMMA;
    static DecimalSeparator getDefault() noexcept;

private:
    friend Enumeration<DecimalSeparator>;
    explicit constexpr DecimalSeparator(int ordinal) noexcept : Enumeration(ordinal) {}
    static constexpr const char* typeName = "DecimalSeparator";
    static constexpr EnumEntry entries[] = {
        {"DOT", LabelKind::Key, "dot"},
        {"COMMA", LabelKind::Key, "comma"},
    };
};
inline constexpr DecimalSeparator DecimalSeparator::DOT{0};
inline constexpr DecimalSeparator DecimalSeparator::COMMA{1};
inline DecimalSeparator DecimalSeparator::getDefault() noexcept {
    return DOT;
}

// How the number formatter rounds to the configured decimal places.
class RoundingMethod : public Enumeration<RoundingMethod> {
public:
    static const RoundingMethod CEILING, DOWN, FLOOR, HALF_DOWN, HALF_EVEN, HALF_UP, UP;
    static RoundingMethod getDefault() noexcept;
    // The decimal rounding mode of the same name.
    constexpr RoundingMode getRoundingMode() const noexcept { return RoundingMode(entry().data); }

private:
    friend Enumeration<RoundingMethod>;
    explicit constexpr RoundingMethod(int ordinal) noexcept : Enumeration(ordinal) {}
    static constexpr const char* typeName = "RoundingMethod";
    static constexpr EnumEntry entries[] = {
        {"CEILING", LabelKind::Literal, "ceiling", int(RoundingMode::CEILING)},
        {"DOWN", LabelKind::Literal, "down", int(RoundingMode::DOWN)},
        {"FLOOR", LabelKind::Literal, "floor", int(RoundingMode::FLOOR)},
        {"HALF_DOWN", LabelKind::Literal, "half down", int(RoundingMode::HALF_DOWN)},
        {"HALF_EVEN", LabelKind::Literal, "half even", int(RoundingMode::HALF_EVEN)},
        {"HALF_UP", LabelKind::Literal, "half up", int(RoundingMode::HALF_UP)},
        {"UP", LabelKind::Literal, "up", int(RoundingMode::UP)},
    };
};
inline constexpr RoundingMethod RoundingMethod::CEILING{0};
inline constexpr RoundingMethod RoundingMethod::DOWN{1};
inline constexpr RoundingMethod RoundingMethod::FLOOR{2};
inline constexpr RoundingMethod RoundingMethod::HALF_DOWN{3};
inline constexpr RoundingMethod RoundingMethod::HALF_EVEN{4};
inline constexpr RoundingMethod RoundingMethod::HALF_UP{5};
inline constexpr RoundingMethod RoundingMethod::UP{6};
inline RoundingMethod RoundingMethod::getDefault() noexcept {
    return HALF_UP;
}

// Arithmetic of the value with the operand setting.
class MathOperation : public Enumeration<MathOperation> {
public:
    static const MathOperation NONE, MULTIPLY, DIVIDE;
    static MathOperation getDefault() noexcept;

private:
    friend Enumeration<MathOperation>;
    explicit constexpr MathOperation(int ordinal) noexcept : Enumeration(ordinal) {}
    static constexpr const char* typeName = "MathOperation";
    static constexpr EnumEntry entries[] = {
        {"NONE", LabelKind::Key, "math.none"},
        {"MULTIPLY", LabelKind::Key, "multiply"},
        {"DIVIDE", LabelKind::Key, "divide"},
    };
};
inline constexpr MathOperation MathOperation::NONE{0};
inline constexpr MathOperation MathOperation::MULTIPLY{1};
inline constexpr MathOperation MathOperation::DIVIDE{2};
inline MathOperation MathOperation::getDefault() noexcept {
    return NONE;
}

// What the editor does with a number of characters of the value.
class EditOperation : public Enumeration<EditOperation> {
public:
    static const EditOperation REMOVE, KEEP;
    static EditOperation getDefault() noexcept;

private:
    friend Enumeration<EditOperation>;
    explicit constexpr EditOperation(int ordinal) noexcept : Enumeration(ordinal) {}
    static constexpr const char* typeName = "EditOperation";
    static constexpr EnumEntry entries[] = {
        {"REMOVE", LabelKind::Key, "edit.remove"},
        {"KEEP", LabelKind::Key, "edit.keep"},
    };
};
inline constexpr EditOperation EditOperation::REMOVE{0};
inline constexpr EditOperation EditOperation::KEEP{1};
inline EditOperation EditOperation::getDefault() noexcept {
    return REMOVE;
}

// At which end of the value the editor works.
class EditPosition : public Enumeration<EditPosition> {
public:
    static const EditPosition FIRST, LAST;
    static EditPosition getDefault() noexcept;

private:
    friend Enumeration<EditPosition>;
    explicit constexpr EditPosition(int ordinal) noexcept : Enumeration(ordinal) {}
    static constexpr const char* typeName = "EditPosition";
    static constexpr EnumEntry entries[] = {
        {"FIRST", LabelKind::Key, "edit.first"},
        {"LAST", LabelKind::Key, "edit.last"},
    };
};
inline constexpr EditPosition EditPosition::FIRST{0};
inline constexpr EditPosition EditPosition::LAST{1};
inline EditPosition EditPosition::getDefault() noexcept {
    return FIRST;
}

// The sound played per typed value: a key of the General MIDI percussion map.
class Sound : public Enumeration<Sound> {
public:
    static const Sound NONE, RIDE_BELL, COWBELL, HIGH_AGOGO, LOW_AGOGO, CLAVES, OPEN_TRIANGLE;
    static Sound getDefault() noexcept;
    // The percussion key number; 0 for NONE (no sound).
    constexpr int getPercussionNumber() const noexcept { return entry().data; }

private:
    friend Enumeration<Sound>;
    explicit constexpr Sound(int ordinal) noexcept : Enumeration(ordinal) {}
    static constexpr const char* typeName = "Sound";
    static constexpr EnumEntry entries[] = {
        {"NONE", LabelKind::Key, "sound.none", 0},
        {"RIDE_BELL", LabelKind::Literal, "Ride Bell", 53},
        {"COWBELL", LabelKind::Literal, "Cowbell", 56},
        {"HIGH_AGOGO", LabelKind::Literal, "High Agogo", 67},
        {"LOW_AGOGO", LabelKind::Literal, "Low Agogo", 68},
        {"CLAVES", LabelKind::Literal, "Claves", 75},
        {"OPEN_TRIANGLE", LabelKind::Literal, "Triangle", 81},
    };
};
inline constexpr Sound Sound::NONE{0};
inline constexpr Sound Sound::RIDE_BELL{1};
inline constexpr Sound Sound::COWBELL{2};
inline constexpr Sound Sound::HIGH_AGOGO{3};
inline constexpr Sound Sound::LOW_AGOGO{4};
inline constexpr Sound Sound::CLAVES{5};
inline constexpr Sound Sound::OPEN_TRIANGLE{6};
inline Sound Sound::getDefault() noexcept {
    return NONE;
}

// How a value reaches the application: typed key by key, pasted through the clipboard, or
// pasted only when the layout cannot type one of its characters. Stored in lower case, as
// people write it.
class OutputMode : public Enumeration<OutputMode> {
public:
    static const OutputMode TYPE, PASTE, AUTO;
    static OutputMode getDefault() noexcept;

private:
    friend Enumeration<OutputMode>;
    explicit constexpr OutputMode(int ordinal) noexcept : Enumeration(ordinal) {}
    static constexpr const char* typeName = "OutputMode";
    static constexpr EnumEntry entries[] = {
        {"type", LabelKind::Key, "outputMode.type"},
        {"paste", LabelKind::Key, "outputMode.paste"},
        {"auto", LabelKind::Key, "outputMode.auto"},
    };
};
inline constexpr OutputMode OutputMode::TYPE{0};
inline constexpr OutputMode OutputMode::PASTE{1};
inline constexpr OutputMode OutputMode::AUTO{2};
inline OutputMode OutputMode::getDefault() noexcept {
    return TYPE;
}

// The keys that paste: terminals take Ctrl+Shift+V, older programs Shift+Insert.
class PasteKey : public Enumeration<PasteKey> {
public:
    static const PasteKey CTRL_V, SHIFT_INSERT, CTRL_SHIFT_V;
    static PasteKey getDefault() noexcept;

private:
    friend Enumeration<PasteKey>;
    explicit constexpr PasteKey(int ordinal) noexcept : Enumeration(ordinal) {}
    static constexpr const char* typeName = "PasteKey";
    static constexpr EnumEntry entries[] = {
        {"CTRL_V", LabelKind::Key, "pasteKey.ctrl_v"},
        {"SHIFT_INSERT", LabelKind::Key, "pasteKey.shift_insert"},
        {"CTRL_SHIFT_V", LabelKind::Key, "pasteKey.ctrl_shift_v"},
    };
};
inline constexpr PasteKey PasteKey::CTRL_V{0};
inline constexpr PasteKey PasteKey::SHIFT_INSERT{1};
inline constexpr PasteKey PasteKey::CTRL_SHIFT_V{2};
inline PasteKey PasteKey::getDefault() noexcept {
    return CTRL_V;
}

// How much of the character set a keyboard map covers; chosen by the instrument preset.
class KeyMapType : public Enumeration<KeyMapType> {
public:
    static const KeyMapType NUMERIC, ALPHANUMERIC_BASIC, ALPHANUMERIC_COMPLETE;

private:
    friend Enumeration<KeyMapType>;
    explicit constexpr KeyMapType(int ordinal) noexcept : Enumeration(ordinal) {}
    static constexpr const char* typeName = "KeyMapType";
    static constexpr EnumEntry entries[] = {
        {"NUMERIC", LabelKind::Name, nullptr},
        {"ALPHANUMERIC_BASIC", LabelKind::Name, nullptr},
        {"ALPHANUMERIC_COMPLETE", LabelKind::Name, nullptr},
    };
};
inline constexpr KeyMapType KeyMapType::NUMERIC{0};
inline constexpr KeyMapType KeyMapType::ALPHANUMERIC_BASIC{1};
inline constexpr KeyMapType KeyMapType::ALPHANUMERIC_COMPLETE{2};

// A keyboard map: character -> key codes to press in order (modifiers first) and release.
using Keymap = QMap<QChar, QList<int>>;

// The keyboard layout of the target computer. QUERTY is spelled so (also in stored settings).
// ALL types every character as Alt + its decimal code on the numeric keypad.
class KeyboardType : public Enumeration<KeyboardType> {
public:
    static const KeyboardType QUERTY, US_INTERNATIONAL, AZERTY, GERMAN, ALL;
    static KeyboardType getDefault() noexcept;
    // The keys that type each character on that layout with that coverage; built anew per call.
    static Keymap getKeymap(KeyboardType layout, KeyMapType coverage);

private:
    friend Enumeration<KeyboardType>;
    explicit constexpr KeyboardType(int ordinal) noexcept : Enumeration(ordinal) {}
    static constexpr const char* typeName = "KeyboardType";
    static constexpr EnumEntry entries[] = {
        {"QUERTY", LabelKind::Key, "keyboardType.default"},
        {"US_INTERNATIONAL", LabelKind::Key, "keyboardType.us_international"},
        {"AZERTY", LabelKind::Key, "keyboardType.azerty"},
        {"GERMAN", LabelKind::Key, "keyboardType.german"},
        {"ALL", LabelKind::Key, "keyboardType.all"},
    };
};
inline constexpr KeyboardType KeyboardType::QUERTY{0};
inline constexpr KeyboardType KeyboardType::US_INTERNATIONAL{1};
inline constexpr KeyboardType KeyboardType::AZERTY{2};
inline constexpr KeyboardType KeyboardType::GERMAN{3};
inline constexpr KeyboardType KeyboardType::ALL{4};
inline KeyboardType KeyboardType::getDefault() noexcept {
    return QUERTY;
}

// The kind of data an instrument sends. The names are also the property names under which
// Config announces instrument changes.
class InstrumentType : public Enumeration<InstrumentType> {
public:
    static const InstrumentType NUMBER, TEXT;

private:
    friend Enumeration<InstrumentType>;
    explicit constexpr InstrumentType(int ordinal) noexcept : Enumeration(ordinal) {}
    static constexpr const char* typeName = "InstrumentType";
    static constexpr EnumEntry entries[] = {
        {"NUMBER", LabelKind::Name, nullptr},
        {"TEXT", LabelKind::Name, nullptr},
    };
};
inline constexpr InstrumentType InstrumentType::NUMBER{0};
inline constexpr InstrumentType InstrumentType::TEXT{1};

// ---- Text settings: the text the user typed, checked by a validator. Every check accepts
// the empty text ("not used") and never throws.

// Operand of the math operation: a decimal number other than zero ('.' as separator).
struct MathOperand {
    static QString getDefault() { return {}; }
    static bool isValid(const QString& text) noexcept;
};

// Decimal places for rounding: an integer from 0 to 7.
struct DecimalPlaces {
    static QString getDefault() { return {}; }
    static bool isValid(const QString& text) noexcept;
};

// Type only every X-th value: an integer from 2 to 99.
struct EveryXValues {
    static QString getDefault() { return {}; }
    static bool isValid(const QString& text) noexcept;
};

// Number of characters the edit operation works on: an integer from 1 to 99.
struct EditNumCharacters {
    static QString getDefault() { return {}; }
    static bool isValid(const QString& text) noexcept;
};

// Characters removed from the value: Latin-1 characters only (code points up to 255).
struct RemoveCharacters {
    static QString getDefault() { return {}; }
    static bool isValid(const QString& text) noexcept;
};

// Delay between typed keys in milliseconds: an integer from 0 to 1000.
struct Delay {
    static QString getDefault() { return QStringLiteral("20"); }
    static bool isValid(const QString& text) noexcept;
};

// Time limit of the repeat filter: an integer greater than 0.
struct IgnoreTimeLimit {
    static QString getDefault() { return {}; }
    static bool isValid(const QString& text) noexcept;
};

// Tolerance of the repeat filter: a decimal number greater than zero.
struct IgnoreDifference {
    static QString getDefault() { return {}; }
    static bool isValid(const QString& text) noexcept;
};

// The user's own extraction expression: it must compile, and it must open a group before
// it closes one, so that group 1 holds the value.
struct CustomRegEx {
    static QString getDefault() { return {}; }
    static bool isValid(const QString& text) noexcept;
};

// Milliseconds between requests for a reading: an integer from 0 (no timer) to 86400000.
struct RequestInterval {
    static QString getDefault() { return {}; }
    static bool isValid(const QString& text) noexcept;
};

// A command sent instead of the preset's own request: printable ASCII with \r, \n, \e,
// \\ and \xHH escapes (see parseCommandText).
struct RequestCommand {
    static QString getDefault() { return {}; }
    static bool isValid(const QString& text) noexcept;
};

// The request's key combination (see parseHotkey), or empty for none.
struct RequestHotkey {
    static QString getDefault() { return {}; }
    static bool isValid(const QString& text) noexcept;
};

// Which lines are stable: an expression that compiles.
struct StableRegEx {
    static QString getDefault() { return {}; }
    static bool isValid(const QString& text) noexcept;
};

} // namespace ConfigHelper
} // namespace tarovex::config
