#pragma once

#include <QDateTime>
#include <QString>

#include <chrono>
#include <cstdint>

namespace tarovex::reading {

// One received line: the raw bytes up to and including the input terminator (each byte
// as the character of the same value), the processed value, the line's number in the run,
// the time the terminator arrived and whether a parity or framing error hit the line.
//
// The time is a std::chrono::system_clock time point, which counts UTC since the Unix
// epoch and carries no time zone. The texts are implicitly shared QStrings, so copying or
// moving a line costs two reference-count updates.
class DataLine {
public:
    using Instant = std::chrono::system_clock::time_point;

    DataLine(QString rawData, QString processedData, std::int32_t count, Instant instant, bool error)
        : rawData_(std::move(rawData)), processedData_(std::move(processedData)), instant_(instant),
          count_(count), error_(error) {}

    // A new line with the same five field values.
    DataLine copy() const { return *this; }

    // Suppresses the value: processedData becomes the empty string.
    void deleteProcessedData() { processedData_ = QString(); }

    // The line's number within the run, starting at 1.
    std::int32_t getCount() const { return count_; }

    // The arrival time as local date and time in the system's time zone.
    QDateTime getDateTime() const;

    // The arrival time of day as "HH:mm:ss", local time on the 24-hour clock.
    QString getTimeOfDay() const;

    // The arrival time (UTC).
    Instant getInstant() const { return instant_; }

    // The extracted, edited and formatted value; empty when the line has none.
    const QString& getProcessedData() const { return processedData_; }

    // The raw line, terminator included.
    const QString& getRawData() const { return rawData_; }

    // The raw line rendered readable (see transformControlChars).
    QString getReadable() const { return transformControlChars(rawData_); }

    // True when the line has a value.
    bool hasValue() const { return !processedData_.isEmpty(); }

    // True when a parity or framing error was reported for any byte of the line.
    bool isError() const { return error_; }

    // What an output template made of the value, as a record shows it; empty without one.
    const QString& getOutput() const { return output_; }
    void setOutput(QString output) { output_ = std::move(output); }

    // Renders a text readable: characters 0x20..0x7E stay, every other one becomes
    // "<" + its code in decimal + ">" (CR LF reads <13><10>).
    static QString transformControlChars(QStringView text);

    friend bool operator==(const DataLine&, const DataLine&) = default;

private:
    QString rawData_;
    QString processedData_;
    Instant instant_;
    std::int32_t count_;
    bool error_;
    QString output_;
};

} // namespace tarovex::reading
