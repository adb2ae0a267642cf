#pragma once

#include "config/ConfigHelper.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarovex::config {

namespace ConfigHelper {

// The line settings a preset starts from; the rest of a new record keeps its defaults.
struct LineDefaults {
    BitRates bitRate = BitRates::BR_9600;
    DataBits dataBits = DataBits::LN_8BITS;
    Parity parity = Parity::NONE;
    StopBits stopBits = StopBits::ST_1BITS;
    int inputTerminator = 13;
};

// One sample of a preset: a data line and the value its extraction must yield
// (empty when the line yields no value).
struct TestString {
    QString dataLine;
    QString expectedValue;
    friend bool operator==(const TestString&, const TestString&) = default;
};

// The overridable behaviour of a preset. Every Instrument constant has its own subclass
// (in Instrument.cpp); what a subclass does not override keeps this base behaviour.
class InstrumentPreset {
public:
    virtual ~InstrumentPreset() = default;

    // The capture group that holds the value: 1.
    virtual int getCaptureGroup() const { return 1; }
    // The command that asks the instrument for a reading; empty: nothing is sent.
    virtual QString getDataCommand() const { return {}; }
    // 9600/8/NONE/1 and input terminator 13.
    virtual LineDefaults getLineDefaults() const { return {}; }
    // The settings-bundle key of the help message; empty when the preset has none.
    virtual QString getMessageKey() const { return {}; }
    // The help message shown before the defaults are applied; none by default.
    virtual std::optional<QString> getDefaultMessage() const;
    virtual InstrumentType getInstrumentType() const { return InstrumentType::NUMBER; }
    virtual KeyMapType getKeyMapType() const { return KeyMapType::NUMERIC; }
    // The extraction expression, in Java regular-expression syntax.
    virtual QString getRegEx() const;
    // Where the line shows its unit: group 1 of this expression (Java syntax) on the raw
    // line; by default the letters right after the first number, none for texts.
    virtual QString getUnitRegEx() const;
    // Samples of data lines with their expected values; one pair of empty texts by default.
    virtual QList<TestString> getTestStrings() const { return {TestString{}}; }

protected:
    InstrumentPreset() = default;
};

// The instrument presets. Each constant forwards its operations to its own
// InstrumentPreset subclass; the display name is a literal or a settings-bundle text.
class Instrument : public Enumeration<Instrument> {
public:
    static const Instrument GENERIC, BARCODE, BARCODE_ALPHA, BARCODE_ALPHA_COMPLETE, AND, AND_SIMPLE, AND_EM,
        ADAM_AZEXTRA_WEIGHT, ADAM_CBK, ADAM_CPWPLUS, ADAM_GC_WEIGHT, ADAM_GC_PCS, ADAM_HCB, ADAM_LABEL,
        KERND_440E, KERN_572, KERND_DE, KERN_DS, KERN_FKB, KERN_KB_N, KERN_KFB, KERN_MPS, KERN_RPB,
        KEYENCE_IL, METTLER_DIALOG, METTLER_PRINT, MITUTOYO, MITUTOYO_LSM_6200, MYWEIGH_HD, OHAUS, OHAUSSPU,
        PRECISA, SARTORIUS, SCHLAGE_HANDPUNCH, TANITA_TL280, WEDDERBURN;

    static Instrument getDefault() noexcept;

    int getCaptureGroup() const { return preset().getCaptureGroup(); }
    QString getDataCommand() const { return preset().getDataCommand(); }
    // Config::defaultsOf makes a new record of them.
    LineDefaults getLineDefaults() const { return preset().getLineDefaults(); }
    std::optional<QString> getDefaultMessage() const { return preset().getDefaultMessage(); }
    QString getMessageKey() const { return preset().getMessageKey(); }
    InstrumentType getInstrumentType() const { return preset().getInstrumentType(); }
    KeyMapType getKeyMapType() const { return preset().getKeyMapType(); }
    QString getRegEx() const { return preset().getRegEx(); }
    QString getUnitRegEx() const { return preset().getUnitRegEx(); }
    QList<TestString> getTestStrings() const { return preset().getTestStrings(); }
    // The display name shown in the preset list (same as toString()).
    QString getDisplayName() const { return toString(); }

    // The message keys of all presets that have one, in ordinal order.
    static QStringList messageKeys();

private:
    friend Enumeration<Instrument>;
    explicit constexpr Instrument(int ordinal) noexcept : Enumeration(ordinal) {}
    const InstrumentPreset& preset() const;

