#include "PresetLine.h"

#include "config/ConfigHelper.h"
#include "config/Instrument.h"

#include <QStringList>

namespace tarovex::console {
namespace {

namespace CH = config::ConfigHelper;

QString terminatorText(int terminator) {
    return QString::number(terminator);
}

// A stored rate is an index or, for a rate outside the list, the rate itself.
QString bitRateText(int bitRate) {
    return CH::BitRates::isValidIndex(bitRate) ? CH::BitRates::getLabel(bitRate) : QString::number(bitRate);
}

} // namespace

QString presetLineMismatch(const config::Config& config) {
    const auto instrument = config.getInstrument();
    if (!instrument)
        return {};
    const config::Config preset = config::Config::defaultsOf(*instrument);
    QStringList differ;
    const auto compare = [&](const char* what, int stored, int wanted, QString (*label)(int)) {
        if (stored != wanted)
            differ.append(QStringLiteral("%1 %2 (preset: %3)")
                              .arg(QLatin1StringView(what), label(stored), label(wanted)));
    };
    compare("bit rate", config.getBitRate(), preset.getBitRate(), &bitRateText);
    compare("data bits", config.getDataBits(), preset.getDataBits(), &CH::DataBits::getLabel);
    compare("parity", config.getParity(), preset.getParity(), &CH::Parity::getLabel);
    compare("stop bits", config.getStopBits(), preset.getStopBits(), &CH::StopBits::getLabel);
    compare("input terminator", config.getInputTerminator(), preset.getInputTerminator(), &terminatorText);
    if (differ.isEmpty())
        return {};
    return QStringLiteral("The line settings differ from the preset %1's: %2; --preset-defaults takes the "
                          "preset's for this run.")
        .arg(instrument->getDisplayName(), differ.join(QStringLiteral(", ")));
}

void takePresetLineSettings(config::Config& config) {
    const auto instrument = config.getInstrument();
    if (!instrument)
        return;
    const config::Config preset = config::Config::defaultsOf(*instrument);
    config.setBitRate(preset.getBitRate());
    config.setDataBits(preset.getDataBits());
    config.setParity(preset.getParity());
    config.setStopBits(preset.getStopBits());
    config.setInputTerminator(preset.getInputTerminator());
}

} // namespace tarovex::console
