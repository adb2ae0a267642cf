#include "config/ConfigHelper.h"

#include <gtest/gtest.h>

using namespace tarovex::config::ConfigHelper;

namespace {

using Keys = QList<int>;

// Alt + keypad digits of the decimal character code.
Keys altCode(int code) {
    Keys keys{18};
    for (const QChar d : QString::number(code))
        keys.append(96 + (d.unicode() - u'0'));
    return keys;
}

} // namespace

TEST(Keymap, EntryCountsForEveryLayout) {
    for (const KeyboardType& layout : KeyboardType::values()) {
        const auto name = layout.name().toStdString();
        EXPECT_EQ(KeyboardType::getKeymap(layout, KeyMapType::NUMERIC).size(), 14) << name;
        EXPECT_EQ(KeyboardType::getKeymap(layout, KeyMapType::ALPHANUMERIC_BASIC).size(), 40) << name;
        EXPECT_EQ(KeyboardType::getKeymap(layout, KeyMapType::ALPHANUMERIC_COMPLETE).size(), 95) << name;
    }
}

TEST(Keymap, CompleteCoverageIsEveryPrintableAsciiCharacter) {
    const Keymap map = KeyboardType::getKeymap(KeyboardType::QUERTY, KeyMapType::ALPHANUMERIC_COMPLETE);
    for (char16_t c = 0x20; c <= 0x7E; ++c)
        EXPECT_TRUE(map.contains(QChar(c))) << int(c);
}

TEST(Keymap, NumericGroup) {
    const Keymap querty = KeyboardType::getKeymap(KeyboardType::QUERTY, KeyMapType::NUMERIC);
    EXPECT_EQ(querty.value(u'0'), Keys({48}));
    EXPECT_EQ(querty.value(u'9'), Keys({57}));
    EXPECT_EQ(querty.value(u'-'), Keys({45}));
    EXPECT_EQ(querty.value(u'+'), Keys({107}));
    EXPECT_EQ(querty.value(u','), Keys({44}));
    EXPECT_EQ(querty.value(u'.'), Keys({46}));
    EXPECT_FALSE(querty.contains(u'A'));
    for (const KeyboardType& layout : {KeyboardType::US_INTERNATIONAL, KeyboardType::GERMAN})
        EXPECT_EQ(KeyboardType::getKeymap(layout, KeyMapType::NUMERIC), querty)
            << layout.name().toStdString();

    const Keymap azerty = KeyboardType::getKeymap(KeyboardType::AZERTY, KeyMapType::NUMERIC);
    EXPECT_EQ(azerty.value(u'0'), Keys({16, 48}));
    EXPECT_EQ(azerty.value(u'7'), Keys({16, 55}));
    EXPECT_EQ(azerty.value(u'-'), Keys({54}));
    EXPECT_EQ(azerty.value(u'+'), Keys({107}));
    EXPECT_EQ(azerty.value(u','), Keys({44}));
    EXPECT_EQ(azerty.value(u'.'), Keys({16, 59}));

    const Keymap all = KeyboardType::getKeymap(KeyboardType::ALL, KeyMapType::NUMERIC);
    EXPECT_EQ(all.value(u','), Keys({18, 100, 100}));
    EXPECT_EQ(all.value(u'9'), Keys({18, 101, 103}));
    EXPECT_EQ(all.value(u'0'), Keys({18, 100, 104}));
}

TEST(Keymap, LettersSpaceAndOperators) {
    for (const KeyboardType& layout :
         {KeyboardType::QUERTY, KeyboardType::US_INTERNATIONAL, KeyboardType::GERMAN, KeyboardType::AZERTY}) {
        const auto name = layout.name().toStdString();
        const Keymap map = KeyboardType::getKeymap(layout, KeyMapType::ALPHANUMERIC_COMPLETE);
        for (int i = 0; i < 26; ++i) {
            EXPECT_EQ(map.value(QChar(u'A' + i)), Keys({16, 65 + i})) << name;
            EXPECT_EQ(map.value(QChar(u'a' + i)), Keys({65 + i})) << name;
        }
        EXPECT_EQ(map.value(u'*'), Keys({106})) << name;
        EXPECT_EQ(map.value(u'/'), Keys({111})) << name;
        EXPECT_EQ(map.value(u' '), Keys({32})) << name;
    }
    // German keeps Y and Z on their letter codes.
    const Keymap german = KeyboardType::getKeymap(KeyboardType::GERMAN, KeyMapType::ALPHANUMERIC_BASIC);
    EXPECT_EQ(german.value(u'Y'), Keys({16, 89}));
    EXPECT_EQ(german.value(u'Z'), Keys({16, 90}));

    const Keymap all = KeyboardType::getKeymap(KeyboardType::ALL, KeyMapType::ALPHANUMERIC_COMPLETE);
    EXPECT_EQ(all.value(u'A'), Keys({18, 102, 101}));
    EXPECT_EQ(all.value(u'd'), Keys({18, 97, 96, 96}));
    for (char16_t c = 0x20; c <= 0x7E; ++c)
        EXPECT_EQ(all.value(QChar(c)), altCode(c)) << int(c);
}