    static constexpr const char* typeName = "Instrument";
    static constexpr EnumEntry entries[] = {
        {"GENERIC", LabelKind::Key, "generic"},
        {"BARCODE", LabelKind::Key, "barcode_numeric"},
        {"BARCODE_ALPHA", LabelKind::Key, "barcode_alphanumeric"},
        {"BARCODE_ALPHA_COMPLETE", LabelKind::Key, "barcode_alphanumeric_complete"},
        {"AND", LabelKind::Literal, "A&D"},
        {"AND_SIMPLE", LabelKind::Literal, "A&D (no handshaking)"},
        {"AND_EM", LabelKind::Literal, "A&D EM"},
        {"ADAM_AZEXTRA_WEIGHT", LabelKind::Key, "adam_azextra_weight"},
        {"ADAM_CBK", LabelKind::Literal, "Adam CBK/GBK/GFK"},
        {"ADAM_CPWPLUS", LabelKind::Literal, "Adam CPWplus"},
        {"ADAM_GC_WEIGHT", LabelKind::Key, "adam_gbc_gfc_weight"},
        {"ADAM_GC_PCS", LabelKind::Key, "adam_gbc_gfc_pcs"},
        {"ADAM_HCB", LabelKind::Literal, "Adam Highland (HCB)"},
        {"ADAM_LABEL", LabelKind::Literal, "Adam label format"},
        {"KERND_440E", LabelKind::Literal, "Kern 440"},
        {"KERN_572", LabelKind::Literal, "Kern 572"},
        {"KERND_DE", LabelKind::Literal, "Kern DE"},
        {"KERN_DS", LabelKind::Literal, "Kern DS"},
        {"KERN_FKB", LabelKind::Literal, "Kern FKB"},
        {"KERN_KB_N", LabelKind::Literal, "Kern KB-N"},
        {"KERN_KFB", LabelKind::Literal, "Kern KFB"},
        {"KERN_MPS", LabelKind::Literal, "Kern MPS / MPT / MXS / MWS / MTS / MCB"},
        {"KERN_RPB", LabelKind::Key, "kern_rpb_weight"},
        {"KEYENCE_IL", LabelKind::Literal, "Keyence IL"},
        {"METTLER_DIALOG", LabelKind::Literal, "Mettler Toledo Dialog"},
        {"METTLER_PRINT", LabelKind::Literal, "Mettler Toledo Print"},
        {"MITUTOYO", LabelKind::Literal, "Mitutoyo 264-007"},
        {"MITUTOYO_LSM_6200", LabelKind::Literal, "Mitutoyo LSM-6200"},
        {"MYWEIGH_HD", LabelKind::Literal, "MyWeigh HD"},
        {"OHAUS", LabelKind::Literal, "Ohaus"},
        {"OHAUSSPU", LabelKind::Literal, "Ohaus SPU,TA,NV"},
        {"PRECISA", LabelKind::Literal, "Precisa"},
        {"SARTORIUS", LabelKind::Literal, "Sartorius"},
        {"SCHLAGE_HANDPUNCH", LabelKind::Literal, "Schlage HandPunch (employee ID)"},
        {"TANITA_TL280", LabelKind::Literal, "Tanita TL-280/TL-290"},
        {"WEDDERBURN", LabelKind::Literal, "Wedderburn"},
    };
};
inline constexpr Instrument Instrument::GENERIC{0};
inline constexpr Instrument Instrument::BARCODE{1};
inline constexpr Instrument Instrument::BARCODE_ALPHA{2};
inline constexpr Instrument Instrument::BARCODE_ALPHA_COMPLETE{3};
inline constexpr Instrument Instrument::AND{4};
inline constexpr Instrument Instrument::AND_SIMPLE{5};
inline constexpr Instrument Instrument::AND_EM{6};
inline constexpr Instrument Instrument::ADAM_AZEXTRA_WEIGHT{7};
inline constexpr Instrument Instrument::ADAM_CBK{8};
inline constexpr Instrument Instrument::ADAM_CPWPLUS{9};
inline constexpr Instrument Instrument::ADAM_GC_WEIGHT{10};
inline constexpr Instrument Instrument::ADAM_GC_PCS{11};
inline constexpr Instrument Instrument::ADAM_HCB{12};
inline constexpr Instrument Instrument::ADAM_LABEL{13};
inline constexpr Instrument Instrument::KERND_440E{14};
inline constexpr Instrument Instrument::KERN_572{15};
inline constexpr Instrument Instrument::KERND_DE{16};
inline constexpr Instrument Instrument::KERN_DS{17};
inline constexpr Instrument Instrument::KERN_FKB{18};
inline constexpr Instrument Instrument::KERN_KB_N{19};
inline constexpr Instrument Instrument::KERN_KFB{20};
inline constexpr Instrument Instrument::KERN_MPS{21};
inline constexpr Instrument Instrument::KERN_RPB{22};
inline constexpr Instrument Instrument::KEYENCE_IL{23};
inline constexpr Instrument Instrument::METTLER_DIALOG{24};
inline constexpr Instrument Instrument::METTLER_PRINT{25};
inline constexpr Instrument Instrument::MITUTOYO{26};
inline constexpr Instrument Instrument::MITUTOYO_LSM_6200{27};
inline constexpr Instrument Instrument::MYWEIGH_HD{28};
inline constexpr Instrument Instrument::OHAUS{29};
inline constexpr Instrument Instrument::OHAUSSPU{30};
inline constexpr Instrument Instrument::PRECISA{31};
inline constexpr Instrument Instrument::SARTORIUS{32};
inline constexpr Instrument Instrument::SCHLAGE_HANDPUNCH{33};
inline constexpr Instrument Instrument::TANITA_TL280{34};
inline constexpr Instrument Instrument::WEDDERBURN{35};
inline Instrument Instrument::getDefault() noexcept {
    return GENERIC;
}

// Every key the settings code looks up in the settings bundle, the presets' included.
QStringList resourceKeys();

} // namespace ConfigHelper
} // namespace tarovex::config
