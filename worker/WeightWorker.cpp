#include "worker/WeightWorker.h"

#include "Tarolink/SerialExceptions.h"
#include "config/ResourceBundle.h"
#include "worker/WorkerBundle.h"
#include "worker/WorkerMessages.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <span>
#include <stdexcept>

namespace tarovex::worker {
namespace {

namespace CH = config::ConfigHelper;
using Wait = ByteSource::Wait;

// Undelivered reports at which the loop waits for the owner thread.
constexpr std::size_t kChannelCapacity = 8 * 1024;
constexpr std::size_t kOutboxLines = 8 * 1024;
// The idle wait of a source that cannot signal a lost device ends by itself this often, to
// ask it; data and a stop request end it at once, and a source that signals loss waits
// without a limit.
constexpr int kIdleWaitMs = 1000;
// How much of a dropped over-long line the message shows.
constexpr qsizetype kDroppedLineExcerpt = 40;

QString text(QLatin1StringView key) {
    return workerBundle().getString(key);
}

QString errorText(const std::exception& e) {
    return QStringLiteral("Error [WW]: ") + QString::fromStdString(Tarolink::describe(e));
}

} // namespace

WeightWorker::WeightWorker(WeightWorkerView& view, const config::Config& config, OpenedPort opened)
    : view_(view), config_(config), source_(std::move(opened.source)), endIsStop_(opened.recording),
      channel_([this](Report& report) { deliver(report); }, kChannelCapacity) {
    lineBuffer_.reserve(30);
    if (config_.reconnect && !endIsStop_)
        reconnector_.emplace(config_.getPort());
    view_.setConnectedInGUI(true);
    for (const QString& message : opened.messages)
        view_.logEvent(message);
}

WeightWorker::WeightWorker(WeightWorkerView& view, const config::Config& config)
    : WeightWorker(view, config, openPort(config)) {}

WeightWorker::WeightWorker(WeightWorkerView& view, const config::Config& config,
                           std::unique_ptr<ByteSource> source)
    : WeightWorker(view, config, openRecording(std::move(source), config)) {}

WeightWorker::~WeightWorker() {
    if (thread_.joinable()) {
        thread_.request_stop();
        source_->wakeUp();
        thread_.join();
    }
    try {
        source_->close();
    } catch (const std::exception&) {
        // closed in any case
    }
}

void WeightWorker::start() {
    if (started_)
        return;
    started_ = true;
    thread_ = std::jthread([this](std::stop_token stop) { run(std::move(stop)); });
}

bool WeightWorker::cancel(bool /*mayInterruptIfRunning*/) {
    {
        std::lock_guard lock(stateMutex_);
        if (done_ || taskEnded_ || cancelled_)
            return false;
        cancelled_ = true;
    }
    if (!started_) {
        // Never started: the completion step follows on the next event-loop turn.
        started_ = true;
        channel_.push(Finished{});
        return true;
    }
    thread_.request_stop();
    source_->wakeUp();
    return true;
}

void WeightWorker::interrupt() {
    if (!started_ || !thread_.joinable())
        return;
    {
        std::lock_guard lock(stateMutex_);
        if (taskEnded_)
            return; // it ended for a reason of its own
        interrupted_ = true;
    }
    thread_.request_stop();
    source_->wakeUp();
}

void WeightWorker::send(QByteArray bytes) {
    {
        std::lock_guard lock(sendMutex_);
        toSend_.push_back(std::move(bytes));
    }
    source_->wakeUp();
}

int WeightWorker::valueGroup(const config::ConfigHelper::Instrument& instrument) const {
    return instrument.getCaptureGroup();
}

QString WeightWorker::parityErrorText() const {
    return text(WorkerMessages::PARITY_ERROR);
}

QString WeightWorker::framingErrorText() const {
    return text(WorkerMessages::FRAMING_ERROR);
}

// ---- worker thread -------------------------------------------------------------------

void WeightWorker::run(std::stop_token stop) {
    stop_ = stop;
    try {
        count_ = loop(stop);
    } catch (const std::exception& e) {
        failure_ = QString::fromStdString(Tarolink::describe(e));
    }
    {
        std::lock_guard lock(stateMutex_);
        taskEnded_ = true;
    }
    flushLines();
    channel_.push(Finished{});
}

void WeightWorker::prepare() {
    const CH::Instrument instrument = config_.getInstrument().value_or(CH::Instrument::getDefault());
    extractor_.emplace(ValueExtractor::chooseExpression(config_.getCustomRegEx(), instrument.getRegEx()),
                       valueGroup(instrument));
    processor_.emplace(config_, valueKind());
    terminator_ = config_.getInputTerminator();
    const ByteSource::Capabilities can = source_->capabilities();
    checkParity_ = can.parityErrors;
    checkFraming_ = can.framingErrors;
    idleWaitMs_ = can.signalsLoss ? -1 : kIdleWaitMs;
    count_ = 0;
    parityError_ = framingError_ = false;
}

int WeightWorker::loop(std::stop_token stop) {
    prepare();
    int idleMisses = 0; // waits that promised data no read then gave
    int failures = 0;   // errors in a row with no byte taken in between
    while (!stop.stop_requested()) {
        const std::uint64_t before = bytesTaken_;
        try {
            readAvailable(stop);
            if (stop.stop_requested())
                break;
            sendQueued();
            const Wait waited = source_->waitForData(idleWaitMs_);
            idleWakeUps_.fetch_add(1, std::memory_order_relaxed);
            if (waited == Wait::Gone || (waited == Wait::TimedOut && source_->isGone())) {
                if (reconnect(stop))
                    continue;
                break;
            }
            if (bytesTaken_ != before)
                failures = 0;
            // A driver that keeps saying "data" but hands out none must not make us spin.
            idleMisses = waited == Wait::DataReady && bytesTaken_ == before ? idleMisses + 1 : 0;
            if (idleMisses >= 3)
                pause(stop, std::min(1000, 10 << std::min(idleMisses - 3, 7)));
        } catch (const std::exception& e) {
            // A recording that cannot be read has no later bytes to wait for.
            if (endIsStop_ && dynamic_cast<const Tarolink::PortIOException*>(&e))
                throw;
            log(errorText(e), true);
            // The failed line goes with its error: its bytes must not start the next line.
            // When it failed before its terminator, what is still to come of it goes too.
            if (!lineBuffer_.isEmpty() && lineBuffer_.back() != QChar(char16_t(terminator_)))
                beginDropping(0);
            lineBuffer_.resize(0);
            parityError_ = framingError_ = false;
            bool gone = false;
            try {
                gone = source_->isGone();
            } catch (const std::exception&) {
            }
            if (gone) {
                if (reconnect(stop))
                    continue;
                break;
            }
            // An error that comes back with no byte in between (a failing port) is
            // retried at a falling rate, so it neither spins nor floods the log.
            failures = bytesTaken_ == before ? failures + 1 : 0;
            if (failures > 1)
                pause(stop, std::min(1000, 10 << std::min(failures - 2, 7)));
        }
    }
    if (deviceGone_)
        log(config::ResourceBundle::formatPrintf(text(WorkerMessages::DEVICE_DISCONNECTED),
                                                 {QString::fromStdString(source_->name())}),
            true);
    return count_;
}

// The end of the device: with reconnect, waits for it to come back and returns true to go
// on; else (or when stopped meanwhile) the loop ends.
bool WeightWorker::reconnect(const std::stop_token& stop) {
    if (endIsStop_) {
        endOfInput_ = true;
        return false;
    }
    if (!reconnector_) {
        deviceGone_ = true;
        return false;
    }
    const auto name = [this] { return QString::fromStdString(source_->name()); };
    log(config::ResourceBundle::formatPrintf(text(WorkerMessages::DEVICE_WAITING),
                                             {reconnector_->watchedName()}),
        true);
    // A line cut off by the loss is reported, as at a stop, and never joined to the next
    // device's bytes.
    if (!lineBuffer_.isEmpty()) {
        log(text(WorkerMessages::UNSENT_DATA) + u' ' + DataLine::transformControlChars(lineBuffer_), true);
        lineBuffer_.resize(0);
    }
    skipToTerminator_ = false;
    parityError_ = framingError_ = false;
    blockNext_ = blockEnd_ = 0;
    if (!reconnector_->reopen(*source_, stop))
        return false;
    try {
        if (source_->capabilities().modemLines) {
            source_->setLine(ByteSource::Control::RTS, false);
            source_->setLine(ByteSource::Control::DTR, true);
        }
    } catch (const std::exception& e) {
        log(errorText(e), true);
    }
    log(config::ResourceBundle::formatPrintf(text(WorkerMessages::DEVICE_RECONNECTED), {name()}), true);
    return true;
}

void WeightWorker::readAvailable(const std::stop_token& stop) {
    if (!checkParity_ && !checkFraming_) {
        // No error state to ask byte by byte: the bytes come in blocks, which is much
        // cheaper than a call per byte.
        while (!stop.stop_requested()) {
            if (blockNext_ == blockEnd_) {
                flushLines();
                blockNext_ = 0;
                blockInstant_.reset();
                blockEnd_ = source_->read(block_);
                if (blockEnd_ <= 0) {
                    blockEnd_ = 0;
                    return;
                }
                blockInstant_ = std::chrono::system_clock::now();
            }
            while (blockNext_ < blockEnd_) {
                if (skipToTerminator_) {
                    takeByte(block_[blockNext_++]);
                    continue;
                }
                // Up to the terminator, the line's room or the block's end in one step.
                const std::uint8_t* from = block_ + blockNext_;
                const auto room = std::size_t(kMaxLineLength - lineBuffer_.size());
                const std::size_t span = std::min(std::size_t(blockEnd_ - blockNext_), room);
                const void* end = std::memchr(from, terminator_, span);
                const std::size_t take =
                    end ? std::size_t(static_cast<const std::uint8_t*>(end) - from) + 1 : span;
                lineBuffer_.append(QLatin1StringView(reinterpret_cast<const char*>(from), qsizetype(take)));
                blockNext_ += int(take);
                bytesTaken_ += take;
                if (end) {
                    completeLine();
                    lineBuffer_.resize(0);
                } else if (lineBuffer_.size() >= kMaxLineLength) {
                    dropOverlongLine();
                }
            }
            // A source that never runs dry must not grow the outbox without end: hand it over
            // (waiting while the channel is full) once it holds a few blocks' lines.
            if (outbox_.size() >= kOutboxLines)
                flushLines();
        }
        blockInstant_.reset();
        flushLines();
        return;
    }
    for (int b; !stop.stop_requested() && (b = source_->readByte()) >= 0;) {
        ++bytesTaken_;
        if (skipped(b))
            continue;
        lineBuffer_.append(QChar(char16_t(b)));
        const ByteSource::LineErrors errors = source_->lineErrors();
        if (errors.parity) {
            log(parityErrorText(), true);
            parityError_ = true;
        }
        if (errors.framing) {
            log(framingErrorText(), true);
            framingError_ = true;
        }
        endOfByte(b);
        if (outbox_.size() >= kOutboxLines)
            flushLines();
    }
    flushLines();
}

void WeightWorker::takeByte(int b) {
    ++bytesTaken_;
    if (skipped(b))
        return;
    lineBuffer_.append(QChar(char16_t(b)));
    endOfByte(b);
}

bool WeightWorker::skipped(int b) {
    if (!skipToTerminator_)
        return false;
    if (b == terminator_) {
        skipToTerminator_ = false;
        ++count_; // the terminator of the dropped line still counts
    } else {
        noteDroppedByte();
    }
    return true;
}

void WeightWorker::endOfByte(int b) {
    if (b == terminator_) {
        completeLine();
        lineBuffer_.resize(0);
    } else if (lineBuffer_.size() >= kMaxLineLength) {
        dropOverlongLine();
    }
}

void WeightWorker::completeLine() {
    ++count_;
    const std::optional<QStringView> value = extractor_->extractView(lineBuffer_);
    // The lines of one block all arrived by the time it was read.
    const DataLine::Instant instant = blockInstant_ ? *blockInstant_ : std::chrono::system_clock::now();
    const bool error = parityError_ || framingError_;
    parityError_ = framingError_ = false;
    if (!value) {
        const QString reason = extractor_->hasGroup()
                                   ? QStringLiteral("group %1 of the expression took no part in the match")
                                   : QStringLiteral("the expression has no group %1");
        throw std::runtime_error(
            (QStringLiteral("No value in line %1: ").arg(count_) + reason.arg(extractor_->group()))
                .toStdString());
    }
    QString processed = processor_->process(*value);
    // A copy of its own, so that the buffer keeps its room for the next line.
    outbox_.emplace_back(DataLine(QString(lineBuffer_.constData(), lineBuffer_.size()), std::move(processed),
                                  count_, instant, error));
}

void WeightWorker::dropOverlongLine() {
    log(config::ResourceBundle::formatPrintf(
            text(WorkerMessages::LINE_TOO_LONG),
            {QString::number(lineBuffer_.size()),
             DataLine::transformControlChars(QStringView(lineBuffer_).first(kDroppedLineExcerpt))}),
        true);
    beginDropping(std::uint64_t(lineBuffer_.size()));
    lineBuffer_.resize(0);
    parityError_ = framingError_ = false;
}

void WeightWorker::beginDropping(std::uint64_t alreadyDropped) {
    skipToTerminator_ = true;
    droppedStretch_ = alreadyDropped;
    droppedTotal_ += alreadyDropped;
    lastDropMessage_ = std::chrono::steady_clock::now();
}

void WeightWorker::noteDroppedByte() {
    ++droppedStretch_;
    ++droppedTotal_;
    bool remind = droppedStretch_ % kDropReminderBytes == 0;
    if (!remind && droppedStretch_ % 1024 == 0) { // the clock is asked now and then only
        remind = std::chrono::steady_clock::now() - lastDropMessage_ >= kDropReminderInterval;
    }
    if (remind) {
        lastDropMessage_ = std::chrono::steady_clock::now();
        log(config::ResourceBundle::formatPrintf(text(WorkerMessages::STILL_NO_TERMINATOR),
                                                 {QString::number(droppedStretch_)}),
            true);
    }
}

void WeightWorker::sendQueued() {
    std::vector<QByteArray> queued;
    {
        std::lock_guard lock(sendMutex_);
        queued.swap(toSend_);
    }
    for (const QByteArray& bytes : queued)
        source_->write(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                 static_cast<std::size_t>(bytes.size())));
}

