#pragma once

#include "config/Instrument.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarovex::config {

// What a preset's instruments understand when asked: a reading, tare and zero. Empty means
// the instrument has no such command (or we do not know it): nothing is ever guessed, since
// a stray byte can tare a scale.
struct InstrumentCommands {
    QByteArray data;
    QByteArray tare;
    QByteArray zero;
};

InstrumentCommands commandsOf(const ConfigHelper::Instrument& instrument);

// A command as the user writes it: printable ASCII, with \r, \n, \e (ESC), \\ and \xHH
// for any byte. None when the text breaks these rules; the empty text is the empty command.
std::optional<QByteArray> parseCommandText(const QString& text);
// The command written back in that notation (parseCommandText(commandText(b)) == b).
QString commandText(const QByteArray& bytes);

} // namespace tarovex::config
