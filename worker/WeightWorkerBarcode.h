#pragma once

#include "worker/WeightWorker.h"

namespace tarovex::worker {

// The worker for text instruments (barcode readers): the value is always group 1 of the
// match, edited and stripped of the configured characters, but keeps its white space and
// is not formatted as a number. Parity and framing errors are reported with fixed texts.
class WeightWorkerBarcode : public WeightWorker {
    Q_OBJECT

public:
    // As WeightWorker's: opens the port.
    WeightWorkerBarcode(WeightWorkerView& view, const config::Config& config) : WeightWorker(view, config) {}
    WeightWorkerBarcode(WeightWorkerView& view, const config::Config& config,
                        std::unique_ptr<ByteSource> source)
        : WeightWorker(view, config, std::move(source)) {}
    WeightWorkerBarcode(WeightWorkerView& view, const config::Config& config, OpenedPort opened)
        : WeightWorker(view, config, std::move(opened)) {}

protected:
    int valueGroup(const config::ConfigHelper::Instrument&) const override { return 1; }
    ValueProcessor::Kind valueKind() const override { return ValueProcessor::Kind::Text; }
    QString parityErrorText() const override { return QStringLiteral("Parity Error"); }
    QString framingErrorText() const override { return QStringLiteral("Framing Error"); }
};

} // namespace tarovex::worker
