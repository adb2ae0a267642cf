// Runs assembled as the window and the console assemble theirs, several in one process.
#include "tarovex/run/KeyboardService.h"
#include "tarovex/station/Run.h"
#include "tests/Tarolink/TestSupport.h"
#include "tests/support/RecordingSound.h"
#include "tests/tarovex/TypedKeys.h"
#include "tests/worker/WorkerTestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tarovex;
namespace CH = config::ConfigHelper;

namespace {

struct QuietLog : RunLog {
    void logEvent(const QString&) override {}
    void logImportantEvent(const QString&) override {}
    void line(const reading::DataLine&) override {}
    void unstableLine(const reading::DataLine&) override {}
};

struct Notices : Notifier {
    QStringList shown;
    void show(Kind, const QString& title, const QString& message) override { shown.append(title + message); }
};

// The values typed: the typed digits cut where the digit changes.
QStringList values(const QString& digits) {
    QStringList out;
    for (const QChar c : digits) {
        if (out.isEmpty() || out.last().back() != c)
            out.append(QString());
        out.last() += c;
    }
    return out;
}

} // namespace

// Two runs on two ports type through one keyboard: each value whole, none lost, each run's
// in the order they came, though the lines of both arrive mixed.
TEST(StationRun, TwoRunsShareOneKeyboardValueByValue) {
    worker_test::application();
    QTemporaryDir dir;
    keys_test::RecordingSynthesizer keys;
    const auto lane = std::make_shared<typing::KeyboardLane>();
    tarolink_test::Pty ptyA, ptyB;
    QuietLog log;
    Notices notices;
    const auto configOn = [](const tarolink_test::Pty& pty) {
        config::Config c = config::Config::defaultsOf(CH::Instrument::GENERIC);
        c.setInstrument(CH::Instrument::GENERIC);
        c.setPort(QString::fromStdString(pty.slavePath()));
        c.setOutputTerminator(CH::OutputTerminator::NONE);
        c.setDelay(QStringLiteral("5"));
        return c;
    };
    const config::Config configA = configOn(ptyA), configB = configOn(ptyB);
    const auto assemble = [&](const config::Config& c) {
        RunServices s;
        s.makeTyper = [&, lane](const config::Config& rc, reading::EventLog& view) {
            return makeKeyboardTyper(rc, view, lane, std::make_unique<tarovex_test::SlowKeys>(keys),
                                     QStringLiteral("slow"));
        };
        s.makeSound = [](int) { return std::make_unique<tarovex_test::RecordingSound>(); };
        return assembleRun(c, std::move(s), notices, log, {.journalPath = dir.filePath("journal.sqlite")});
    };
    const std::unique_ptr<tarovex::Run> a = assemble(configA), b = assemble(configB);
    for (tarovex::Run* run : {a.get(), b.get()})
        ASSERT_TRUE(run->controller().start()) << notices.shown.join('\n').toStdString();
    ASSERT_TRUE(worker_test::runUntil(
        [&] { return a->controller().isConnected() && b->controller().isConnected(); }));

    const QStringList fromA{"111111", "222222", "333333"}, fromB{"555555", "666666", "777777"};
    for (int i = 0; i < fromA.size(); ++i) {
        ptyA.write((fromA[i] + '\r').toStdString());
        ptyB.write((fromB[i] + '\r').toStdString());
    }
    ASSERT_TRUE(
        worker_test::runUntil([&] { return tarovex_test::typed(keys.stream()).digits.size() == 36; }));

    const QStringList typedValues = values(tarovex_test::typed(keys.stream()).digits);
    const auto of = [&](const QString& digits) {
        QStringList out;
        for (const QString& v : typedValues)
            if (digits.contains(v.front()))
                out.append(v);
        return out;
    };
    EXPECT_EQ(of("123").join(' ').toStdString(), fromA.join(' ').toStdString())
        << keys.stream().toStdString();
    EXPECT_EQ(of("567").join(' ').toStdString(), fromB.join(' ').toStdString())
        << keys.stream().toStdString();
    bool doneA = false, doneB = false;
    a->controller().shutdown([&] { doneA = true; });
    b->controller().shutdown([&] { doneB = true; });
    ASSERT_TRUE(worker_test::runUntil([&] { return doneA && doneB; }));
    EXPECT_FALSE(tarovex_test::typed(keys.stream()).keyDown);
}
