#pragma once

#include <QString>

namespace tarovex::config {

// What a station keeps of its readings: the local journal, the live CSV file and, when a
// broker is set, the MQTT publishing. Texts as the user typed them, checked by the
// ConfigHelper validators of the same names.
struct RecordSettings {
    bool journal = true;
    QString journalDays = QStringLiteral("30");
    QString journalMaxMB = QStringLiteral("500");
    // Empty: the host name.
    QString station;
    // Empty: no live CSV file.
    QString csvFile;
    // Empty: no publishing.
    QString mqttBroker;
    QString mqttTopic = QStringLiteral("tarovex/{station}/readings");
    QString mqttUser;
    // The password lives in this file (readable by its owner only), never in the settings.
    QString mqttPasswordFile;
    QString mqttCaFile;
    // Read now and the request key ask each instrument of the station in turn and type their
    // values as one row; values nobody asked for are not typed.
    bool round = false;

    // The station name in use: the setting, else the host name.
    QString stationName() const;
    int journalDaysAsInt() const;
    qint64 journalMaxBytes() const;

    friend bool operator==(const RecordSettings&, const RecordSettings&) = default;
};

} // namespace tarovex::config
