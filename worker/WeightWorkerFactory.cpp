#include "worker/WeightWorkerFactory.h"

#include "worker/WeightWorkerAnd.h"
#include "worker/WeightWorkerBarcode.h"

namespace tarovex::worker {

namespace {

// The worker kind of the preset, reading its port or `source`.
template <typename... Source>
CreatedWorker create(WeightWorkerView& view, const config::Config& config, Source&&... source) {
    using config::ConfigHelper::Instrument;
    using config::ConfigHelper::InstrumentType;
    const Instrument instrument = config.getInstrument().value_or(Instrument::getDefault());
    CreatedWorker created;
    if (instrument.getInstrumentType() == InstrumentType::TEXT) {
        created.worker = std::make_unique<WeightWorkerBarcode>(view, config, std::forward<Source>(source)...);
    } else if (instrument == Instrument::AND || instrument == Instrument::AND_EM) {
        auto worker = std::make_unique<WeightWorkerAnd>(view, config, std::forward<Source>(source)...);
        created.warning = worker->checkHandshake();
        created.worker = std::move(worker);
    } else {
        created.worker = std::make_unique<WeightWorker>(view, config, std::forward<Source>(source)...);
    }
    return created;
}

} // namespace

CreatedWorker createWeightWorker(WeightWorkerView& view, const config::Config& config) {
    return create(view, config);
}

CreatedWorker createWeightWorkerOn(std::unique_ptr<Tarolink::SerialPort> source, WeightWorkerView& view,
                                   const config::Config& config) {
    return create(view, config, std::move(source));
}

} // namespace tarovex::worker
