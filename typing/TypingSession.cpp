#include "typing/TypingSession.h"

#include "typing/DataControlClipboard.h"
#include "typing/InterpretingSynthesizer.h"

#include <stdexcept>

namespace tarovex::typing {

namespace CH = config::ConfigHelper;

namespace {

// An output template may type any text of its own beside the value.
CH::KeyMapType coverageOf(const config::Config& config) {
    if (!config.getOutputTemplate().isEmpty())
        return CH::KeyMapType::ALPHANUMERIC_COMPLETE;
    return config.getInstrument().value_or(CH::Instrument::getDefault()).getKeyMapType();
}

} // namespace

TypingSession::Output TypingSession::platformOutput(const config::Config& config, KeyOutputOptions backend,
                                                    const SessionEnvironment& environment) {
    backend.keyboardType = config.getKeyboardType();
    backend.coverage = coverageOf(config);
    backend.remoteSession = config.remoteSession;
    backend.keyDelay = config.getDelayAsInt();
    KeyOutputCreation created = createKeyOutput(backend, environment);
    if (!created.output)
        throw std::runtime_error(created.error.toStdString());
    // On Wayland a window may set the clipboard only while it has the focus, which the
    // application typed into has: the compositor's own clipboard serves window and console.
    std::shared_ptr<Clipboard> clipboard = backend.clipboard;
    if (config.getOutputMode() != CH::OutputMode::TYPE && environment.isWaylandSession())
        clipboard = std::make_shared<DataControlClipboard>(environment.waylandDisplay);
    return {std::make_unique<InterpretingSynthesizer>(backend.keyboardType, std::move(created.output)),
            created.description, created.warnings, std::move(clipboard)};
}

TypingSession::TypingSession(const config::Config& config, TypingLog& log, std::shared_ptr<KeyboardLane> lane,
                             KeyOutputOptions backend, const SessionEnvironment& environment)
    : TypingSession(config, log, std::move(lane), platformOutput(config, std::move(backend), environment)) {}

TypingSession::TypingSession(const config::Config& config, TypingLog& log, std::shared_ptr<KeyboardLane> lane,
                             Output output)
    : TypingSession(config, log, std::move(lane), std::move(output.synthesizer),
                    std::move(output.description)) {
    warnings_ = std::move(output.warnings);
    choosePaste(config, log, output.clipboard);
}

void TypingSession::choosePaste(const config::Config& config, TypingLog& log,
                                const std::shared_ptr<Clipboard>& clipboard) {
    const CH::OutputMode mode = config.getOutputMode();
    if (mode == CH::OutputMode::TYPE)
        return;
    const std::optional<QString> why =
        clipboard ? clipboard->unavailable() : log.text(TypingText::NoClipboard);
    if (!why) {
        keybot_->setPaste(mode, Keybot::pasteKeys(config.getPasteKey()), clipboard);
        return;
    }
    // Without any clipboard, pasting only what the layout lacks is typing as ever: nothing to say.
    if (mode == CH::OutputMode::PASTE || clipboard)
        warnings_.append(log.text(TypingText::PasteUnavailable) + *why);
}

TypingSession::TypingSession(const config::Config& config, TypingLog& log, std::shared_ptr<KeyboardLane> lane,
                             std::unique_ptr<KeySynthesizer> synthesizer, QString description)
    : description_(std::move(description)) {
    const CH::KeyboardType keyboard = config.getKeyboardType();
    keybot_ = std::make_unique<Keybot>(
        config.getDelayAsInt(), CH::StartWith::getKeyCode(config.getStartWith()),
        CH::OutputTerminator::getKeyCode(config.getOutputTerminator()),
        CH::OutputTerminator::getKeyCode(config.getOutputTerminator2()), config.getEveryXValuesAsInt(),
        keyboard, coverageOf(config), log, std::move(synthesizer), queue_);
    keybot_->setLane(std::move(lane));
}

TypingSession::~TypingSession() {
    stop();
    if (thread_.joinable())
        thread_.join();
}

void TypingSession::start(std::function<void()> ended, FateHandler fates) {
    if (started_)
        return;
    started_ = true;
    keybot_->setFateHandler(std::move(fates));
    thread_ = std::jthread([this, ended = std::move(ended)](std::stop_token stop) {
        keybot_->run(stop, abort_.get_token());
        ended_ = true;
        if (ended)
            ended();
    });
}

KeystrokeQueue::Discarded TypingSession::stop() {
    if (!thread_.get_stop_token().stop_requested())
        keybot_->finishBy(std::chrono::steady_clock::now() + kStopGrace);
    thread_.request_stop();
    return queue_.discard();
}

void TypingSession::abandon() {
    stop();
    abort_.request_stop();
}

} // namespace tarovex::typing
