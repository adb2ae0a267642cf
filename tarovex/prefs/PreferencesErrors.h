#pragma once

#include <QString>

#include <stdexcept>

namespace tarovex::prefs {

// The store could not be read or written (I/O failure, full disk, broken file).
class BackingStoreException : public std::runtime_error {
public:
    explicit BackingStoreException(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// The shared settings file is one its reader may not trust (someone else may have written
// it), or no regular file at all.
class UntrustedFileException : public BackingStoreException {
public:
    explicit UntrustedFileException(const QString& message) : BackingStoreException(message) {}
};

// The platform refused access to the store (permissions, read-only location). Kept apart from
// BackingStoreException because callers report it differently.
class PreferencesAccessException : public std::runtime_error {
public:
    explicit PreferencesAccessException(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// A file offered for import is not a preferences export (not XML, another document type,
// or an unsupported version).
class InvalidPreferencesFormatException : public std::runtime_error {
public:
    explicit InvalidPreferencesFormatException(const QString& message)
        : std::runtime_error(message.toStdString()) {}
};

// An export or import file could not be read or written.
class PreferencesIOException : public std::runtime_error {
public:
    explicit PreferencesIOException(const QString& message) : std::runtime_error(message.toStdString()) {}
};

} // namespace tarovex::prefs
