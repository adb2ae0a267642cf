#include "config/ConfigHelper.h"
#include "config/ResourceBundle.h"

#include <QSet>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace tarovex::config;
using namespace tarovex::config::ConfigHelper;

namespace {

template <typename E> QStringList names() {
    QStringList list;
    for (const E& e : E::values())
        list.append(e.name());
    return list;
}

template <typename E> QStringList labels() {
    QStringList list;
    for (const E& e : E::values())
        list.append(e.toString());
    return list;
}

QString text(const char* key) {
    return getBundle()->getString(QString::fromLatin1(key));
}

// Every constant is found again by its own name, at its own ordinal.
template <typename E> void expectRoundTrip() {
    const QList<E> all = E::values();
    for (int i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].ordinal(), i);
        EXPECT_EQ(E::valueOf(all[i].name()), all[i]);
        EXPECT_TRUE(E::isValidName(all[i].name()));
    }
    EXPECT_EQ(all.size(), E::count());
}

} // namespace

TEST(SerialEnumerations, NamesLabelsAndDefaults) {
    EXPECT_EQ(labels<BitRates>(),
              QStringList({"110", "150", "300", "600", "1200", "2400", "4800", "9600", "19200", "38400",
                           "57600", "115200", "230400", "460800", "921600"}));
    EXPECT_EQ(names<BitRates>().first(), "BR_110");
    EXPECT_EQ(names<BitRates>().last(), "BR_921600");
    EXPECT_EQ(names<DataBits>(), QStringList({"LN_5BITS", "LN_6BITS", "LN_7BITS", "LN_8BITS"}));
    EXPECT_EQ(labels<DataBits>(), QStringList({"5", "6", "7", "8"}));
    EXPECT_EQ(names<StopBits>(), QStringList({"ST_1BITS", "ST_2BITS"}));
    EXPECT_EQ(labels<StopBits>(), QStringList({"1", "2"}));
    EXPECT_EQ(labels<Parity>(), QStringList({"NONE", "ODD", "EVEN", "MARK", "SPACE"}));

    EXPECT_EQ(BitRates::getDefault(), BitRates::BR_9600.ordinal());
    EXPECT_EQ(BitRates::getDefault(), 7);
    EXPECT_EQ(DataBits::getDefault(), 3);
    EXPECT_EQ(StopBits::getDefault(), 0);
    EXPECT_EQ(Parity::getDefault(), 0);
    EXPECT_EQ(BitRates::BR_115200.bitsPerSecond(), 115200);

    expectRoundTrip<BitRates>();
    expectRoundTrip<DataBits>();
    expectRoundTrip<StopBits>();
    expectRoundTrip<Parity>();
}

TEST(SerialEnumerations, LabelByIndexAndIndexCheck) {
    struct Case {
        int index;
        QString bitRate;
        QString parity;
    };
    const Case cases[] = {{-1, "", ""},    {0, "110", "NONE"}, {2, "300", "EVEN"}, {4, "1200", "SPACE"},
                          {5, "2400", ""}, {14, "921600", ""}, {15, "", ""}};
    for (const Case& c : cases) {
        EXPECT_EQ(BitRates::getLabel(c.index), c.bitRate) << c.index;
        EXPECT_EQ(Parity::getLabel(c.index), c.parity) << c.index;
        EXPECT_EQ(BitRates::isValidIndex(c.index), !c.bitRate.isEmpty()) << c.index;
        EXPECT_EQ(Parity::isValidIndex(c.index), !c.parity.isEmpty()) << c.index;
    }
    EXPECT_FALSE(DataBits::isValidIndex(4));
    EXPECT_TRUE(DataBits::isValidIndex(3));
    EXPECT_FALSE(StopBits::isValidIndex(2));
    EXPECT_EQ(StopBits::fromIndex(1), StopBits::ST_2BITS);
    EXPECT_EQ(StopBits::fromIndex(2), std::nullopt);
}

