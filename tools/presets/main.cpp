#include "config/Config.h"
#include "config/ConfigHelper.h"
#include "config/Instrument.h"
#include "tarovex/startup/Version.h"

#include <QTextStream>

#include <cstring>
#include <iostream>

using namespace tarovex::config;
using namespace tarovex::config::ConfigHelper;

namespace {

const char* const kHelp = R"(Usage: tarovex-presets [--help]

Lists the instrument presets, one a line: the number and the constant of the preset, the
name shown in the preset list, the serial defaults (bit rate/data bits/parity/stop bits),
the input terminator and the extraction expression.

Options:
  --help                print this text and exit
)";

// "13 <CR>" for the named terminators, the plain byte value otherwise.
QString terminatorText(int value) {
    const auto named = InputTerminator::fromValue(value);
    return named ? named->toString() : QString::number(value);
}

} // namespace

// Lists the instrument presets with their serial defaults and extraction expressions.
int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << kHelp;
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << "tarovex-presets " << tarovex::kVersion << '\n';
            return 0;
        }
        std::cerr << "tarovex-presets: unknown option " << argv[i] << "\nTry --help.\n";
        return 2;
    }
    QTextStream out(stdout);
    out << QStringLiteral("%1  %2  %3  %4  %5  %6\n")
               .arg(QStringLiteral("#"), 2)
               .arg(QStringLiteral("Constant"), -22)
               .arg(QStringLiteral("Name"), -44)
               .arg(QStringLiteral("Serial"), -16)
               .arg(QStringLiteral("Terminator"), -10)
               .arg(QStringLiteral("Expression"));
    for (const Instrument& preset : Instrument::values()) {
        const Config config = Config::defaultsOf(preset);
        const QString serial =
            QStringLiteral("%1/%2/%3/%4")
                .arg(BitRates::getLabel(config.getBitRate()), DataBits::getLabel(config.getDataBits()),
                     Parity::getLabel(config.getParity()), StopBits::getLabel(config.getStopBits()));
        out << QStringLiteral("%1  %2  %3  %4  %5  %6\n")
                   .arg(preset.ordinal(), 2)
                   .arg(preset.name(), -22)
                   .arg(preset.getDisplayName(), -44)
                   .arg(serial, -16)
                   .arg(terminatorText(config.getInputTerminator()), -10)
                   .arg(preset.getRegEx());
    }
    return 0;
}
