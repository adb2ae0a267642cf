#pragma once

#include "config/SettingsTable.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace tarovex::ports {

// How many network ports the port box remembers.
inline constexpr int maxRecentAddresses = config::maxRecentAddresses;

// True for a well-formed network port name ("tcp://HOST:PORT", "rfc2217://HOST:PORT").
bool isNetworkPort(const QString& name);

// `recent` with `port` moved to the front when it is a network port (the oldest falls off
// beyond the limit); unchanged for any other name.
QStringList rememberAddress(const QStringList& recent, const QString& port);

// The stored form: the addresses separated by spaces, which no address holds.
QString addressesText(const QStringList& addresses);
// The addresses of a stored text; nothing when one of them is not a network port, one comes
// twice, or there are more than the limit.
std::optional<QStringList> parseAddresses(const QString& text);

} // namespace tarovex::ports
