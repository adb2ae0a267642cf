#pragma once

#include "tarovex/prefs/SharedFileSyscalls.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

namespace tarovex::prefs {

// A small file that several processes, also of different users, read and rewrite (the
// shared settings file). Every access locks the file itself (flock on its own descriptor):
// readers share the lock, a writer holds it alone for its whole read-modify-write cycle, so
// concurrent writers never drop each other's changes and readers never see a half-written
// file.
//
// A writer that may replace the file (it owns the file or is root, and may create files in
// the folder) writes a temporary file, syncs it, renames it over the old one and syncs the
// folder, so even a crash leaves a complete file. Otherwise (another user's file in a sticky
// folder, a folder it may not write) it rewrites the file in place; either way the file keeps
// its owner and mode. A new file gets the folder's group and other write permission, so that
// everyone who may write the folder may also write the file.
//
// In the shared-settings mode the reader also requires trust (see FileTrust.h): a file it
// may not trust is neither read nor rewritten (UntrustedFileException), and a file it creates
// gets no write permission for every user. Whatever the mode, only a regular file is opened:
// a symbolic link, FIFO or device is refused at once instead of followed or waited on.
//
// A lock held longer than the lock timeout (a stopped program) is reported as
// PreferencesAccessException, as is any refusal by the system; BackingStoreException for any
// other failure. The platform part lives in SharedFile_posix.cpp.
class SharedFile {
public:
    // Files above this size are refused rather than read into memory.
    static constexpr qint64 maxSize = 16 * 1024 * 1024;
    static constexpr std::chrono::milliseconds defaultLockTimeout{5000};

    explicit SharedFile(QString path, SharedFileSyscalls& sys = SharedFileSyscalls::real(),
                        std::chrono::milliseconds lockTimeout = defaultLockTimeout)
        : m_path(std::move(path)), m_sys(sys), m_lockTimeout(lockTimeout) {}

    QString path() const { return m_path; }

    // From now on read and update refuse a file the reader may not trust, `group` being the
    // group whose members may write it.
    void requireTrust(QString group) { m_trustedGroup = std::move(group); }

    // The contents, or nothing when the file does not exist.
    std::optional<QByteArray> read() const;

    // Under the lock: reads the current contents (nothing when the file is missing), passes
    // them to `change` and writes its result. Creates missing folders. When `change` throws,
    // the file is left as it was and the exception propagates. A refusal of the shared file
    // to a user outside the writers' group says so, and how to join it.
    void update(const std::function<QByteArray(const std::optional<QByteArray>&)>& change);

private:
    void updateLocked(const std::function<QByteArray(const std::optional<QByteArray>&)>& change);

    QString m_path;
    SharedFileSyscalls& m_sys;
    std::chrono::milliseconds m_lockTimeout;
    std::optional<QString> m_trustedGroup;
};

} // namespace tarovex::prefs
