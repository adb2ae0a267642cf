// A raw byte stream through a whole run: the worker over the simulated driver cuts it into
// lines, extracts and processes the values, and the run's repeat filter and outputs take
// them, under settings drawn from the first bytes of the input.
#include "Tarolink/SerialPortLocal.h"
#include "config/Config.h"
#include "config/Instrument.h"
#include "tarovex/log/MessageLog.h"
#include "tarovex/run/RunController.h"
#include "tests/support/SimulatedDriver.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

using namespace tarovex;
namespace CH = config::ConfigHelper;

namespace {

struct SilentNotifier : Notifier {
    void show(Kind, const QString&, const QString&) override {}
};

template <typename E> E pick(FuzzedDataProvider& in) {
    return E::values().at(in.ConsumeIntegralInRange<int>(0, E::count() - 1));
}

QString text(FuzzedDataProvider& in, std::size_t max) {
    return QString::fromLatin1(in.ConsumeRandomLengthString(max));
}

std::shared_ptr<Tarolink::SimulatedDriver> driver() {
    static auto sim = [] {
        ::setenv("TLK_OSNAME", "Linux", 1);
        static int argc = 1;
        static char name[] = "fuzz_pipeline";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);
        auto d = std::make_shared<Tarolink::SimulatedDriver>();
        Tarolink::SerialPortLocal::installDriver(d);
        return d;
    }();
    return sim;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto sim = driver();
    FuzzedDataProvider in(data, size);

    const CH::Instrument instrument = pick<CH::Instrument>(in);
    config::Config c = config::Config::defaultsOf(instrument);
    c.setInstrument(instrument);
    // A fresh port name per input: a vanished simulated device stays vanished.
    static unsigned serial = 0;
    const std::string port = "FUZZ" + std::to_string(++serial);
    sim->addPort(port);
    c.setPort(QString::fromStdString(port));
    if (in.ConsumeBool())
        c.setInputTerminator(in.ConsumeIntegral<std::uint8_t>());
    if (in.ConsumeBool())
        c.setCustomRegEx(text(in, 40));
    c.setEditOperation(pick<CH::EditOperation>(in));
    c.setEditPosition(pick<CH::EditPosition>(in));
    c.setEditNumCharacters(text(in, 4));
    c.setRemoveCharacters(text(in, 8));
    c.setMathOperation(pick<CH::MathOperation>(in));
    c.setMathOperand(text(in, 24));
    c.setDecimalPlaces(text(in, 3));
    c.setRoundingMethod(pick<CH::RoundingMethod>(in));
    c.setDecimalSeparator(pick<CH::DecimalSeparator>(in));
    c.ignoreDuplicates = in.ConsumeBool();
    c.setIgnoreTimeLimit(text(in, 6));
    c.setIgnoreDifference(text(in, 12));
    const auto error =
        static_cast<Tarolink::SimulatedDriver::ByteError>(in.ConsumeIntegralInRange<int>(0, 3));
    const std::size_t errorAt = in.ConsumeIntegral<std::uint16_t>();
    const std::vector<std::uint8_t> stream = in.ConsumeRemainingBytes<std::uint8_t>();

    SilentNotifier notifier;
    MessageLog log;
    RunController run(c, RunServices{}, notifier, log);
    if (!run.start())
        return 0;
    // The stream in two reads, the second starting with one byte received with an error.
    const std::size_t cut = std::min(errorAt, stream.size());
    sim->receive(port, {stream.begin(), stream.begin() + cut});
    if (cut < stream.size()) {
        sim->receive(port, {stream[cut]}, error);
        sim->receive(port, {stream.begin() + cut + 1, stream.end()});
    }
    sim->vanish(port);
    QEventLoop loop;
    QObject::connect(&run, &RunController::connectedChanged, &loop, [&](bool connected) {
        if (!connected)
            loop.quit();
    });
    if (run.isConnected())
        loop.exec();
    return 0;
}
