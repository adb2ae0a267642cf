#pragma once

#include "worker/ByteSource.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace tarovex::worker {

// A captured byte stream (a file, or standard input) read as a run's source, so that a
// worker can run it through its own loop. Its end is reported as a source gone once every
// byte was taken; a read failure throws "getData failed" with the system's error. It has
// no line errors and no modem lines, and cannot come back.
class RecordedStream final : public ByteSource {
public:
    // Opens `path` ("-" for standard input, which is then not closed). Throws
    // std::runtime_error with a text for the user when the file is missing, a folder or
    // unreadable.
    static std::unique_ptr<RecordedStream> open(const QString& path);
    ~RecordedStream() override;
    RecordedStream(const RecordedStream&) = delete;
    RecordedStream& operator=(const RecordedStream&) = delete;

    std::string name() const override { return name_; }
    int read(std::span<std::uint8_t> buffer) override;
    Wait waitForData(int timeoutMs) override;
    void wakeUp() override;
    bool isGone() override { return ended_ && next_ == end_; }
    // A recording has no instrument to ask: requests go nowhere.
    void write(std::span<const std::uint8_t>) override {}
    void close() override;

private:
    RecordedStream(int fd, bool ownsFd, bool alwaysReady, std::string name);
    // Refills the buffer with what can be read without waiting; false when nothing came.
    bool fill();

    int fd_;
    bool ownsFd_;
    bool alwaysReady_; // a regular file: a read never waits
    int wakeFd_;
    std::string name_;
    std::vector<std::uint8_t> buffer_;
    std::size_t next_ = 0;
    std::size_t end_ = 0;
    bool ended_ = false;
};

} // namespace tarovex::worker
