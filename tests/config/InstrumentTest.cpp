#include "config/Instrument.h"
#include "config/Config.h"
#include "config/SettingsTable.h"

#include <gtest/gtest.h>

using namespace tarovex::config;
using namespace tarovex::config::ConfigHelper;

namespace {

struct Serial {
    int bitRate, dataBits, parity, stopBits, terminator;
    friend bool operator==(const Serial&, const Serial&) = default;
};

Serial serialOf(const Config& c) {
    return {c.getBitRate(), c.getDataBits(), c.getParity(), c.getStopBits(), c.getInputTerminator()};
}

std::ostream& operator<<(std::ostream& os, const Serial& s) {
    return os << s.bitRate << '/' << s.dataBits << '/' << s.parity << '/' << s.stopBits << " t"
              << s.terminator;
}

} // namespace

TEST(Instrument, DefaultAndNameCheck) {
    EXPECT_EQ(Instrument::getDefault(), Instrument::GENERIC);
    EXPECT_EQ(Instrument::count(), 36);
    EXPECT_TRUE(Instrument::isValidName("KERND_440E"));
    EXPECT_FALSE(Instrument::isValidName("Kern 440"));
    EXPECT_FALSE(Instrument::isValidName("kernd_440e"));
    EXPECT_EQ(Instrument::valueOf("WEDDERBURN").ordinal(), 35);
    EXPECT_EQ(Instrument::KERND_440E.toString(), "Kern 440");
    EXPECT_EQ(Instrument::AND_SIMPLE.getDisplayName(), "A&D (no handshaking)");
    for (const Instrument& i : Instrument::values())
        EXPECT_EQ(Instrument::valueOf(i.name()), i);
}

TEST(Instrument, SerialDefaultsOfEveryPreset) {
    // bit rate / data bits / parity / stop bits as ordinals, then the input terminator
    const Serial n9600cr{7, 3, 0, 0, 13}, n9600lf{7, 3, 0, 0, 10}, n4800lf{6, 3, 0, 0, 10},
        e2400{5, 2, 2, 0, 10};
    const Serial expected[36] = {n9600cr,
                                 n9600cr,
                                 n9600cr,
                                 n9600cr,
                                 e2400,
                                 e2400,
                                 n9600lf,
                                 n4800lf,
                                 n4800lf,
                                 n9600cr,
                                 n4800lf,
                                 n4800lf,
                                 n9600lf,
                                 n9600lf,
                                 n9600lf,
                                 n9600lf,
                                 n9600lf,
                                 n9600lf,
                                 n9600lf,
                                 n9600lf,
                                 n9600cr,
                                 n9600lf,
                                 n9600lf,
                                 n9600lf,
                                 n9600lf,
                                 e2400,
                                 {5, 3, 0, 0, 13} /* MITUTOYO */,
                                 n9600lf,
                                 {7, 3, 4, 0, 13} /* MYWEIGH_HD */,
                                 n9600lf,
                                 {5, 2, 0, 0, 10} /* OHAUSSPU */,
                                 {7, 2, 2, 0, 10} /* PRECISA */,
                                 {4, 2, 1, 0, 10} /* SARTORIUS */,
                                 n9600lf,
                                 n9600lf,
                                 n9600lf};
    for (const Instrument& i : Instrument::values())
        EXPECT_EQ(serialOf(Config::defaultsOf(i)), expected[i.ordinal()]) << i.name().toStdString();

    EXPECT_EQ(serialOf(Config::defaultsOf(Instrument::KERN_DS)),
              serialOf(Config::defaultsOf(Instrument::KERN_572)));
    EXPECT_EQ(serialOf(Config::defaultsOf(Instrument::SARTORIUS)), (Serial{4, 2, 1, 0, 10}));
}

TEST(Instrument, DefaultConfigIsAFreshRecordOtherwiseAtDefaults) {
    Config first = Config::defaultsOf(Instrument::SARTORIUS);
    first.setBitRate(0);
    first.setMathOperand("3");
    EXPECT_EQ(Config::defaultsOf(Instrument::SARTORIUS).getBitRate(), 4);
    EXPECT_EQ(Config::defaultsOf(Instrument::SARTORIUS).getMathOperand(), "");

    // Apart from the serial fields it is a record as the plain constructor makes it.
    Config plain;
    const Config preset = Config::defaultsOf(Instrument::GENERIC);
    plain.setBitRate(7);
    plain.setDataBits(3);
    plain.setInputTerminator(13);
    EXPECT_FALSE(configChanged(plain, preset));
    EXPECT_EQ(preset.getInstrument(), std::nullopt);
}

