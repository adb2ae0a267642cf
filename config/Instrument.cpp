#include "config/Instrument.h"

#include "config/ResourceBundle.h"

namespace tarovex::config::ConfigHelper {
namespace {

// Extraction expressions shared by several presets.
const QString signedNumber = QStringLiteral(R"re(([-+]?\s*[0-9]*[\.,]?[0-9]+))re");
const QString forcedSignNumber = QStringLiteral(R"re(([-+]+[0-9]*[\.,]?[0-9]+))re");

LineDefaults serialDefaults(BitRates bitRate, DataBits dataBits, Parity parity, StopBits stopBits, int terminator) {
    return {bitRate, dataBits, parity, stopBits, terminator};
}

LineDefaults at9600N81(int terminator) {
    return serialDefaults(BitRates::BR_9600, DataBits::LN_8BITS, Parity::NONE, StopBits::ST_1BITS,
                          terminator);
}

LineDefaults at4800N81LF() {
    return serialDefaults(BitRates::BR_4800, DataBits::LN_8BITS, Parity::NONE, StopBits::ST_1BITS, 10);
}

// ---- One subclass per preset.

class Generic final : public InstrumentPreset {
    QString getMessageKey() const override { return QStringLiteral("generic.defaultMessage"); }
};

class Barcode final : public InstrumentPreset {
    QString getMessageKey() const override { return QStringLiteral("barcode_numeric.defaultMessage"); }
    InstrumentType getInstrumentType() const override { return InstrumentType::TEXT; }
};

class BarcodeAlpha final : public InstrumentPreset {
    QString getMessageKey() const override { return QStringLiteral("barcode_alphanumeric.defaultMessage"); }
    InstrumentType getInstrumentType() const override { return InstrumentType::TEXT; }
    KeyMapType getKeyMapType() const override { return KeyMapType::ALPHANUMERIC_BASIC; }
    QString getRegEx() const override { return QStringLiteral(R"re(([\dA-Z]+))re"); }
};

class BarcodeAlphaComplete final : public InstrumentPreset {
    QString getMessageKey() const override {
        return QStringLiteral("barcode_alphanumeric_complete.defaultMessage");
    }
    InstrumentType getInstrumentType() const override { return InstrumentType::TEXT; }
    KeyMapType getKeyMapType() const override { return KeyMapType::ALPHANUMERIC_COMPLETE; }
    QString getRegEx() const override {
        return QStringLiteral(R"re(([] !"#$%&'()*+,-./\d:;<=>?@A-Z\[\\^_`a-z{|}~]+))re");
    }
};

class And final : public InstrumentPreset {
    LineDefaults getLineDefaults() const override {
        return serialDefaults(BitRates::BR_2400, DataBits::LN_7BITS, Parity::EVEN, StopBits::ST_1BITS, 10);
    }
    QString getRegEx() const override { return forcedSignNumber; }
    QList<TestString> getTestStrings() const override {
        return {{"ST, +00012.34 kg", "+00012.34"},
                {"US, -00012,45 g", "-00012,45"},
                {"ST, +00000101 PC", "+00000101"},
                {"ST, 12345,67 kg", ""}};
    }
};

// Same instrument, read by the plain worker instead of the handshaking one.
class AndSimple final : public InstrumentPreset {
    LineDefaults getLineDefaults() const override { return Instrument::AND.getLineDefaults(); }
    QString getRegEx() const override { return Instrument::AND.getRegEx(); }
    QList<TestString> getTestStrings() const override { return Instrument::AND.getTestStrings(); }
};

class AndEm final : public InstrumentPreset {
    LineDefaults getLineDefaults() const override { return at9600N81(10); }
    QString getMessageKey() const override { return QStringLiteral("aandd.em.defaultmessage"); }
    QString getRegEx() const override { return Instrument::AND.getRegEx(); }
    QList<TestString> getTestStrings() const override { return Instrument::AND.getTestStrings(); }
};

class AdamAzextraWeight final : public InstrumentPreset {
    LineDefaults getLineDefaults() const override { return at4800N81LF(); }
    QString getMessageKey() const override { return QStringLiteral("adam_azextra.defaultMessage"); }
    QString getRegEx() const override { return signedNumber + QStringLiteral("kg"); }
    QList<TestString> getTestStrings() const override {
        return {
            {"10/06/2016   03:52:47\r\n   UNIT PRICE        NET      TOTAL\r\n"
             "-------------------------------------\r\n?      4.45/100g    0.058kg ?    2.58\r\n\r\n\r\n\r\n",
             "    0.058"},
            {"\r\n\r\nDATE   10/06/2016\r\nTIME   04:18:39\r\n\r\nUNIT\r\nPRICE ?   33.43/100g\r\n\r\n"
             "NET.      1.234kg\r\n\r\nTOTAL ?  412.53\r\n\r\n\r\n\r\n",
             "      1.234"},
            {"   1.234kg\r\n", "   1.234"}};
    }
};

class AdamCbk final : public InstrumentPreset {
    LineDefaults getLineDefaults() const override { return at4800N81LF(); }
    QString getMessageKey() const override { return QStringLiteral("adam_cbk.defaultMessage"); }
    QList<TestString> getTestStrings() const override {
        return {{"  1.9999 kg\n", "  1.9999"}, {"  -1.8999 kg\n", "-1.8999"}};
    }
};

class AdamCpwPlus final : public InstrumentPreset {
    QString getMessageKey() const override { return QStringLiteral("adam_cpwplus.defaultMessage"); }
    QList<TestString> getTestStrings() const override {
        return {{"add:   A\n", ""}, {"G/W:+ 60.24   kg\n\n\n\n", "+ 60.24"}};
    }
};

class AdamGcWeight final : public InstrumentPreset {
    LineDefaults getLineDefaults() const override { return at4800N81LF(); }
    QString getRegEx() const override { return QStringLiteral(R"re(Wt\s?)re") + signedNumber; }
    QList<TestString> getTestStrings() const override {
        return {{"Date   07/09/2010\r", ""},
                {"Time   16:20:15\r", ""},
                {"Scale ID         \r", ""},
                {"User ID          \r", ""},
                {"Gross Wt   0.0020 kg\r", "  0.0020"},
                {"Net Wt     0.0845 kg\r", "    0.0845"}};
    }
};

class AdamGcPcs final : public InstrumentPreset {
    LineDefaults getLineDefaults() const override { return at4800N81LF(); }
    QString getRegEx() const override { return signedNumber + QStringLiteral(R"re(\s?(pcs))re"); }
};

class AdamHcb final : public InstrumentPreset {
    LineDefaults getLineDefaults() const override { return at9600N81(10); }
    QString getMessageKey() const override { return QStringLiteral("adam_hcb.defaultMessage"); }
};

class AdamLabel final : public InstrumentPreset {
    LineDefaults getLineDefaults() const override { return at9600N81(10); }
    QString getRegEx() const override {
        return signedNumber +
               QStringLiteral(R"re(\s?(kg|g|lb|oz|pcs|ct|d|GN|ozt|dwt|MM|TlH|TlC|Tlt|t|N|g2|TlJ))re");
    }
};

class Kern572 final : public InstrumentPreset {
    LineDefaults getLineDefaults() const override { return at9600N81(10); }
};

// Kern models that talk like the 572: they ask it for its serial defaults.
class KernAs572 : public InstrumentPreset {
    LineDefaults getLineDefaults() const override { return Instrument::KERN_572.getLineDefaults(); }
};
class Kern440e final : public KernAs572 {};
class KernDe final : public KernAs572 {};
class KernDs final : public KernAs572 {};
class KernFkb final : public KernAs572 {};
class KernKbN final : public KernAs572 {};

class KernKfb final : public InstrumentPreset {};

class KernMps final : public InstrumentPreset {
    LineDefaults getLineDefaults() const override { return at9600N81(10); }
    QString getRegEx() const override { return QStringLiteral(R"re(^N.*?(-?\s*[0-9]*[\.,]?[0-9]+)\s*kg)re"); }
    QList<TestString> getTestStrings() const override {
        return {{"NET  WEIGHT  3.3kg\n", "  3.3"}, {"N  60.24 kg\n", "  60.24"}};
    }
};

class KernRpb final : public InstrumentPreset {
    LineDefaults getLineDefaults() const override { return at9600N81(10); }
    QString getMessageKey() const override { return QStringLiteral("kern_rpb.defaultMessage"); }
    QString getRegEx() const override { return QStringLiteral(R"re(^N:\s*([0-9]*\.?[0-9]+))re"); }
    QList<TestString> getTestStrings() const override {
        return {{"N:    0.404 kg\r", "0.404"}, {"   0.34 EUR/kg\r", ""}, {"N:  4000 g\r", "4000"}};
    }
};

class KeyenceIl final : public InstrumentPreset {
    LineDefaults getLineDefaults() const override { return at9600N81(10); }
    QString getRegEx() const override { return QStringLiteral(R"re(([+-]+\d*\.?\d+))re"); }
    QList<TestString> getTestStrings() const override {
        return {{"DR,08,-99.998\r", "-99.998"}, {"DR,02,+123.567\r", "+123.567"}, {"DR,02,123.567\r", ""}};
    }
};

class MettlerDialog final : public InstrumentPreset {
    LineDefaults getLineDefaults() const override { return at9600N81(10); }
};

class MettlerPrint final : public InstrumentPreset {
    LineDefaults getLineDefaults() const override {
        return serialDefaults(BitRates::BR_2400, DataBits::LN_7BITS, Parity::EVEN, StopBits::ST_1BITS, 10);
    }
};

class Mitutoyo final : public InstrumentPreset {
    QString getDataCommand() const override { return QStringLiteral("1\r"); }
    LineDefaults getLineDefaults() const override {
        return serialDefaults(BitRates::BR_2400, DataBits::LN_8BITS, Parity::NONE, StopBits::ST_1BITS, 13);
    }
    QString getRegEx() const override { return QStringLiteral("01A") + signedNumber; }
    QList<TestString> getTestStrings() const override {
        return {{"01A+001.1920\r", "+001.1920"}, {"01A-001.1805", "-001.1805"}, {"+123.45", ""}};
    }
};

class MitutoyoLsm6200 final : public InstrumentPreset {
    LineDefaults getLineDefaults() const override { return at9600N81(10); }
    QString getRegEx() const override { return QStringLiteral(R"re(([-+]?\s*[0-9]*\.+[0-9]+))re"); }
    QList<TestString> getTestStrings() const override {
        return {{"P00, 12.3456\r\n", " 12.3456"}, {"12.3456", "12.3456"}, {"P00, +012.3456", "+012.3456"}};
    }
};

class MyWeighHd final : public InstrumentPreset {
    LineDefaults getLineDefaults() const override {
        return serialDefaults(BitRates::BR_9600, DataBits::LN_8BITS, Parity::SPACE, StopBits::ST_1BITS, 13);
    }
    QString getMessageKey() const override { return QStringLiteral("myweigh_hd.defaultMessage"); }
};

class Ohaus final : public InstrumentPreset {
    LineDefaults getLineDefaults() const override { return at9600N81(10); }
};

class OhausSpu final : public InstrumentPreset {
    LineDefaults getLineDefaults() const override {
        return serialDefaults(BitRates::BR_2400, DataBits::LN_7BITS, Parity::NONE, StopBits::ST_1BITS, 10);
    }
};

class Precisa final : public InstrumentPreset {
    LineDefaults getLineDefaults() const override {
        return serialDefaults(BitRates::BR_9600, DataBits::LN_7BITS, Parity::EVEN, StopBits::ST_1BITS, 10);
    }
};

class Sartorius final : public InstrumentPreset {
    LineDefaults getLineDefaults() const override {
        return serialDefaults(BitRates::BR_1200, DataBits::LN_7BITS, Parity::ODD, StopBits::ST_1BITS, 10);
    }
    QString getMessageKey() const override { return QStringLiteral("sartorius.defaultMessage"); }
};

class SchlageHandPunch final : public InstrumentPreset {
    LineDefaults getLineDefaults() const override { return at9600N81(10); }
    QString getRegEx() const override { return QStringLiteral(R"re(\(\s*([0-9]*)\))re"); }
    QString getUnitRegEx() const override { return {}; } // an employee number
    QList<TestString> getTestStrings() const override {
        return {{"021   001   15:27:00  06/29/16  IDENTITY VERIFIED FOR ID ( 999)", "999"}};
    }
};

class TanitaTl280 final : public InstrumentPreset {
    LineDefaults getLineDefaults() const override { return at9600N81(10); }
    QString getRegEx() const override { return QStringLiteral("Wg,") + signedNumber; }
    QList<TestString> getTestStrings() const override {
        return {{R"({0,16,~0,1,MO,"TL-280",Wg,123,Pt,0)", "123"},
                {R"({0,16,~0,1,MO,"TL-280",Wg,-12.3,Pt,0)", "-12.3"}};
    }
};

class Wedderburn final : public InstrumentPreset {
    LineDefaults getLineDefaults() const override { return at9600N81(10); }
    QString getRegEx() const override { return QStringLiteral(R"re(^0(-?\s+[0-9]*\.?[0-9]+))re"); }
    QList<TestString> getTestStrings() const override {
        return {{"\nA    2.10", ""}, {"0    2.45", "    2.45"},
                {"4-    0.35", ""},  {"14/06/2016 13:26:35", ""},
                {"1", ""},           {"B@G", ""}};
    }
};

} // namespace

std::optional<QString> InstrumentPreset::getDefaultMessage() const {
    const QString key = getMessageKey();
    if (key.isEmpty())
        return std::nullopt;
    const auto bundle = getBundle();
    return bundle->containsKey(key) ? bundle->getString(key) : key;
}

QString InstrumentPreset::getRegEx() const {
    return signedNumber;
}

QString InstrumentPreset::getUnitRegEx() const {
    if (getInstrumentType() == InstrumentType::TEXT)
        return {};
    return QStringLiteral(R"re([0-9]\s*([a-zA-Z%\x{00B5}\x{00B0}][a-zA-Z/%\x{00B5}\x{00B0}]{0,5}))re");
}

const InstrumentPreset& Instrument::preset() const {
    // In ordinal order; the constants' own subclasses, created on first use.
    static const Generic generic;
    static const Barcode barcode;
    static const BarcodeAlpha barcodeAlpha;
    static const BarcodeAlphaComplete barcodeAlphaComplete;
    static const And aAndD;
    static const AndSimple andSimple;
    static const AndEm andEm;
    static const AdamAzextraWeight adamAzextraWeight;
    static const AdamCbk adamCbk;
    static const AdamCpwPlus adamCpwPlus;
    static const AdamGcWeight adamGcWeight;
    static const AdamGcPcs adamGcPcs;
    static const AdamHcb adamHcb;
    static const AdamLabel adamLabel;
    static const Kern440e kern440e;
    static const Kern572 kern572;
    static const KernDe kernDe;
    static const KernDs kernDs;
    static const KernFkb kernFkb;
    static const KernKbN kernKbN;
    static const KernKfb kernKfb;
    static const KernMps kernMps;
    static const KernRpb kernRpb;
    static const KeyenceIl keyenceIl;
    static const MettlerDialog mettlerDialog;
    static const MettlerPrint mettlerPrint;
    static const Mitutoyo mitutoyo;
    static const MitutoyoLsm6200 mitutoyoLsm6200;
    static const MyWeighHd myWeighHd;
    static const Ohaus ohaus;
    static const OhausSpu ohausSpu;
    static const Precisa precisa;
    static const Sartorius sartorius;
    static const SchlageHandPunch schlageHandPunch;
    static const TanitaTl280 tanitaTl280;
    static const Wedderburn wedderburn;
    static const InstrumentPreset* const presets[] = {
        &generic,       &barcode,
        &barcodeAlpha,  &barcodeAlphaComplete,
        &aAndD,         &andSimple,
        &andEm,         &adamAzextraWeight,
        &adamCbk,       &adamCpwPlus,
        &adamGcWeight,  &adamGcPcs,
        &adamHcb,       &adamLabel,
        &kern440e,      &kern572,
        &kernDe,        &kernDs,
        &kernFkb,       &kernKbN,
        &kernKfb,       &kernMps,
        &kernRpb,       &keyenceIl,
        &mettlerDialog, &mettlerPrint,
        &mitutoyo,      &mitutoyoLsm6200,
        &myWeighHd,     &ohaus,
        &ohausSpu,      &precisa,
        &sartorius,     &schlageHandPunch,
        &tanitaTl280,   &wedderburn,
    };
    static_assert(std::size(presets) == std::size(entries), "one preset per constant");
    return *presets[ordinal()];
}

QStringList Instrument::messageKeys() {
    QStringList keys;
    for (const Instrument& instrument : values())
        if (const QString key = instrument.getMessageKey(); !key.isEmpty())
            keys.append(key);
    return keys;
}

QStringList resourceKeys() {
    QStringList keys;
    keys << BitRates::labelKeys() << DataBits::labelKeys() << StopBits::labelKeys() << Parity::labelKeys()
         << InputTerminator::labelKeys() << KeyMapType::labelKeys() << InstrumentType::labelKeys()
         << Connect::labelKeys() << OutputTerminator::labelKeys() << StartWith::labelKeys()
         << DecimalSeparator::labelKeys() << RoundingMethod::labelKeys() << MathOperation::labelKeys()
         << EditOperation::labelKeys() << EditPosition::labelKeys() << Sound::labelKeys()
         << OutputMode::labelKeys() << PasteKey::labelKeys() << KeyboardType::labelKeys()
         << Instrument::labelKeys() << Instrument::messageKeys();
    keys.removeDuplicates();
    return keys;
}

} // namespace tarovex::config::ConfigHelper
