#include "config/RecordSettings.h"

#include "config/NumberText.h"

#include <QSysInfo>

namespace tarovex::config {

QString RecordSettings::stationName() const {
    return station.isEmpty() ? QSysInfo::machineHostName() : station;
}

int RecordSettings::journalDaysAsInt() const {
    return NumberText::parseInt(journalDays).value_or(30);
}

qint64 RecordSettings::journalMaxBytes() const {
    return qint64(NumberText::parseInt(journalMaxMB).value_or(500)) * 1024 * 1024;
}

} // namespace tarovex::config
