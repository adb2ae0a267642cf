#include "SettingValues.h"

#include "config/ConfigHelper.h"
#include "config/SettingsTable.h"

#include <functional>

namespace tarovex::console {
namespace {

namespace CH = config::ConfigHelper;

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
    const config::Setting* s = config::findSetting(key);
    return s ? s->values : QString();
}

} // namespace tarovex::console
