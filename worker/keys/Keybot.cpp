#include "worker/keys/Keybot.h"

#include "config/KeyCodes.h"
#include "config/ResourceBundle.h"
#include "worker/WorkerBundle.h"
#include "worker/WorkerMessages.h"
#include "worker/keys/KeyOutput.h"

#include <exception>

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

void Keybot::run(std::stop_token stop) {
    while (!stop.stop_requested()) {
        const std::optional<QString> text = queue_.take(stop);
        if (!text)
            return;
        typeValue(*text);
    }
}

void Keybot::typeValue(const QString& text) {
    typeStart();
    typeString(text);
    typeEnd();
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
    synthesizer_->delay(keyDelay_);
    if (pressed)
        release(code);
}

void Keybot::typeString(const QString& text) {
    for (const QChar c : text) {
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
        synthesizer_->delay(keyDelay_);
        for (qsizetype i = 1; i < keys.size(); ++i) {
            synthesizer_->press(keys[i]);
            digitDown = keys[i];
            synthesizer_->delay(keyDelay_);
            digitDown = 0;
            synthesizer_->release(keys[i]);
            synthesizer_->delay(keyDelay_);
        }
        altDown = false;
        synthesizer_->release(VK_ALT);
        synthesizer_->delay(keyDelay_);
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
    synthesizer_->delay(keyDelay_);
}

// Modifiers first; a SPACE after the first key is the stroke that completes a dead key and
// comes once the chord is released. A failed press ends the chord: the keys pressed so far
// are released and the rest is not typed, so no wrong character appears and nothing stays down.
void Keybot::typeChord(const QList<int>& keys) {
    QList<int> pressed;
    bool space = false;
    bool failed = false;
    for (qsizetype i = 0; i < keys.size() && !failed; ++i) {
        if (i > 0 && keys[i] == VK_SPACE) {
            space = true;
            continue;
        }
        if (press(keys[i]))
            pressed.append(keys[i]);
        else
            failed = true;
        synthesizer_->delay(keyDelay_);
    }
    for (qsizetype i = pressed.size() - 1; i >= 0; --i) {
        release(pressed[i]);
        synthesizer_->delay(keyDelay_);
    }
    if (!space || failed)
        return;
    try {
        synthesizer_->press(VK_SPACE);
        synthesizer_->delay(keyDelay_);
        synthesizer_->release(VK_SPACE);
        synthesizer_->delay(keyDelay_);
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

void Keybot::reportCannotType(char32_t c) {
    view_.logImportantEvent(workerBundle().getString(WorkerMessages::CANNOT_TYPE) + readable(c));
}

} // namespace tarovex::worker
