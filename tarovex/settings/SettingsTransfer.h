#pragma once

#include "tarovex/prefs/Preferences.h"

#include <QList>
#include <QPair>
#include <QString>

#include <functional>

namespace tarovex {

// The outcome of an export or import, as the dialog to show.
struct TransferResult {
    bool ok = false;
    QString title;
    QString message;
};

// Writes the settings node to `path`. When the file exists, `confirmOverwrite` is asked;
// declining cancels with "cancelled.by.user". `saveFirst` runs before writing, so the file
// holds what the controls show.
TransferResult exportSettings(prefs::Preferences& node, const QString& path,
                              const std::function<bool()>& confirmOverwrite,
                              const std::function<void()>& saveFirst);

// Reads `path` into the settings node; the node is re-read afterwards.
TransferResult importSettings(prefs::Preferences& node, const QString& path);

// The message that names each refused setting with its stored text, "key = text" a line.
QString refusedSettingsText(const QList<QPair<QString, QString>>& refused);

// Asked after an accepted import; OK ends the program with exitStatusAfterImport.
inline constexpr const char* applyImportText = "Apply imported configuration and exit?";
inline constexpr const char* applyImportTitle = "Restart required";
inline constexpr int exitStatusAfterImport = 4;

} // namespace tarovex
