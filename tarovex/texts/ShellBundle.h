#pragma once

#include "config/ResourceBundle.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace tarovex {

// The base name of the window's own texts.
inline constexpr const char* shellBundleName = "tarovex.tarovex";

// The window's texts, bundle "tarovex.tarovex"; loaded on first use.
const config::ResourceBundle& shellBundle();
// The text of a key of the shell bundle; a missing key yields the key itself (the start-up
// check has made sure none is missing).
QString text(const QString& key);

// Every key the window and its dialogs look up in the shell bundle.
QStringList shellKeys();

// A bundle with the keys it must have.
struct RequiredKeys {
    QString bundleName;
    QStringList keys;
};

// The first key that is missing.
struct MissingKey {
    QString bundleName;
    QString key;
};

// The three bundles of the program with their keys: the shell's, the settings' and the
// worker's.
QList<RequiredKeys> programBundles();

// The first missing key of the list, in list order, or nothing. A bundle that cannot be
// loaded at all counts as missing its first key.
std::optional<MissingKey> checkResourceBundles(const QList<RequiredKeys>& required);

// Shown when a bundle is incomplete; fixed, since the bundle itself cannot be trusted.
inline constexpr const char* damagedFilesText =
    "Program files seem to be damaged or missing!\nTry downloading and reinstalling the program.";
inline constexpr const char* damagedFilesTitle = "Fatal error";
// The exit status after a damaged bundle.
inline constexpr int exitStatusDamagedBundle = 4;

} // namespace tarovex
