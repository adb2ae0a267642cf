#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace tarovex::prefs {

// A small file that several processes read and rewrite (the shared settings file).
// Readers never see a half-written file: a new version is written to a temporary file in the
// same folder, flushed to disk and renamed over the old one. Writers serialise their
// read-modify-write cycles with an advisory lock on "<file>.lock" beside it, so two programs
// writing at once do not drop each other's changes. Errors: PreferencesAccessException when
// the system refuses access, BackingStoreException for any other failure. The platform part
// lives in SharedFile_posix.cpp.
class SharedFile {
public:
    // Files above this size are refused rather than read into memory.
    static constexpr qint64 maxSize = 16 * 1024 * 1024;

    explicit SharedFile(QString path) : m_path(std::move(path)) {}

    QString path() const { return m_path; }

    // The contents, or nothing when the file does not exist.
    std::optional<QByteArray> read() const;

    // Under the lock: reads the current contents (nothing when the file is missing), passes
    // them to `change` and atomically replaces the file with its result. Creates missing
    // folders. When `change` throws, the file is left as it was and the exception propagates.
    void update(const std::function<QByteArray(const std::optional<QByteArray>&)>& change);

private:
    QString m_path;
};

} // namespace tarovex::prefs