TEST(Connect, NameCheckIsExactAndCaseSensitive) {
    EXPECT_EQ(Connect::getDefault(), Connect::MANUAL);
    EXPECT_EQ(Connect::MANUAL.toString(), text("manual"));
    EXPECT_EQ(Connect::AUTO.toString(), text("auto"));
    for (const char* accepted : {"MANUAL", "AUTO"})
        EXPECT_TRUE(Connect::isValidName(QString::fromLatin1(accepted))) << accepted;
    for (const char* rejected : {"auto", "Auto", "", " AUTO", "AUTO ", "MANUAL\n", "NONE"})
        EXPECT_FALSE(Connect::isValidName(QString::fromLatin1(rejected))) << rejected;
    expectRoundTrip<Connect>();
}

TEST(Enumerations, ValueOfRefusesUnknownNamesWithTheirName) {
    try {
        Connect::valueOf("auto");
        FAIL() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "No enum constant Connect.auto");
    }
    EXPECT_THROW(Sound::valueOf("cowbell"), std::invalid_argument);
    EXPECT_THROW(BitRates::valueOf("9600"), std::invalid_argument);
    EXPECT_EQ(Sound::valueOf("COWBELL"), Sound::COWBELL);
}

TEST(InputTerminator, ValuesLookupAndRange) {
    EXPECT_EQ(labels<InputTerminator>(), QStringList({"4 <EOT>", "10 <LF>", "13 <CR>"}));
    EXPECT_EQ(InputTerminator::getDefault(), 13);
    EXPECT_EQ(InputTerminator::EOT.getValue(), 4);
    EXPECT_EQ(InputTerminator::fromValue(10), InputTerminator::LF);
    EXPECT_EQ(InputTerminator::fromValue(13), InputTerminator::CR);
    EXPECT_EQ(InputTerminator::fromValue(2), std::nullopt);
    for (int v : {0, 13, 255})
        EXPECT_TRUE(InputTerminator::isValidValue(v)) << v;
    for (int v : {-1, 256})
        EXPECT_FALSE(InputTerminator::isValidValue(v)) << v;
    expectRoundTrip<InputTerminator>();
}

TEST(KeyEnumerations, KeyCodesAndLabels) {
    EXPECT_EQ(OutputTerminator::getDefault(), OutputTerminator::NONE);
    const QList<int> terminatorCodes{0, 10, 9, 39, 40};
    for (const OutputTerminator& t : OutputTerminator::values())
        EXPECT_EQ(OutputTerminator::getKeyCode(t), terminatorCodes[t.ordinal()]) << t.name().toStdString();
    EXPECT_EQ(labels<OutputTerminator>(),
              QStringList({text("key.none"), text("enter"), text("tab"), text("right"), text("down")}));

    EXPECT_EQ(StartWith::getDefault(), StartWith::NONE);
    EXPECT_EQ(StartWith::count(), 19);
    EXPECT_EQ(StartWith::getKeyCode(StartWith::NONE), 0);
    EXPECT_EQ(StartWith::getKeyCode(StartWith::DELETE), 127);
    EXPECT_EQ(StartWith::getKeyCode(StartWith::MULTIPLY), 106);
    EXPECT_EQ(StartWith::getKeyCode(StartWith::F1), 112);
    EXPECT_EQ(StartWith::getKeyCode(StartWith::F12), 123);
    EXPECT_EQ(StartWith::MULTIPLY.toString(), "*");
    EXPECT_EQ(StartWith::DELETE.toString(), text("delete"));
    for (int n = 1; n <= 12; ++n) {
        const StartWith key = StartWith::valueOf(QStringLiteral("F%1").arg(n));
        EXPECT_EQ(key.toString(), key.name());
        EXPECT_EQ(StartWith::getKeyCode(key), 111 + n);
    }
    expectRoundTrip<StartWith>();
    expectRoundTrip<OutputTerminator>();
}

