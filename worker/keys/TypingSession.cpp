#include "worker/keys/TypingSession.h"

#include "worker/keys/InterpretingSynthesizer.h"

#include <stdexcept>

namespace tarovex::worker::keys {

namespace CH = config::ConfigHelper;

TypingSession::TypingSession(const config::Config& config, WeightWorkerView& view, KeyOutputOptions backend,
                             const SessionEnvironment& environment) {
    const CH::KeyboardType keyboard = config.getKeyboardType();
    const auto instrument = config.getInstrument().value_or(CH::Instrument::getDefault());
    backend.keyboardType = keyboard;
    backend.coverage = instrument.getKeyMapType();
    KeyOutputCreation created = createKeyOutput(backend, environment);
    if (!created.output)
        throw std::runtime_error(created.error.toStdString());
    description_ = created.description;
    warnings_ = created.warnings;
    keybot_ = std::make_unique<Keybot>(
        config.getDelayAsInt(), CH::StartWith::getKeyCode(config.getStartWith()),
        CH::OutputTerminator::getKeyCode(config.getOutputTerminator()),
        CH::OutputTerminator::getKeyCode(config.getOutputTerminator2()), config.getEveryXValuesAsInt(),
        keyboard, instrument.getKeyMapType(), view,
        std::make_unique<InterpretingSynthesizer>(keyboard, std::move(created.output)));
}

TypingSession::~TypingSession() {
    stop();
}

void TypingSession::start() {
    if (!thread_.joinable())
        thread_ = std::jthread([this](std::stop_token stop) { keybot_->run(stop); });
}

void TypingSession::stop() {
    if (thread_.joinable()) {
        thread_.request_stop();
        thread_.join();
    }
}

} // namespace tarovex::worker::keys
