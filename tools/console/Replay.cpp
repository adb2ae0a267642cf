#include "Replay.h"

#include "Tarolink/SerialConfig.h"
#include "worker/RecordedStream.h"

namespace tarovex::console {

std::unique_ptr<Tarolink::SerialPort> openRecording(const config::Config& config, const QString& path) {
    // The serial settings only label the recording in the log, as a port's would.
    Tarolink::SerialConfig serial(path.toStdString());
    serial.setBitRate(config.getBitRate());
    serial.setDataBits(config.getDataBits());
    serial.setParity(config.getParity());
    serial.setStopBits(config.getStopBits());
    return worker::RecordedStream::open(path, serial);
}

} // namespace tarovex::console
