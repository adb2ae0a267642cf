#pragma once

#include "Tarolink/SerialPort.h"
#include "config/Config.h"

#include <QString>

#include <memory>

namespace tarovex::console {

// The recording at `path` ("-": standard input), opened to be read instead of a port, as
// fast as its lines can be processed; its end stops the run. The serial settings of
// `config` label it in the log. Throws std::runtime_error with a text for the user when it
// cannot be opened.
std::unique_ptr<Tarolink::SerialPort> openRecording(const config::Config& config, const QString& path);

} // namespace tarovex::console