TEST(Instrument, KindsCoverageCommandsAndGroups) {
    for (const Instrument& i : Instrument::values()) {
        const auto name = i.name().toStdString();
        const bool barcode = i == Instrument::BARCODE || i == Instrument::BARCODE_ALPHA ||
                             i == Instrument::BARCODE_ALPHA_COMPLETE;
        EXPECT_EQ(i.getInstrumentType(), barcode ? InstrumentType::TEXT : InstrumentType::NUMBER) << name;
        const KeyMapType coverage = i == Instrument::BARCODE_ALPHA ? KeyMapType::ALPHANUMERIC_BASIC
                                    : i == Instrument::BARCODE_ALPHA_COMPLETE
                                        ? KeyMapType::ALPHANUMERIC_COMPLETE
                                        : KeyMapType::NUMERIC;
        EXPECT_EQ(i.getKeyMapType(), coverage) << name;
        EXPECT_EQ(i.getCaptureGroup(), 1) << name;
        EXPECT_EQ(i.getDataCommand(), i == Instrument::MITUTOYO ? QStringLiteral("1\r") : QString()) << name;
        EXPECT_FALSE(i.getRegEx().isEmpty()) << name;
        EXPECT_FALSE(i.getTestStrings().isEmpty()) << name;
    }
}

TEST(Instrument, ExpressionsAndSharedValues) {
    const QString e1 = R"(([-+]?\s*[0-9]*[\.,]?[0-9]+))";
    EXPECT_EQ(Instrument::GENERIC.getRegEx(), e1);
    EXPECT_EQ(Instrument::KERN_DS.getRegEx(), e1);
    EXPECT_EQ(Instrument::BARCODE_ALPHA.getRegEx(), R"(([\dA-Z]+))");
    EXPECT_EQ(Instrument::BARCODE_ALPHA_COMPLETE.getRegEx(),
              R"re(([] !"#$%&'()*+,-./\d:;<=>?@A-Z\[\\^_`a-z{|}~]+))re");
    EXPECT_EQ(Instrument::AND.getRegEx(), R"(([-+]+[0-9]*[\.,]?[0-9]+))");
    EXPECT_EQ(Instrument::ADAM_LABEL.getRegEx(),
              R"(([-+]?\s*[0-9]*[\.,]?[0-9]+)\s?(kg|g|lb|oz|pcs|ct|d|GN|ozt|dwt|MM|TlH|TlC|Tlt|t|N|g2|TlJ))");
    EXPECT_EQ(Instrument::WEDDERBURN.getRegEx(), R"(^0(-?\s+[0-9]*\.?[0-9]+))");
    for (const Instrument& i : {Instrument::AND_SIMPLE, Instrument::AND_EM}) {
        EXPECT_EQ(i.getRegEx(), Instrument::AND.getRegEx());
        EXPECT_EQ(i.getTestStrings(), Instrument::AND.getTestStrings());
    }
    EXPECT_EQ(serialOf(Config::defaultsOf(Instrument::AND_SIMPLE)),
              serialOf(Config::defaultsOf(Instrument::AND)));
}

TEST(Instrument, SamplesAndMessages) {
    EXPECT_EQ(Instrument::GENERIC.getTestStrings(), QList<TestString>({TestString{}}));
    EXPECT_EQ(Instrument::AND.getTestStrings().size(), 4);
    EXPECT_EQ(Instrument::AND.getTestStrings().at(3), (TestString{"ST, 12345,67 kg", ""}));
    EXPECT_EQ(Instrument::WEDDERBURN.getTestStrings().size(), 6);
    EXPECT_EQ(Instrument::ADAM_GC_WEIGHT.getTestStrings().size(), 6);
    EXPECT_EQ(Instrument::MITUTOYO.getTestStrings().at(0), (TestString{"01A+001.1920\r", "+001.1920"}));

    const QStringList withMessage{"GENERIC",       "BARCODE",
                                  "BARCODE_ALPHA", "BARCODE_ALPHA_COMPLETE",
                                  "AND_EM",        "ADAM_AZEXTRA_WEIGHT",
                                  "ADAM_CBK",      "ADAM_CPWPLUS",
                                  "ADAM_HCB",      "KERN_RPB",
                                  "MYWEIGH_HD",    "SARTORIUS"};
    for (const Instrument& i : Instrument::values())
        EXPECT_EQ(i.getDefaultMessage().has_value(), withMessage.contains(i.name()))
            << i.name().toStdString();
    EXPECT_EQ(Instrument::AND_EM.getMessageKey(), "aandd.em.defaultmessage");
    EXPECT_EQ(Instrument::ADAM_AZEXTRA_WEIGHT.getMessageKey(), "adam_azextra.defaultMessage");
}
