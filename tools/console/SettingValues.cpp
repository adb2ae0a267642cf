#include "SettingValues.h"

#include "config/ConfigHelper.h"
#include "config/Instrument.h"

#include <QStringList>

#include <functional>
#include <map>

namespace tarovex::console {
namespace {

namespace CH = config::ConfigHelper;

template <typename E> QString names() {
    QStringList all;
    for (const E& e : E::values())
        all.append(e.name());
    return all.join(QStringLiteral(", "));
}

// The numbers people write for an index-based enumeration, in index order.
template <typename E, typename Number> QStringList numbers(Number number) {
    QStringList all;
    for (const E& e : E::values())
        all.append(QString::number(std::invoke(number, e)));
    return all;
}

QString withIndex(const QStringList& values, int count) {
    return values.join(QStringLiteral(", ")) + QStringLiteral(", or the index 0 to %1").arg(count - 1);
}

const std::map<QString, std::function<QString()>>& descriptions() {
    const auto yesNo = [] { return QStringLiteral("true, false"); };
    const auto text = [](const char* what) { return [what] { return QString::fromLatin1(what); }; };
    static const std::map<QString, std::function<QString()>> table = {
        {"instrument", names<CH::Instrument>},
        {"bitRate",
         [] {
             return withIndex(numbers<CH::BitRates>(&CH::BitRates::bitsPerSecond), CH::BitRates::count());
         }},
        {"dataBits",
         [] { return withIndex(numbers<CH::DataBits>(&CH::DataBits::bits), CH::DataBits::count()); }},
        {"stopBits", text("1, 2, or the index 0 for 1")},
        {"parity",
         [] {
             QStringList all;
             for (const CH::Parity& p : CH::Parity::values())
                 all.append(p.name());
             return withIndex(all, CH::Parity::count());
         }},
        {"decimalSeparator", names<CH::DecimalSeparator>},
        {"inputTerminator", text("a byte value 0 to 255 (13 is CR, 10 is LF, 4 is EOT)")},
        {"startWith", names<CH::StartWith>},
        {"outputTerminator", names<CH::OutputTerminator>},
        {"outputTerminator2", names<CH::OutputTerminator>},
        {"everyXValues", text("an integer 2 to 99, or empty")},
        {"connect", names<CH::Connect>},
        {"mathOperand", text("a decimal number ('.' as separator) other than 0, or empty")},
        {"mathOperation", names<CH::MathOperation>},
        {"decimalPlaces", text("an integer 0 to 7, or empty")},
        {"roundingMethod", names<CH::RoundingMethod>},
        {"sound", names<CH::Sound>},
        {"keyboardType", names<CH::KeyboardType>},
        {"delay", text("milliseconds 0 to 1000, or empty")},
        {"minimizeToTray", yesNo},
        {"notifyWhenMinimizedToTray", yesNo},
        {"checkForUpdates", yesNo},
        {"abortAutoStartWhenPrevPortNotAvailable", yesNo},
        {"ignoreDuplicates", yesNo},
        {"reconnect", yesNo},
        {"editOperation", names<CH::EditOperation>},
        {"editPosition", names<CH::EditPosition>},
        {"editNumCharacters", text("an integer 1 to 99, or empty")},
        {"removeCharacters", text("characters with codes up to 255, or empty")},
        {"customRegEx", text("a regular expression whose group 1 holds the value, or empty")},
        {"ignoreTimeLimit", text("an integer greater than 0, or empty")},
        {"ignoreDifference", text("a decimal number greater than 0, or empty")},
        {"requestInterval", text("milliseconds 0 (no timer) to 86400000, or empty")},
        {"requestCommand",
         text("ASCII with \\r, \\n, \\e (ESC), \\\\ and \\xHH, or empty for the preset's own")},
        {"requestHotkey",
         text("a key combination such as Ctrl+Alt+R grabbed by the window on X11, or empty")},
        {"stableOnly", yesNo},
        {"stableRegEx", text("an expression that finds something in stable lines only, or empty")},
        {"journal", yesNo},
        {"journalDays", text("days 1 to 3650 a reading stays in the journal")},
        {"journalMaxMB", text("the journal's size bound in MiB, 1 to 1000000")},
        {"station",
         text("this station's name, up to 64 characters without / + #, or empty for the host name")},
        {"csvFile", text("a CSV file each reading is appended to (%Y %m %d %H for the date), or empty")},
        {"mqttBroker", text("mqtt://HOST:PORT or mqtts://HOST:PORT, or empty for no publishing")},
        {"mqttTopic", text("the topic of the readings without + and #; {station} is the station")},
        {"mqttUser", text("the broker's user name, or empty")},
        {"mqttPasswordFile", text("a file readable only by its owner holding the broker password, or empty")},
        {"mqttCaFile", text("the CA certificate file that signed the broker's (mqtts), or empty")},
        {"recentAddresses",
         text("up to 5 network ports (tcp://HOST:PORT, rfc2217://HOST:PORT) separated by spaces, or empty")},
    };
    return table;
}

// The index whose number reads `value`, or none.
template <typename E, typename Number> std::optional<int> indexOfNumber(const QString& value, Number number) {
    bool ok = false;
    const int n = value.toInt(&ok);
    if (ok)
        for (const E& e : E::values())
            if (std::invoke(number, e) == n)
                return e.ordinal();
    return std::nullopt;
}

} // namespace

QString storedSettingText(const QString& key, const QString& value) {
    std::optional<int> index;
    if (key == u"bitRate")
        index = indexOfNumber<CH::BitRates>(value, &CH::BitRates::bitsPerSecond);
    else if (key == u"dataBits")
        index = indexOfNumber<CH::DataBits>(value, &CH::DataBits::bits);
    else if (key == u"stopBits")
        index = indexOfNumber<CH::StopBits>(value, &CH::StopBits::bits);
    else if (key == u"parity")
        for (const CH::Parity& p : CH::Parity::values())
            if (value.compare(p.name(), Qt::CaseInsensitive) == 0)
                index = p.ordinal();
    return index ? QString::number(*index) : value;
}

QString validSettingValues(const QString& key) {
    const auto found = descriptions().find(key);
    return found == descriptions().end() ? QString() : found->second();
}

} // namespace tarovex::console
