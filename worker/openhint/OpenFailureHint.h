#pragma once

#include <QString>

#include <exception>
#include <optional>

namespace tarovex::worker {

// Why `port` could not be opened, in one line that names it, for the status bar and the
// dialog: a network address that failed in plain words ("No answer from 10.0.0.7:4001
// within 3 s."), any other failure in the serial library's own text.
QString openFailureReason(const QString& port, const std::exception& failure);

// A plain word for the commonest reasons a port cannot be opened, shown after the reason
// by the window and the console alike: the device does not exist, or it belongs to a group
// the user is not in (on Debian, dialout) and how to join it, or what to check about a
// network address. Nothing when the failure has no such reason behind it.
std::optional<QString> openFailureHint(const QString& port, const std::exception& failure);

// The advice for a network address that failed to open; nothing for any other failure.
std::optional<QString> networkFailureHint(const std::exception& failure);

// The advice for a port that belongs to a group the user is not in: join it, then log in anew.
QString groupJoinHint(const QString& port, const QString& group);

} // namespace tarovex::worker
