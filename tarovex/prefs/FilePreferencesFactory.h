#pragma once

#include "tarovex/prefs/Preferences.h"

#include <QString>

namespace tarovex::prefs {

// Hands out the one process-wide root of the file-backed store. The file is named by the
// system property SYSTEM_PROPERTY_FILE, or else is ".fileprefs" in the home folder; it is
// resolved once and kept. Call from the user-interface thread.
class FilePreferencesFactory {
public:
    static constexpr const char* SYSTEM_PROPERTY_FILE = "net.quarnel.util.prefs.FilePreferencesFactory.file";

    // The root node, created on first call. Never nullptr.
    static Preferences* userRoot();
    // The same root: the file store has no separate system settings.
    static Preferences* systemRoot() { return userRoot(); }
    // The root created next refuses a file its reader may not trust (SharedFile::requireTrust).
    static void requireTrust(const QString& group);
    // The absolute path of the file, resolved on first call.
    static QString getPreferencesFile();
    // Forgets the resolved file, the trust required and the root (their nodes die with it), so the next call
    // resolves them again. For tests, and for a switch made before the store is first used.
    static void reset();
};

} // namespace tarovex::prefs