TEST(OptionEnumerations, LabelsAndDefaults) {
    EXPECT_EQ(DecimalSeparator::getDefault(), DecimalSeparator::DOT);
    EXPECT_EQ(labels<DecimalSeparator>(), QStringList({text("dot"), text("comma")}));
    EXPECT_EQ(MathOperation::getDefault(), MathOperation::NONE);
    EXPECT_EQ(labels<MathOperation>(), QStringList({text("math.none"), text("multiply"), text("divide")}));
    EXPECT_EQ(EditOperation::getDefault(), EditOperation::REMOVE);
    EXPECT_EQ(labels<EditOperation>(), QStringList({text("edit.remove"), text("edit.keep")}));
    EXPECT_EQ(EditPosition::getDefault(), EditPosition::FIRST);
    EXPECT_EQ(labels<EditPosition>(), QStringList({text("edit.first"), text("edit.last")}));
    EXPECT_EQ(KeyboardType::getDefault(), KeyboardType::QUERTY);
    EXPECT_EQ(names<KeyboardType>(), QStringList({"QUERTY", "US_INTERNATIONAL", "AZERTY", "GERMAN", "ALL"}));
    EXPECT_EQ(KeyboardType::QUERTY.toString(), text("keyboardType.default"));
    EXPECT_EQ(names<KeyMapType>(), QStringList({"NUMERIC", "ALPHANUMERIC_BASIC", "ALPHANUMERIC_COMPLETE"}));
    EXPECT_EQ(names<InstrumentType>(), QStringList({"NUMBER", "TEXT"}));
    expectRoundTrip<DecimalSeparator>();
    expectRoundTrip<MathOperation>();
    expectRoundTrip<EditOperation>();
    expectRoundTrip<EditPosition>();
    expectRoundTrip<KeyboardType>();
    expectRoundTrip<KeyMapType>();
    expectRoundTrip<InstrumentType>();
}

TEST(RoundingMethod, CarriesTheRoundingModeOfItsName) {
    EXPECT_EQ(RoundingMethod::getDefault(), RoundingMethod::HALF_UP);
    EXPECT_EQ(labels<RoundingMethod>(),
              QStringList({"ceiling", "down", "floor", "half down", "half even", "half up", "up"}));
    const RoundingMode modes[] = {RoundingMode::CEILING,   RoundingMode::DOWN,      RoundingMode::FLOOR,
                                  RoundingMode::HALF_DOWN, RoundingMode::HALF_EVEN, RoundingMode::HALF_UP,
                                  RoundingMode::UP};
    for (const RoundingMethod& m : RoundingMethod::values())
        EXPECT_EQ(m.getRoundingMode(), modes[m.ordinal()]) << m.name().toStdString();
    expectRoundTrip<RoundingMethod>();
}

TEST(Sound, PercussionNumbersAndLabels) {
    EXPECT_EQ(Sound::getDefault(), Sound::NONE);
    EXPECT_EQ(labels<Sound>(), QStringList({text("sound.none"), "Ride Bell", "Cowbell", "High Agogo",
                                            "Low Agogo", "Claves", "Triangle"}));
    QList<int> numbers;
    for (const Sound& s : Sound::values())
        numbers.append(s.getPercussionNumber());
    EXPECT_EQ(numbers, QList<int>({0, 53, 56, 67, 68, 75, 81}));
    expectRoundTrip<Sound>();
}

// Constants are constant expressions, so callers can switch over them.
TEST(Enumerations, UsableInSwitch) {
    const auto describe = [](MathOperation op) {
        switch (op.ordinal()) {
        case MathOperation::MULTIPLY.ordinal():
            return 1;
        case MathOperation::DIVIDE.ordinal():
            return 2;
        default:
            return 0;
        }
    };
    EXPECT_EQ(describe(MathOperation::NONE), 0);
    EXPECT_EQ(describe(MathOperation::MULTIPLY), 1);
    EXPECT_EQ(describe(MathOperation::DIVIDE), 2);
    const QSet<Sound> sounds{Sound::COWBELL, Sound::CLAVES, Sound::COWBELL};
    EXPECT_EQ(sounds.size(), 2);
    static_assert(RoundingMethod::HALF_UP.getRoundingMode() == RoundingMode::HALF_UP);
    static_assert(Parity::EVEN != Parity::ODD && Parity::EVEN.ordinal() == 2);
}
