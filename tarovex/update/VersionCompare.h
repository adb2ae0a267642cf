#pragma once

#include <QString>

namespace tarovex::update {

// True when the published version `remote` is newer than the running one `local`.
// Versions of at most one dot compare as decimal numbers (2.5 > 2.4); longer ones field
// by field as whole numbers (2017.1.3.10 > 2017.1.3.2). Missing, empty, equal or
// unreadable versions are never newer, so a damaged file cannot announce an update.
bool isNewerVersion(const QString& remote, const QString& local);

} // namespace tarovex::update
