#pragma once

#include <QString>

// Checks of the settings in RecordSettings, in the shape of the other text settings: a
// default and a check that never throws.
namespace tarovex::config::ConfigHelper {

// Days the journal keeps a reading: an integer from 1 to 3650.
struct JournalDays {
    static QString getDefault() { return QStringLiteral("30"); }
    static bool isValid(const QString& text) noexcept;
};

// The journal's size bound in MiB: an integer from 1 to 1000000.
struct JournalMaxMB {
    static QString getDefault() { return QStringLiteral("500"); }
    static bool isValid(const QString& text) noexcept;
};

// The station name: empty (the host name) or up to 64 letters, digits, spaces and "-_.,:",
// beginning with a letter or digit. It becomes a level of an MQTT topic, a CSV field and a
// file name, and may come from the shared settings file, so nothing a shell, a spreadsheet
// formula or a topic would read as more than a name.
struct Station {
    static QString getDefault() { return {}; }
    static bool isValid(const QString& text) noexcept;
};

// A file path (the live CSV file, the MQTT password and CA files) or the MQTT user: any text
// without control characters.
struct PlainText {
    static QString getDefault() { return {}; }
    static bool isValid(const QString& text) noexcept;
};

// The broker: empty (off), or mqtt://HOST:PORT or mqtts://HOST:PORT ([v6 address] allowed).
struct MqttBroker {
    static QString getDefault() { return {}; }
    static bool isValid(const QString& text) noexcept;
};

// The reading topic: not empty, without controls and the wildcards '+' and '#'; "{station}"
// is replaced by the station, "{label}" by each reading's instrument name.
struct MqttTopic {
    static QString getDefault() { return QStringLiteral("tarovex/{station}/readings"); }
    static bool isValid(const QString& text) noexcept;
};

} // namespace tarovex::config::ConfigHelper
