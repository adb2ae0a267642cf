// Readings per second into the journal: the run's record consumer fed realistic lines on
// this thread, written by the record thread in groups to an SQLite file in a temporary
// folder. The time counted ends when the last reading is committed.
#include "config/Config.h"
#include "journal/JournalDb.h"
#include "journal/RunRecorder.h"
#include "reading/DataLine.h"
#include "tarovex/run/RecordConsumer.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <vector>

using namespace tarovex;

namespace {

std::vector<reading::DataLine> lines(int n) {
    std::vector<reading::DataLine> out;
    out.reserve(n);
    const auto now = std::chrono::system_clock::now();
    for (int i = 0; i < n; ++i)
        out.emplace_back(QStringLiteral("ST,GS,+  %1.50 g\r\n").arg(i % 1000),
                         QStringLiteral("%1.50").arg(i % 1000), i + 1, now, false);
    return out;
}

// Wall time from the first reading handed to the run's record consumer to the last one
// committed. A round stays below the record queue's bound, so that none is dropped.
void BM_JournalReadingsPerSecond(benchmark::State& state) {
    static int argc = 1;
    static char name[] = "bench_journal";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv); // the record's messages are posted events
    const auto readings = lines(int(state.range(0)));
    QTemporaryDir dir;
    config::Config config;
    config.record.station = QStringLiteral("bench");
    struct : reading::EventLog {
        QStringList messages;
        void logEvent(const QString& m) override { messages << m; }
        void logImportantEvent(const QString& m) override { messages << m; }
    } log;
    QStringList& messages = log.messages;
    RecordConsumer record(log, dir.path() + "/journal.sqlite");
    record.runStarted(config);
    for (auto _ : state) {
        for (const auto& line : readings)
            record.settled(line, Delivery::Typed, {});
        record.finish(std::chrono::milliseconds(0));
    }
    // The machine's clock is not the journal's doing.
    messages.removeIf([](const QString& m) { return m.startsWith(u"The clock of this computer"); });
    if (!messages.isEmpty()) {
        const std::string why = messages.join(u' ').toStdString();
        state.SkipWithError(why.c_str());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_JournalReadingsPerSecond)->Arg(50'000)->Unit(benchmark::kMillisecond)->UseRealTime();

// What recording costs the reading thread per reading (the hand-over alone).
void BM_RecordCallOnTheReadingThread(benchmark::State& state) {
    const auto readings = lines(10'000);
    QTemporaryDir dir;
    config::Config config;
    journal::RunRecorder recorder(config, nullptr, dir.path() + "/journal.sqlite");
    std::size_t i = 0;
    for (auto _ : state) {
        recorder.record(readings[i], journal::Outcome::Typed);
        if (++i == readings.size()) {
            i = 0;
            state.PauseTiming();
            recorder.flush();
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_RecordCallOnTheReadingThread);

// --journal-verify's walk: each row read, hashed and compared with its link, over a journal
// of realistic readings written by the chain.
void BM_JournalVerifyRowsPerSecond(benchmark::State& state) {
    QTemporaryDir dir;
    journal::JournalDb db(dir.path() + "/journal.sqlite");
    std::vector<journal::Reading> group;
    for (const auto& line : lines(10'000))
        group.push_back(
            {std::chrono::duration_cast<std::chrono::milliseconds>(line.getInstant().time_since_epoch())
                 .count(),
             "/dev/ttyUSB0", "GENERIC", line.getRawData().toLatin1(), line.getProcessedData(),
             journal::Outcome::Typed});
    for (std::int64_t n = 0; n < state.range(0); n += std::int64_t(group.size()))
        db.append(group, QStringLiteral("bench"), false);
    for (auto _ : state) {
        const journal::ChainCheck check = db.verifyChain();
        if (!check.intact || check.rows != state.range(0))
            state.SkipWithError("the chain does not verify");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_JournalVerifyRowsPerSecond)->Arg(200'000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
