#include "worker/WeightWorkerFactory.h"

#include "worker/WeightWorkerAnd.h"
#include "worker/WeightWorkerBarcode.h"

namespace tarovex::worker {

CreatedWorker createWeightWorker(WeightWorkerView& view, const config::Config& config) {
    using config::ConfigHelper::Instrument;
    using config::ConfigHelper::InstrumentType;
    const Instrument instrument = config.getInstrument().value_or(Instrument::getDefault());
    CreatedWorker created;
    if (instrument.getInstrumentType() == InstrumentType::TEXT) {
        created.worker = std::make_unique<WeightWorkerBarcode>(view, config);
    } else if (instrument == Instrument::AND || instrument == Instrument::AND_EM) {
        auto worker = std::make_unique<WeightWorkerAnd>(view, config);
        created.warning = worker->checkHandshake();
        created.worker = std::move(worker);
    } else {
        created.worker = std::make_unique<WeightWorker>(view, config);
    }
    return created;
}

} // namespace tarovex::worker
