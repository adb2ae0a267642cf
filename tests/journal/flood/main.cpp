// Floods a journal with readings until it is killed, printing the last seq of every group
// the journal has committed, so that a test can kill it mid-write and check what is left.
#include "journal/JournalDb.h"
#include "journal/Sinks.h"

#include <QDateTime>

#include <cstdio>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    using namespace tarovex::journal;
    if (argc != 2)
        return 2;
    std::vector<std::unique_ptr<RecordSink>> sinks;
    sinks.push_back(std::make_unique<JournalSink>(
        std::make_unique<JournalDb>(QString::fromLocal8Bit(argv[1])),
        JournalSink::Options{.station = "flood"}, nullptr, [](std::int64_t last) {
            const std::string text = std::to_string(last) + '\n';
            (void)!::write(1, text.data(), text.size());
        }));
    RecordThread thread(std::move(sinks));
    const QByteArray line = "ST,GS,+  123.45 g\r\n";
    for (std::int64_t i = 0;; ++i) {
        thread.append({QDateTime::currentMSecsSinceEpoch(), "/dev/ttyUSB0", "GENERIC", line,
                       QString::number(i), Outcome::Typed});
        if (i % 1000 == 0)
            ::usleep(1000); // a flood, but one the writer keeps up with
    }
}
