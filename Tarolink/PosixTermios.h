#pragma once

#include <termios.h>

namespace Tarolink {

class SerialConfig;

// The line set-up of the POSIX driver as small steps, each editing only its own fields of a
// termios value, so each can be checked without a device.
namespace posix_termios {

// The termios speed of a rate in bits per second; B0 when the system has none for it.
speed_t speedForRate(int rate);

// Raw bytes: no line editing, echo, signals or output processing; reads return at once.
// Errors are marked (PARMRK: FF FF for a data FF, FF 00 x for a bad byte x) and checked
// (INPCK), breaks are neither ignored nor turned into signals.
void makeRaw(termios& t);
// dataBits: SerialConfig::LN_5BITS .. LN_8BITS.
void setDataBits(termios& t, int dataBits);
// parity: SerialConfig::PY_NONE .. PY_SPACE (mark and space through CMSPAR).
void setParity(termios& t, int parity);
// stopBits: SerialConfig::ST_1BITS or ST_2BITS.
void setStopBits(termios& t, int stopBits);
// A whole handshake mode or split-mode bits. termios has one switch for both hardware
// directions, and DSR/DTR handshaking none at all (HS_DSRDTR sets nothing).
void setHandshake(termios& t, int handshake);
// bitRate: an index into SerialConfig::bitRateNumbers or a literal rate. False, with `t`
// unchanged, when the system has no speed for it.
bool setBitRate(termios& t, int bitRate);

// All of the above from `config`; false, with `t` unchanged, for a rate without a speed.
bool apply(termios& t, const SerialConfig& config);

} // namespace posix_termios

} // namespace Tarolink
