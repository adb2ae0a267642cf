#pragma once

#include <QString>

#include <optional>
#include <sys/stat.h>
#include <sys/types.h>

namespace tarovex::prefs {

// Whether a reader may take settings from a file that other users may have written (the
// shared settings file). It may when the file is a regular file that belongs to root, to the
// reader, or to a member of `group` (the group the administrator lets write the shared
// settings), and that nobody else may change: never writable by every user, and writable by
// its group only when that group is `group`. Returns why not, or nothing when it may.
std::optional<QString> distrust(const QString& path, const struct stat& st, uid_t reader, const QString& group);

// Why this process may not change a shared file that only `group` may write, and what to do,
// when it is not in that group; nothing when it is (the refusal then has another cause).
std::optional<QString> notAWriter(const QString& group);

} // namespace tarovex::prefs
