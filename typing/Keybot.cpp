#include "typing/Keybot.h"

#include "config/KeyCodes.h"
#include "config/ResourceBundle.h"
#include "reading/DataLine.h"
#include "typing/KeyOutput.h"

#include <algorithm>
#include <exception>
#include <thread>

namespace tarovex::typing {
namespace {

using config::KeyCodes::VK_ALT;
using config::KeyCodes::VK_SPACE;
using OutputMode = config::ConfigHelper::OutputMode;

QString message(const std::exception& e) {
    return QString::fromStdString(e.what());
}

// A printable ASCII character as itself, anything else as its decimal code in brackets.
QString readable(char32_t c) {
    if (c >= 0x20 && c <= 0x7E)
        return QString(QChar(char16_t(c)));
    return QStringLiteral("<%1>").arg(quint32(c));
}

// The first text run of a value or row, as it will be pasted first.
QString firstText(const QString& text, const std::vector<RowPart>& row) {
    if (row.empty())
        return text;
    for (const RowPart& part : row) {
        if (part.steps.empty() && !part.text.isEmpty())
            return part.text;
        for (const reading::OutputStep& step : part.steps)
            if (step.kind == reading::OutputStep::Kind::Text && !step.text.isEmpty())
                return step.text;
    }
    return {};
}

// A row in the log: its values, a space between.
QString rowText(const std::vector<RowPart>& row) {
    QStringList texts;
    for (const RowPart& part : row)
        texts.append(part.text);
    return texts.join(u' ');
}

} // namespace

Keybot::Keybot(int keyDelay, int startWith, int endWith, int endWith2, int everyXValues,
               config::ConfigHelper::KeyboardType keyboardType, config::ConfigHelper::KeyMapType keyMapType,
               TypingLog& log, std::unique_ptr<KeySynthesizer> synthesizer, KeystrokeQueue& queue)
    : keyDelay_(keyDelay), startWith_(startWith), endWith_(endWith), endWith2_(endWith2),
      everyXValues_(everyXValues),
      keymap_(config::ConfigHelper::KeyboardType::getKeymap(keyboardType, keyMapType)),
      keyboardName_(keyboardType.name()), log_(log), synthesizer_(std::move(synthesizer)), queue_(queue) {}

void Keybot::setPaste(OutputMode mode, Shortcut pasteKeys, std::shared_ptr<Clipboard> clipboard) {
    outputMode_ = mode;
    pasteKeys_ = pasteKeys;
    clipboard_ = std::move(clipboard);
}

Shortcut Keybot::pasteKeys(config::ConfigHelper::PasteKey key) {
    using PK = config::ConfigHelper::PasteKey;
    constexpr std::uint32_t v = 0x76, insert = 0xff63; // the X keysyms
    switch (key.ordinal()) {
    case PK::SHIFT_INSERT.ordinal():
        return {.shift = true, .keysym = insert};
    case PK::CTRL_SHIFT_V.ordinal():
        return {.control = true, .shift = true, .keysym = v};
    }
    return {.control = true, .keysym = v};
}

bool Keybot::putString(const QString& text, std::uint64_t id) {
    if (text.isEmpty())
        return true;
    const KeystrokeQueue::PutResult result = queue_.put(text, id);
    if (result.report)
        log_.logImportantEvent(config::ResourceBundle::formatPrintf(
            log_.text(TypingText::QueueFull),
            {qulonglong(queue_.capacity()), qulonglong(result.droppedInARow)}));
    return result.accepted;
}

bool Keybot::putRow(std::vector<RowPart> row, std::uint64_t id) {
    if (row.empty())
        return true;
    QString text = rowText(row); // before the row is moved away
    const KeystrokeQueue::PutResult result = queue_.put(std::move(text), id, std::move(row));
    if (result.report)
        log_.logImportantEvent(config::ResourceBundle::formatPrintf(
            log_.text(TypingText::QueueFull),
            {qulonglong(queue_.capacity()), qulonglong(result.droppedInARow)}));
    return result.accepted;
}

void Keybot::finishBy(std::chrono::steady_clock::time_point deadline) {
    deadline_ = deadline.time_since_epoch().count();
}

void Keybot::settleUntil(std::chrono::steady_clock::time_point until) {
    settleUntil_ = until.time_since_epoch().count();
}

bool Keybot::stopping() const {
    return abort_.stop_requested() ||
           KeystrokeQueue::Clock::now().time_since_epoch().count() >= deadline_.load();
}

void Keybot::tell(std::vector<TypingFate> fates) {
    if (fates_ && !fates.empty())
        fates_(std::move(fates));
}

void Keybot::run(std::stop_token stop, std::stop_token abort) {
    stop_ = stop;
    abort_ = std::move(abort);
    while (!stop.stop_requested()) {
        KeystrokeQueue::Taken taken = queue_.take(stop);
        if (taken.stale)
            reportStale(*taken.stale);
        std::vector<TypingFate> fates;
        for (const std::uint64_t id : taken.expired)
            fates.push_back({id, reading::DropReason::AGE});
        tell(std::move(fates));
        if (taken.text)
            tell({{taken.id, typeInTurn(*taken.text, taken.row, taken.queuedAt)}});
    }
}

QLatin1StringView Keybot::typeInTurn(const QString& text, const std::vector<RowPart>& row,
                                     KeystrokeQueue::Clock::time_point queuedAt) {
    if (!lane_)
        return typeWhole(text, row, queuedAt);
    if (!lane_->acquire(stop_))
        return reading::DropReason::STOP;
    struct Turn {
        KeyboardLane& lane;
        ~Turn() { lane.release(); }
    } turn{*lane_};
    return typeWhole(text, row, queuedAt);
}

QLatin1StringView Keybot::typeValue(const QString& text, KeystrokeQueue::Clock::time_point queuedAt) {
    return typeWhole(text, {}, queuedAt);
}

QLatin1StringView Keybot::typeRow(const std::vector<RowPart>& row,
                                  KeystrokeQueue::Clock::time_point queuedAt) {
    return typeWhole(rowText(row), row, queuedAt);
}

QLatin1StringView Keybot::typeWhole(const QString& text, const std::vector<RowPart>& row,
                                    KeystrokeQueue::Clock::time_point queuedAt) {
    reason_ = {};
    charactersTyped_ = 0;
    target_.reset();
    // A character the keyboard type or the desktop's layout lacks would leave a wrong value:
    // nothing of it is typed, unless it may be pasted. Control characters are named keys, on
    // every layout. A pasted value does not depend on the layout.
    const bool mayPaste = clipboard_ && outputMode_ != OutputMode::TYPE;
    pasting_ = mayPaste && outputMode_ == OutputMode::PASTE;
    QString typed = row.empty() ? text : QString();
    for (const RowPart& part : row) {
        if (part.steps.empty())
            typed += part.text;
        for (const reading::OutputStep& step : part.steps)
            typed += step.text;
    }
    std::vector<std::pair<char32_t, std::string>> lacking;
    for (const QChar c : pasting_ ? QString() : typed) {
        if (!keymap_.contains(c))
            lacking.emplace_back(c.unicode(), std::string());
        else if (c.unicode() >= 0x20)
            if (const auto why = synthesizer_->cannotType(c.unicode()))
                lacking.emplace_back(c.unicode(), *why);
    }
    if (!lacking.empty() && mayPaste) {
        pasting_ = true;
        log_.logEvent(log_.text(TypingText::PastedUntypeable) + readable(lacking.front().first));
    } else if (!lacking.empty()) {
        for (const auto& [c, why] : lacking)
            reportCannotType(c, why);
        reportNotTyped(text, reading::DropReason::TYPING_FAILED);
        return reading::DropReason::TYPING_FAILED;
    }
    if (const QLatin1StringView why = waitUntilClear(text, queuedAt); !why.isEmpty())
        return why;
    target_ = synthesizer_->target();
    // The first text goes on the clipboard before any key: a clipboard that refuses it drops the
    // value whole.
    if (const QString first = pasting_ ? firstText(text, row) : QString(); !first.isEmpty()) {
        if (const auto why = clipboard_->put(first)) {
            log_.logImportantEvent(log_.text(TypingText::PasteFailed) + *why);
            reportNotTyped(text, reading::DropReason::TYPING_FAILED);
            target_.reset();
            return reading::DropReason::TYPING_FAILED;
        }
        putAhead_ = true;
    }
    if (row.empty()) {
        typeStart();
        typeText(text);
        typeEnd();
    }
    for (const RowPart& part : row) {
        if (!part.steps.empty()) {
            typeSteps(part.steps);
            continue;
        }
        if (part.startKey > 0)
            typeKey(part.startKey);
        typeText(part.text);
        if (part.endKey > 0)
            typeKey(part.endKey);
    }
    if (std::exchange(putAhead_, false)) // cut short before its paste
        clipboard_->restore();
    const QLatin1StringView why = std::exchange(reason_, {});
    if (!why.isEmpty())
        reportNotTyped(text, why);
    target_.reset();
    return why;
}

// Polled: no backend tells of a key or focus change on the keystroke thread, and a poll
// sees a stop within one interval. Our own window having the focus is waited out up to the
// value's age limit, a held key up to the key wait limit.
QLatin1StringView Keybot::waitUntilClear(const QString& text, KeystrokeQueue::Clock::time_point queuedAt) {
    using namespace std::chrono;
    using Clock = KeystrokeQueue::Clock;
    constexpr auto interval = milliseconds(10);
    const auto start = Clock::now();
    std::optional<Clock::time_point> keysSince;
    bool keysWaited = false;
    for (;;) {
        if (stop_.stop_requested() || stopping())
            return reading::DropReason::STOP;
        const auto now = Clock::now();
        const std::optional<bool> held = synthesizer_->keysHeld();
        const bool keys = held ? *held : now.time_since_epoch().count() < settleUntil_.load();
        const auto target = synthesizer_->target();
        const bool ours = queue_.isHeld() || (target && target->ours);
        keysWaited |= keys;
        if (!keys && !ours) {
            if (keysWaited)
                log_.logEvent(config::ResourceBundle::formatPrintf(
                    log_.text(TypingText::KeysWaited),
                    {qlonglong(duration_cast<milliseconds>(now - start).count())}));
            return {};
        }
        if (!keys)
            keysSince.reset();
        else if (!keysSince)
            keysSince = now;
        if (keysSince && now - *keysSince >= keyWaitLimit_) {
            log_.logImportantEvent(config::ResourceBundle::formatPrintf(
                log_.text(TypingText::KeysStillHeld),
                {qlonglong(duration_cast<milliseconds>(now - *keysSince).count()),
                 reading::DataLine::transformControlChars(text)}));
            return reading::DropReason::KEYS_HELD;
        }
        if (now - queuedAt >= queue_.maxAge()) {
            reportStale({1, text});
            return reading::DropReason::AGE;
        }
        std::this_thread::sleep_for(interval);
    }
}

// Before every key: the value goes on only into the window it began in, with no stop.
bool Keybot::mayPress() {
    if (abandoned())
        return false;
    if (stopping())
        cut(reading::DropReason::STOP);
    else if (queue_.isHeld())
        cut(reading::DropReason::FOCUS_CHANGED);
    else if (target_) {
        const auto now = synthesizer_->target();
        if (!now || !(*now == *target_) || now->ours)
            cut(reading::DropReason::FOCUS_CHANGED);
    }
    return !abandoned();
}

void Keybot::cut(QLatin1StringView reason) {
    if (!abandoned())
        reason_ = reason;
}

void Keybot::pause() {
    // A value being cut short is left at once; its keys are still released.
    if (stopping())
        cut(reading::DropReason::STOP);
    if (!abandoned())
        synthesizer_->delay(keyDelay_);
}

void Keybot::typeStart() {
    if (startWith_ > 0)
        typeKey(startWith_);
}

void Keybot::typeEnd() {
    if (abandoned())
        return;
    if (everyXValues_ > 1 && ++numCounter_ == everyXValues_) {
        numCounter_ = 0;
        if (endWith2_ > 0)
            typeKey(endWith2_);
        return;
    }
    if (endWith_ > 0)
        typeKey(endWith_);
}

void Keybot::typeKey(int code) {
    if (!mayPress())
        return;
    const bool pressed = press(code);
    pause();
    if (pressed)
        release(code);
}

void Keybot::typeKeysym(int keysym) {
    if (!mayPress())
        return;
    try {
        synthesizer_->typeKeysym(std::uint32_t(keysym));
    } catch (const std::exception& e) {
        if (!focusMoved(e))
            log_.logImportantEvent(QStringLiteral("Error pressing key %1 on %2 keyboard: ")
                                       .arg(reading::OutputTemplate::keysymName(keysym), keyboardName_) +
                                   message(e));
        cut(reading::DropReason::TYPING_FAILED);
        return;
    }
    pause();
}

void Keybot::wait(int ms) {
    using namespace std::chrono;
    const auto until = steady_clock::now() + milliseconds(ms);
    while (mayPress()) {
        const auto left = until - steady_clock::now();
        if (left <= steady_clock::duration::zero())
            return;
        std::this_thread::sleep_for(std::min<steady_clock::duration>(left, milliseconds(10)));
    }
}

void Keybot::typeSteps(const std::vector<reading::OutputStep>& steps) {
    using Kind = reading::OutputStep::Kind;
    for (const reading::OutputStep& step : steps) {
        if (abandoned())
            return;
        switch (step.kind) {
        case Kind::Text:
            typeText(step.text);
            break;
        case Kind::Key:
            typeKey(step.number);
            break;
        case Kind::Keysym:
            typeKeysym(step.number);
            break;
        case Kind::Delay:
            wait(step.number);
            break;
        }
    }
}

void Keybot::typeText(const QString& text) {
    if (pasting_)
        paste(text);
    else
        typeString(text);
}

// The application reads the clipboard when the paste keys reach it, so what the clipboard held
// goes back only after a settle; also when the keys were cut short, as they may have pasted.
void Keybot::paste(const QString& text) {
    if (text.isEmpty() || !mayPress())
        return;
    if (std::exchange(putAhead_, false))
        ;
    else if (const auto why = clipboard_->put(text)) {
        log_.logImportantEvent(log_.text(TypingText::PasteFailed) + *why);
        cut(reading::DropReason::TYPING_FAILED);
        return;
    }
    const bool pasted = pressPasteKeys();
    std::this_thread::sleep_for(kPasteSettle);
    clipboard_->restore();
    if (pasted)
        charactersTyped_ += int(text.size());
}

// Checked like any key; the output presses and releases the whole shortcut itself.
bool Keybot::pressPasteKeys() {
    if (!mayPress())
        return false;
    try {
        synthesizer_->pressShortcut(pasteKeys_);
    } catch (const std::exception& e) {
        if (!focusMoved(e))
            log_.logImportantEvent(
                QStringLiteral("Error pressing the paste keys on %1 keyboard: ").arg(keyboardName_) +
                message(e));
        cut(reading::DropReason::TYPING_FAILED);
        return false;
    }
    pause();
    return true;
}

void Keybot::typeString(const QString& text) {
    for (const QChar c : text) {
        if (!mayPress())
            return;
        const auto found = keymap_.constFind(c);
        if (found == keymap_.cend()) {
            reportCannotType(c.unicode());
            continue;
        }
        // Counted once all its keys went down: then it is in the application.
        if (found->first() == VK_ALT ? typeAltCode(c, *found) : typeChord(*found))
            ++charactersTyped_;
    }
}

// Alt held while the keypad digits are struck; the character comes with the release of Alt.
bool Keybot::typeAltCode(QChar c, const QList<int>& keys) {
    if (!mayPress())
        return false;
    bool complete = false;
    bool altDown = false;
    int digitDown = 0;
    try {
        synthesizer_->press(VK_ALT);
        altDown = true;
        pause();
        for (qsizetype i = 1; i < keys.size() && mayPress(); ++i) {
            synthesizer_->press(keys[i]);
            digitDown = keys[i];
            pause();
            digitDown = 0;
            synthesizer_->release(keys[i]);
            pause();
        }
        complete = !abandoned();
        altDown = false;
        synthesizer_->release(VK_ALT);
        pause();
    } catch (const std::exception& e) {
        if (const auto* cannot = dynamic_cast<const CannotTypeError*>(&e))
            reportCannotType(cannot->character);
        else if (focusMoved(e))
            ;
        else
            log_.logImportantEvent(QStringLiteral("Error pressing ALT key for ") + c + QStringLiteral(" on ") +
                                    keyboardName_ + QStringLiteral(" keyboard: ") + message(e));
        cut(reading::DropReason::TYPING_FAILED); // a moved focus was told first
        // Nothing may stay held after a failure.
        try {
            if (digitDown)
                synthesizer_->release(digitDown);
            if (altDown)
                synthesizer_->release(VK_ALT);
        } catch (const std::exception&) {
        }
        complete = false;
    }
    pause();
    return complete;
}

// Modifiers first; a SPACE after the first key is the stroke that completes a dead key and
// comes once the chord is released. A failed press, a moved focus or a stop ends the chord:
// the keys pressed so far are released and the rest of the value is not typed, so no wrong
// character appears and nothing stays down.
bool Keybot::typeChord(const QList<int>& keys) {
    QList<int> pressed;
    bool space = false;
    characterLost_ = false;
    for (qsizetype i = 0; i < keys.size() && mayPress(); ++i) {
        if (i > 0 && keys[i] == VK_SPACE) {
            space = true;
            continue;
        }
        if (press(keys[i]))
            pressed.append(keys[i]);
        pause();
    }
    const bool allDown = !characterLost_ && pressed.size() + (space ? 1 : 0) == keys.size();
    for (qsizetype i = pressed.size() - 1; i >= 0; --i) {
        release(pressed[i]);
        pause();
    }
    if (!space)
        return allDown;
    if (!mayPress())
        return false;
    try {
        synthesizer_->press(VK_SPACE);
        pause();
        synthesizer_->release(VK_SPACE);
        pause();
        return allDown;
    } catch (const CannotTypeError& e) {
        reportCannotType(e.character);
        cut(reading::DropReason::TYPING_FAILED);
    } catch (const std::exception& e) {
        if (!focusMoved(e))
            log_.logImportantEvent(QStringLiteral("Deadkey error: ") + message(e));
        cut(reading::DropReason::TYPING_FAILED);
    }
    return false;
}

// False when the key did not go down; the value is then cut short either way, as it would
// lack a character.
bool Keybot::press(int code) {
    try {
        synthesizer_->press(code);
        return true;
    } catch (const CannotTypeError& e) {
        // The key went down; only its character could not be produced.
        reportCannotType(e.character);
        cut(reading::DropReason::TYPING_FAILED);
        characterLost_ = true;
        return true;
    } catch (const std::exception& e) {
        if (!focusMoved(e))
            log_.logImportantEvent(
                QStringLiteral("Error pressing key %1 on %2 keyboard: ").arg(code).arg(keyboardName_) +
                message(e));
        cut(reading::DropReason::TYPING_FAILED);
        return false;
    }
}

void Keybot::release(int code) {
    try {
        synthesizer_->release(code);
    } catch (const CannotTypeError& e) {
        reportCannotType(e.character);
        cut(reading::DropReason::TYPING_FAILED);
    } catch (const std::exception& e) {
        if (!focusMoved(e))
            log_.logImportantEvent(
                QStringLiteral("Error releasing key %1 on %2 keyboard: ").arg(code).arg(keyboardName_) +
                message(e));
    }
}

// A key the output held back because the focus had just left the value's window: the value
// is cut as a moved focus, not as a failure.
bool Keybot::focusMoved(const std::exception& e) {
    if (!dynamic_cast<const FocusMovedError*>(&e))
        return false;
    cut(reading::DropReason::FOCUS_CHANGED);
    return true;
}

QString staleValuesMessage(const KeystrokeQueue::Stale& stale, std::chrono::milliseconds maxAge) {
    return QStringLiteral("%1 values waited longer than %2 s to be typed and were dropped, the newest: %3")
        .arg(stale.count)
        .arg(double(maxAge.count()) / 1000)
        .arg(reading::DataLine::transformControlChars(stale.newest));
}

void Keybot::reportStale(const KeystrokeQueue::Stale& stale) {
    log_.logImportantEvent(staleValuesMessage(stale, queue_.maxAge()));
}

QString Keybot::reasonText(QLatin1StringView reason) const {
    namespace DropReason = reading::DropReason;
    return log_.text(reason == DropReason::STOP            ? TypingText::WhyStop
                     : reason == DropReason::FOCUS_CHANGED ? TypingText::WhyFocusChanged
                                                           : TypingText::WhyTypingFailed);
}

void Keybot::reportNotTyped(const QString& text, QLatin1StringView reason) {
    const QString value = reading::DataLine::transformControlChars(text);
    if (charactersTyped_ == 0)
        log_.logImportantEvent(config::ResourceBundle::formatPrintf(log_.text(TypingText::ValueDropped),
                                                                    {value, reasonText(reason)}));
    else
        log_.logImportantEvent(config::ResourceBundle::formatPrintf(
            log_.text(TypingText::ValueCut), {value, qlonglong(charactersTyped_), reasonText(reason)}));
}

void Keybot::reportCannotType(char32_t c, const std::string& why) {
    QString line = log_.text(TypingText::CannotType) + readable(c);
    if (!why.empty())
        line += QStringLiteral(" (%1)").arg(QString::fromStdString(why));
    log_.logImportantEvent(line);
}

} // namespace tarovex::typing