TEST(Keymap, MarksOfEveryNamedLayout) {
    struct Row {
        char16_t mark;
        Keys querty, usInternational, german, azerty;
    };
    const Row rows[] = {
        {u'!', {16, 49}, {16, 49}, {16, 49}, {517}},
        {u'"', {16, 222}, {16, 129, 32}, {16, 50}, {51}},
        {u':', {16, 59}, {16, 59}, {16, 46}, {513}},
        {u'#', {16, 51}, {16, 51}, {520}, {17, 18, 51}},
        {u'$', {16, 52}, {16, 52}, {16, 52}, {515}},
        {u'%', {16, 53}, {16, 53}, {16, 53}, {18, 99, 103}},
        {u'&', {16, 55}, {16, 55}, {16, 54}, {49}},
        {u'\'', {222}, {129, 32}, {16, 520}, {52}},
        {u'(', {16, 57}, {16, 57}, {16, 56}, {53}},
        {u')', {16, 48}, {16, 48}, {16, 57}, {522}},
        {u';', {59}, {59}, {16, 44}, {59}},
        {u'<', {16, 44}, {16, 44}, {153}, {153}},
        {u'=', {61}, {61}, {16, 48}, {61}},
        {u'>', {16, 46}, {16, 46}, {16, 153}, {16, 153}},
        {u'?', {16, 47}, {16, 47}, {18, 102, 99}, {16, 44}},
        {u'@', {16, 50}, {16, 50}, {17, 18, 81}, {17, 18, 48}},
        {u'[', {91}, {91}, {17, 18, 56}, {17, 18, 53}},
        {u'\\', {92}, {92}, {18, 105, 98}, {17, 18, 56}},
        {u']', {93}, {93}, {17, 18, 57}, {17, 18, 522}},
        {u'^', {16, 54}, {16, 54, 32}, {130, 32}, {130, 32}},
        {u'_', {16, 45}, {16, 45}, {16, 45}, {56}},
        {u'`', {192}, {128, 32}, {16, 129, 32}, {17, 18, 55}},
        {u'{', {16, 91}, {16, 91}, {17, 18, 55}, {17, 18, 52}},
        {u'|', {16, 92}, {16, 92}, {17, 18, 153}, {17, 18, 54}},
        {u'}', {16, 93}, {16, 93}, {17, 18, 48}, {17, 18, 61}},
        {u'~', {16, 192}, {16, 128, 32}, {17, 18, 521}, {17, 18, 50}},
    };
    const Keymap querty = KeyboardType::getKeymap(KeyboardType::QUERTY, KeyMapType::ALPHANUMERIC_COMPLETE);
    const Keymap us =
        KeyboardType::getKeymap(KeyboardType::US_INTERNATIONAL, KeyMapType::ALPHANUMERIC_COMPLETE);
    const Keymap german = KeyboardType::getKeymap(KeyboardType::GERMAN, KeyMapType::ALPHANUMERIC_COMPLETE);
    const Keymap azerty = KeyboardType::getKeymap(KeyboardType::AZERTY, KeyMapType::ALPHANUMERIC_COMPLETE);
    for (const Row& r : rows) {
        const QChar c(r.mark);
        EXPECT_EQ(querty.value(c), r.querty) << char(r.mark);
        EXPECT_EQ(us.value(c), r.usInternational) << char(r.mark);
        EXPECT_EQ(german.value(c), r.german) << char(r.mark);
        EXPECT_EQ(azerty.value(c), r.azerty) << char(r.mark);
    }
}

TEST(Keymap, EachCallBuildsANewMap) {
    Keymap first = KeyboardType::getKeymap(KeyboardType::QUERTY, KeyMapType::NUMERIC);
    first.remove(u'0');
    EXPECT_TRUE(KeyboardType::getKeymap(KeyboardType::QUERTY, KeyMapType::NUMERIC).contains(u'0'));
}
