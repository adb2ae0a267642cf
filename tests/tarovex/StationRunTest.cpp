// Runs assembled as the window and the console assemble theirs, several in one process.
#include "journal/JournalDb.h"
#include "tarovex/run/KeyboardService.h"
#include "tarovex/station/Run.h"
#include "tests/ProvenOrSkipped.h"
#include "tests/Tarolink/TestSupport.h"
#include "tests/XTextRecorder.h"
#include "tests/XvfbServer.h"
#include "tests/support/RecordingSound.h"
#include "tests/tarovex/TypedKeys.h"
#include "tests/worker/WorkerTestSupport.h"

#include <QDate>
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

struct Log : RunLog {
    QStringList important;
    void logEvent(const QString&) override {}
    void logImportantEvent(const QString& text) override { important.append(text); }
    void line(const reading::DataLine&) override {}
    void unstableLine(const reading::DataLine&) override {}
};

// What became of each value, as the record hears it.
struct Fates : ReadingConsumer {
    QString label;
    QStringList* out;
    Fates(QString label, QStringList* out) : label(std::move(label)), out(out) {}
    void reading(const reading::DataLine&, ReadingOutcome) override {}
    void settled(const reading::DataLine& line, Delivery delivery, QLatin1StringView reason) override {
        out->append(label + ' ' + line.getProcessedData() + ' ' +
                    (delivery == Delivery::Typed ? QStringLiteral("typed") : QString(reason)));
    }
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

// With rounds, Read now asks one instrument after the other and their values are typed as one
// row, each with its own terminator, into a real X window; a value nobody asked for and the
// values of a round an instrument left unanswered are recorded, never typed.
TEST(StationRun, ARoundTypesOneRowOrNothing) {
    worker_test::application();
    std::optional<tarovex_test::XvfbServer> server;
    try {
        server.emplace();
    } catch (const std::exception& e) {
        TAROVEX_SKIP_OR_FAIL(std::string("no Xvfb: ") + e.what());
    }
    qputenv("DISPLAY", QByteArray::fromStdString(server->display()));
    qunsetenv("WAYLAND_DISPLAY");
    tarovex_test::XTextRecorder recorder(server->display());
    QTemporaryDir dir;
    tarolink_test::Pty ptyA, ptyB;
    Log log;
    Notices notices;
    QStringList fates;
    Fates fatesA("Balance", &fates), fatesB("Caliper", &fates);
    const auto configOn = [](const tarolink_test::Pty& pty, const char* label, CH::OutputTerminator end) {
        config::Config c = config::Config::defaultsOf(CH::Instrument::GENERIC);
        c.setInstrument(CH::Instrument::GENERIC);
        c.setPort(QString::fromStdString(pty.slavePath()));
        c.setRequestCommand(QStringLiteral("?\\r"));
        c.setOutputTerminator(end);
        c.label = QString::fromLatin1(label);
        c.record.round = true;
        return c;
    };
    const config::Config configA = configOn(ptyA, "Balance", CH::OutputTerminator::TAB),
                         configB = configOn(ptyB, "Caliper", CH::OutputTerminator::ENTER);
    RunServices services;
    services.makeTyper = [lane = std::make_shared<typing::KeyboardLane>()](const config::Config& rc,
                                                                           reading::EventLog& view) {
        return makeKeyboardTyper(rc, view, lane, {.backend = typing::KeyBackend::X11});
    };
    services.round = std::make_shared<Round>();
    const auto assemble = [&](const config::Config& c, Fates& f) {
        return assembleRun(c, services, notices, log,
                           {.consumers = {&f}, .journalPath = dir.filePath("journal.sqlite")});
    };
    const std::unique_ptr<tarovex::Run> a = assemble(configA, fatesA), b = assemble(configB, fatesB);
    for (tarovex::Run* run : {a.get(), b.get()})
        ASSERT_TRUE(run->controller().start()) << notices.shown.join('\n').toStdString();
    ASSERT_TRUE(worker_test::runUntil(
        [&] { return a->controller().isConnected() && b->controller().isConnected(); }));
    Round* round = a->rounds();
    ASSERT_NE(round, nullptr);

    ptyA.write("5\r"); // not asked for
    ASSERT_TRUE(worker_test::runUntil([&] { return fates.size() == 1; }));
    // Each instrument answers its request, the caliper only while `caliperAnswers`.
    bool caliperAnswers = true;
    const auto answer = [&] {
        if (!ptyA.read(64, 0).empty())
            ptyA.write("1.5\r");
        if (!ptyB.read(64, 0).empty() && caliperAnswers)
            ptyB.write("22\r");
    };
    EXPECT_EQ(round->begin(), "");
    ASSERT_TRUE(worker_test::runUntil([&] {
        answer();
        return fates.size() == 3;
    }));
    EXPECT_EQ(recorder.transcript(100), "1.5<Tab>22<Return>");

    caliperAnswers = false;
    EXPECT_EQ(round->begin(), "");
    EXPECT_NE(round->begin(), ""); // none queued behind the one under way
    ASSERT_TRUE(worker_test::runUntil(
        [&] {
            answer();
            return fates.size() == 4;
        },
        int(Round::kAnswerBound.count()) * 3));
    EXPECT_EQ(fates, (QStringList{"Balance 5 not asked for in a round", "Balance 1.5 typed",
                                  "Caliper 22 typed", "Balance 1.5 round incomplete"}));
    EXPECT_EQ(recorder.transcript(100), "1.5<Tab>22<Return>");
    EXPECT_TRUE(log.important.filter("Caliper did not answer within 5 s").size() == 1)
        << log.important.join('\n').toStdString();
    bool doneA = false, doneB = false;
    a->controller().shutdown([&] { doneA = true; });
    b->controller().shutdown([&] { doneB = true; });
    ASSERT_TRUE(worker_test::runUntil([&] { return doneA && doneB; }));
}

// An output template shapes what reaches a real X window, field by field and key by key, and
// the journal keeps the text it made beside the value.
TEST(StationRun, TemplatesShapeWhatIsTyped) {
    worker_test::application();
    std::optional<tarovex_test::XvfbServer> server;
    try {
        server.emplace();
    } catch (const std::exception& e) {
        TAROVEX_SKIP_OR_FAIL(std::string("no Xvfb: ") + e.what());
    }
    qputenv("DISPLAY", QByteArray::fromStdString(server->display()));
    qunsetenv("WAYLAND_DISPLAY");
    tarovex_test::XTextRecorder recorder(server->display());
    QTemporaryDir dir;
    tarolink_test::Pty pty;
    Log log;
    QStringList fates;
    Fates fated("Scale", &fates);
    Notices notices;
    const QString year = QString::number(QDate::currentDate().year());
    const struct {
        CH::Instrument instrument;
        const char* outputTemplate;
        const char* line;
        QString typed;
    } cases[] = {
        {CH::Instrument::GENERIC, "{value} {unit}{TAB}[{raw}]{ENTER}", "ST,+  12.50 kg\r",
         "12.50 kg<Tab>[ST,+  12.50 kg]<Return>"},
        {CH::Instrument::GENERIC, "{{{label}}}{g1}{KEY:KP_Enter}{date:yyyy}", "-3.5g\r",
         "{Scale}-3.5<KP_Enter>" + year},
        {CH::Instrument::GENERIC, "{seq}:{DELAY:50}{value}{unit}{ESC}", "7 pcs\r", "1:7pcs<Escape>"},
        {CH::Instrument::BARCODE_ALPHA, "<{value}>{unit}{LEFT}", "AB12\r", "<AB12><Left>"},
        {CH::Instrument::GENERIC, "", "42\r", "42<Return>"}, // no template: as it always was
    };
    QString typed;
    for (const auto& c : cases) {
        config::Config config = config::Config::defaultsOf(c.instrument);
        config.setInstrument(c.instrument);
        config.setPort(QString::fromStdString(pty.slavePath()));
        config.setOutputTerminator(CH::OutputTerminator::ENTER);
        config.setOutputTemplate(QString::fromLatin1(c.outputTemplate));
        config.label = QStringLiteral("Scale");
        RunServices services;
        services.makeTyper = [](const config::Config& rc, reading::EventLog& view) {
            return makeKeyboardTyper(rc, view, std::make_shared<typing::KeyboardLane>(),
                                     {.backend = typing::KeyBackend::X11});
        };
        const std::unique_ptr<tarovex::Run> run =
            assembleRun(config, services, notices, log,
                        {.consumers = {&fated}, .journalPath = dir.filePath("journal.sqlite")});
        ASSERT_TRUE(run->controller().start()) << notices.shown.join('\n').toStdString();
        ASSERT_TRUE(worker_test::runUntil([&] { return run->controller().isConnected(); }));
        const qsizetype settled = fates.size();
        pty.write(c.line);
        ASSERT_TRUE(worker_test::runUntil([&] { return fates.size() > settled; }));
        typed += c.typed;
        EXPECT_EQ(recorder.transcript(typed.toUtf8().size()), typed.toStdString())
            << c.outputTemplate << '\n'
            << (log.important + notices.shown).join('\n').toStdString();
        bool done = false;
        run->controller().shutdown([&] { done = true; });
        ASSERT_TRUE(worker_test::runUntil([&] { return done; }));
    }
    QStringList outputs;
    journal::JournalDb(dir.filePath("journal.sqlite")).forEach([&](const journal::StoredReading& r) {
        outputs.append(r.reading.value + '|' + r.reading.output + '|' + r.reading.reason);
    });
    const QStringList expected{"12.50|12.50 kg{TAB}[ST,+  12.50 kg]{ENTER}|",
                               "-3.5|{{Scale}}-3.5{KEY:KP_Enter}" + year + '|', "7|1:{DELAY:50}7pcs{ESC}|",
                               "AB12|<AB12>{LEFT}|", "42||"};
    EXPECT_EQ(outputs.join('\n').toStdString(), expected.join('\n').toStdString());
}
