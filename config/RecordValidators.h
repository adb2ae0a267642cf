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

// The station name: empty (the host name) or up to 64 printable characters without '/',
// '+' and '#', since it becomes a level of an MQTT topic.
struct Station {
    static QString getDefault() { return {}; }
    static bool isValid(const QString& text) noexcept;
};

// A file path (csvFile, mqttPasswordFile, mqttCaFile, mqttUser): any text without control
// characters.
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
// is replaced.
struct MqttTopic {
    static QString getDefault() { return QStringLiteral("tarovex/{station}/readings"); }
    static bool isValid(const QString& text) noexcept;
};

} // namespace tarovex::config::ConfigHelper
