#include "worker/keys/Keybot.h"

#include "config/KeyCodes.h"
#include "config/ResourceBundle.h"
#include "worker/DataLine.h"
#include "worker/WorkerBundle.h"
#include "worker/WorkerMessages.h"
#include "worker/keys/KeyOutput.h"

#include <exception>
#include <thread>

namespace tarovex::worker {
namespace {

using config::KeyCodes::VK_ALT;
using config::KeyCodes::VK_SPACE;

QString message(const std::exception& e) {
    return QString::fromStdString(e.what());
}

// A printable ASCII character as itself, anything else as its decimal code in brackets.
QString readable(char32_t c) {
    if (c >= 0x20 && c <= 0x7E)
        return QString(QChar(char16_t(c)));
    return QStringLiteral("<%1>").arg(quint32(c));
}

} // namespace

Keybot::Keybot(int keyDelay, int startWith, int endWith, int endWith2, int everyXValues,
               config::ConfigHelper::KeyboardType keyboardType, config::ConfigHelper::KeyMapType keyMapType,
               WeightWorkerView& view, std::unique_ptr<keys::KeySynthesizer> synthesizer,
               KeystrokeQueue& queue)
    : keyDelay_(keyDelay), startWith_(startWith), endWith_(endWith), endWith2_(endWith2),
      everyXValues_(everyXValues),
      keymap_(config::ConfigHelper::KeyboardType::getKeymap(keyboardType, keyMapType)),
      keyboardName_(keyboardType.name()), view_(view), synthesizer_(std::move(synthesizer)), queue_(queue) {}

void Keybot::putString(const QString& text) {
    if (text.isEmpty())
        return;
    const KeystrokeQueue::PutResult result = queue_.put(text);
    if (result.report)
        view_.logImportantEvent(config::ResourceBundle::formatPrintf(
            workerBundle().getString(WorkerMessages::KEYSTROKE_QUEUE_FULL),
            {qulonglong(queue_.capacity()), qulonglong(result.droppedInARow)}));
}

void Keybot::run(std::stop_token stop, std::stop_token abort) {
    stop_ = stop;
    abort_ = std::move(abort);
    while (!stop.stop_requested()) {
        KeystrokeQueue::Taken taken = queue_.take(stop);
        if (taken.stale)
            reportStale(*taken.stale);
        if (taken.text)
            typeValue(*taken.text);
    }
}

void Keybot::typeValue(const QString& text) {
    if (!waitForModifiers())
        return;
    typeStart();
    typeString(text);
    queue_.waitWhileHeld(abort_);
    if (!aborted())
        typeEnd();
}

// Polled: no backend tells of a key change on the keystroke thread, and a poll sees a stop
// within one interval. False when a stop or abort ended the wait.
bool Keybot::waitForModifiers() {
    using namespace std::chrono;
    constexpr auto interval = milliseconds(10);
    if (synthesizer_->modifiersHeld() != true)
        return true;
    const auto start = steady_clock::now();
    for (;;) {
        std::this_thread::sleep_for(interval);
        if (stop_.stop_requested() || aborted())
            return false;
        const bool held = synthesizer_->modifiersHeld() == true;
        const auto waited = duration_cast<milliseconds>(steady_clock::now() - start);
        if (!held || waited >= modifierWaitLimit_) {
            const QLatin1StringView key =
                held ? WorkerMessages::MODIFIERS_STILL_HELD : WorkerMessages::MODIFIERS_WAITED;
            const QString text = config::ResourceBundle::formatPrintf(workerBundle().getString(key),
                                                                      {qlonglong(waited.count())});
            if (held)
                view_.logImportantEvent(text);
            else
                view_.logEvent(text);
            return true;
        }
    }
}

void Keybot::pause() {
    // An aborted value is left at once; its keys are still released.
    if (!aborted())
        synthesizer_->delay(keyDelay_);
}

void Keybot::typeStart() {
    if (startWith_ > 0)
        typeKey(startWith_);
}

void Keybot::typeEnd() {
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
    const bool pressed = press(code);
    pause();
    if (pressed)
        release(code);
}

void Keybot::typeString(const QString& text) {
    for (const QChar c : text) {
        // The rest of a value waits, with no key down, while the target has lost the focus
        // to us (a click on Stop does that).
        queue_.waitWhileHeld(abort_);
        if (aborted())
            return;
        const auto found = keymap_.constFind(c);
        if (found == keymap_.cend()) {
            reportCannotType(c.unicode());
            continue;
        }
        if (found->first() == VK_ALT)
            typeAltCode(c, *found);
        else
            typeChord(*found);
    }
}

// Alt held while the keypad digits are struck; the character comes with the release of Alt.
void Keybot::typeAltCode(QChar c, const QList<int>& keys) {
    bool altDown = false;
    int digitDown = 0;
    try {
        synthesizer_->press(VK_ALT);
        altDown = true;
        pause();
        for (qsizetype i = 1; i < keys.size(); ++i) {
            synthesizer_->press(keys[i]);
            digitDown = keys[i];
            pause();
            digitDown = 0;
            synthesizer_->release(keys[i]);
            pause();
        }
        altDown = false;
        synthesizer_->release(VK_ALT);
        pause();
    } catch (const keys::CannotTypeError& e) {
        reportCannotType(e.character);
    } catch (const std::exception& e) {
        view_.logImportantEvent(QStringLiteral("Error pressing ALT key for ") + c + QStringLiteral(" on ") +
                                keyboardName_ + QStringLiteral(" keyboard: ") + message(e));
        // Nothing may stay held after a failure.
        try {
            if (digitDown)
                synthesizer_->release(digitDown);
            if (altDown)
                synthesizer_->release(VK_ALT);
        } catch (const std::exception&) {
        }
    }
    pause();
}

// Modifiers first; a SPACE after the first key is the stroke that completes a dead key and
// comes once the chord is released. A failed press ends the chord: the keys pressed so far
// are released and the rest is not typed, so no wrong character appears and nothing stays down.
void Keybot::typeChord(const QList<int>& keys) {
    QList<int> pressed;
    bool space = false;
    bool failed = false;
    for (qsizetype i = 0; i < keys.size() && !failed && !aborted(); ++i) {
        if (i > 0 && keys[i] == VK_SPACE) {
            space = true;
            continue;
        }
        if (press(keys[i]))
            pressed.append(keys[i]);
        else
            failed = true;
        pause();
    }
    for (qsizetype i = pressed.size() - 1; i >= 0; --i) {
        release(pressed[i]);
        pause();
    }
    if (!space || failed || aborted())
        return;
    try {
        synthesizer_->press(VK_SPACE);
        pause();
        synthesizer_->release(VK_SPACE);
        pause();
    } catch (const keys::CannotTypeError& e) {
        reportCannotType(e.character);
    } catch (const std::exception& e) {
        view_.logImportantEvent(QStringLiteral("Deadkey error: ") + message(e));
    }
}

bool Keybot::press(int code) {
    try {
        synthesizer_->press(code);
        return true;
    } catch (const keys::CannotTypeError& e) {
        // The key went down; only its character could not be produced.
        reportCannotType(e.character);
        return true;
    } catch (const std::exception& e) {
        view_.logImportantEvent(
            QStringLiteral("Error pressing key %1 on %2 keyboard: ").arg(code).arg(keyboardName_) +
            message(e));
        return false;
    }
}

void Keybot::release(int code) {
    try {
        synthesizer_->release(code);
    } catch (const keys::CannotTypeError& e) {
        reportCannotType(e.character);
    } catch (const std::exception& e) {
        view_.logImportantEvent(
            QStringLiteral("Error releasing key %1 on %2 keyboard: ").arg(code).arg(keyboardName_) +
            message(e));
    }
}

QString staleValuesMessage(const KeystrokeQueue::Stale& stale, std::chrono::milliseconds maxAge) {
    return QStringLiteral("%1 values waited longer than %2 s to be typed and were dropped, the newest: %3")
        .arg(stale.count)
        .arg(double(maxAge.count()) / 1000)
        .arg(DataLine::transformControlChars(stale.newest));
}

void Keybot::reportStale(const KeystrokeQueue::Stale& stale) {
    view_.logImportantEvent(staleValuesMessage(stale, queue_.maxAge()));
}

void Keybot::reportCannotType(char32_t c) {
    view_.logImportantEvent(workerBundle().getString(WorkerMessages::CANNOT_TYPE) + readable(c));
}

} // namespace tarovex::worker
