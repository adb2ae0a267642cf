#include "worker/WeightWorkerFactory.h"

#include "worker/WeightWorkerAnd.h"
#include "worker/WeightWorkerBarcode.h"

namespace tarovex::worker {

namespace {

using config::ConfigHelper::Instrument;

Instrument instrumentOf(const config::Config& config) {
    return config.getInstrument().value_or(Instrument::getDefault());
}

bool checksHandshake(const Instrument& instrument) {
    return instrument == Instrument::AND || instrument == Instrument::AND_EM;
}

OpenedPort checked(OpenedPort opened, const config::Config& config) {
    if (checksHandshake(instrumentOf(config)))
        opened.warning = WeightWorkerAnd::checkHandshake(*opened.source);
    return opened;
}

} // namespace

OpenedPort openWorkerPort(const config::Config& config) {
    return checked(openPort(config), config);
}

OpenedPort openWorkerPortOn(std::unique_ptr<ByteSource> source, const config::Config& config) {
    return checked(openRecording(std::move(source), config), config);
}

CreatedWorker createWeightWorker(OpenedPort opened, WeightWorkerView& view, const config::Config& config) {
    using config::ConfigHelper::InstrumentType;
    const Instrument instrument = instrumentOf(config);
    CreatedWorker created;
    created.warning = std::move(opened.warning);
    if (instrument.getInstrumentType() == InstrumentType::TEXT)
        created.worker = std::make_unique<WeightWorkerBarcode>(view, config, std::move(opened));
    else if (checksHandshake(instrument))
        created.worker = std::make_unique<WeightWorkerAnd>(view, config, std::move(opened));
    else
        created.worker = std::make_unique<WeightWorker>(view, config, std::move(opened));
    return created;
}

CreatedWorker createWeightWorker(WeightWorkerView& view, const config::Config& config) {
    return createWeightWorker(openWorkerPort(config), view, config);
}

CreatedWorker createWeightWorkerOn(std::unique_ptr<ByteSource> source, WeightWorkerView& view,
                                   const config::Config& config) {
    return createWeightWorker(openWorkerPortOn(std::move(source), config), view, config);
}

} // namespace tarovex::worker
