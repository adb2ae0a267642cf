#pragma once

#include <QString>

#include <exception>
#include <optional>

namespace tarovex::worker {

// A plain word for the commonest reasons a port cannot be opened, shown after the serial
// library's own message by the window and the console alike: the device does not exist,
// or it belongs to a group the user is not in (on Debian, dialout) and how to join it.
// Nothing when the failure has no such reason behind it.
std::optional<QString> openFailureHint(const QString& port, const std::exception& failure);

// The advice for a port that belongs to a group the user is not in: join it, then log in anew.
QString groupJoinHint(const QString& port, const QString& group);

} // namespace tarovex::worker