void WeightWorker::pause(const std::stop_token& stop, int ms) {
    std::unique_lock lock(pauseMutex_);
    pauseWake_.wait_for(lock, stop, std::chrono::milliseconds(ms), [] { return false; });
}

void WeightWorker::log(const QString& message, bool important) {
    flushLines();
    channel_.push(Message{important, message}, stop_);
}

void WeightWorker::flushLines() {
    channel_.pushAll(outbox_, stop_);
}

// ---- owner thread ------------------------------------------------------------------

void WeightWorker::deliver(Report& report) {
    if (DataLine* line = std::get_if<DataLine>(&report)) {
        view_.dataLineReceived(std::move(*line));
    } else if (const Message* m = std::get_if<Message>(&report)) {
        if (m->important)
            view_.logImportantEvent(m->text);
        else
            view_.logEvent(m->text);
    } else {
        complete();
    }
}

void WeightWorker::complete() {
    if (thread_.joinable())
        thread_.join();
    if (cancelled_ || endOfInput_)
        outcome_ = Outcome::Cancelled;
    else if (interrupted_)
        outcome_ = Outcome::Interrupted;
    else if (failure_)
        outcome_ = Outcome::Failed;
    else
        outcome_ = Outcome::DeviceGone;

    switch (outcome_) {
    case Outcome::Cancelled:
        view_.logEvent(text(WorkerMessages::STOPPED));
        break;
    case Outcome::Interrupted:
        view_.logEvent(text(WorkerMessages::INTERRUPTED));
        break;
    case Outcome::Failed:
        view_.logImportantEvent(text(WorkerMessages::EXECUTION_EXCEPTION) + *failure_);
        break;
    default:
        result_ = count_;
        break;
    }
    if (droppedTotal_ > 0)
        view_.logImportantEvent(config::ResourceBundle::formatPrintf(text(WorkerMessages::DROPPED_BYTES),
                                                                     {QString::number(droppedTotal_)}));
    if (!lineBuffer_.isEmpty())
        view_.logImportantEvent(text(WorkerMessages::UNSENT_DATA) + u' ' +
                                DataLine::transformControlChars(lineBuffer_));
    try {
        source_->close();
    } catch (const std::exception& e) {
        view_.logImportantEvent(errorText(e));
    }
    {
        std::lock_guard lock(stateMutex_);
        done_ = true;
    }
    view_.setConnectedInGUI(false);
    emit finished();
}

} // namespace tarovex::worker
