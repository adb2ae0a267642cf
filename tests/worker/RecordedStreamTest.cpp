// A recording read as a port: the bounds of a read into part of a buffer.
#include "worker/RecordedStream.h"

#include "Tarolink/SerialExceptions.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>

using tarovex::worker::RecordedStream;

TEST(RecordedStream, AReadIntoPartOfABufferMayEndAtItsEndButNotPastIt) {
    QTemporaryDir dir;
    const QString path = dir.filePath("capture.bin");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("0123456789");
    file.close();
    const struct {
        int offset, count;
        int read; // -1: refused
    } rows[] = {{2, 6, 6}, {0, 8, 8}, {3, 6, -1}, {-1, 2, -1}, {0, -1, -1}};
    for (const auto& row : rows) {
        auto stream = RecordedStream::open(path, Tarolink::SerialConfig());
        std::array<std::uint8_t, 8> buffer{};
        try {
            EXPECT_EQ(stream->getData(buffer, row.offset, row.count), row.read)
                << row.offset << "+" << row.count;
        } catch (const Tarolink::PortArgumentException&) {
            EXPECT_EQ(row.read, -1) << row.offset << "+" << row.count << " refused";
        }
    }
}
