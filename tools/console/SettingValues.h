#pragma once

#include <QString>

namespace tarovex::console {

// The text that the store would hold for `value` of setting `key`. The four serial
// parameters also take their values as people write them, which become their index:
// bitRate=9600, dataBits=8, stopBits=1, parity=EVEN (any case). For stopBits the
// numbers 1 and 2 are always the numbers of stop bits, never indexes. Every other text is
// returned unchanged.
QString storedSettingText(const QString& key, const QString& value);

// The values that setting `key` takes, as one line for messages and --list-keys; empty for
// a key that is not a setting.
QString validSettingValues(const QString& key);

} // namespace tarovex::console
