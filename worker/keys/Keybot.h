#pragma once

#include "config/ConfigHelper.h"
#include "worker/WeightWorkerView.h"
#include "worker/keys/KeySynthesizer.h"
#include "worker/keys/KeystrokeQueue.h"

#include <QString>

#include <chrono>
#include <memory>
#include <stop_token>

namespace tarovex::worker {

// Types the processed values into the focused application: for each value an optional
// start key, its characters through the key map of the declared keyboard, and a terminator
// (every X-th value the second one). Runs on a thread of its own; values arrive through the
// keystroke queue of the run.
//
// Typing errors go to view.logImportantEvent on the keystroke thread; the message of a value
// dropped by a full queue comes on the thread that called putString.
class Keybot {
public:
    Keybot(int keyDelay, int startWith, int endWith, int endWith2, int everyXValues,
           config::ConfigHelper::KeyboardType keyboardType, config::ConfigHelper::KeyMapType keyMapType,
           WeightWorkerView& view, std::unique_ptr<keys::KeySynthesizer> synthesizer, KeystrokeQueue& queue);

    // Queues a value; the empty text is dropped. Never blocks.
    void putString(const QString& text);
    // The thread body: types queued values until a stop is requested. A value being typed
    // is completed first; the request also ends the wait for the next value. `abort` ends
    // the value being typed at once: the keys down are released, the rest is not typed.
    void run(std::stop_token stop, std::stop_token abort = {});

    // One value: start key, characters, terminator. What run() does with each queued text.
    // It first waits, up to the modifier wait limit, until the user holds no modifier key,
    // so that it does not become a shortcut; a stop or abort during that wait drops it.
    void typeValue(const QString& text);
    static constexpr std::chrono::milliseconds kModifierWaitLimit{2000};
    void setModifierWaitLimit(std::chrono::milliseconds limit) { modifierWaitLimit_ = limit; }
    void typeStart();
    void typeString(const QString& text);
    void typeEnd();

private:
    bool press(int code);
    void release(int code);
    void typeAltCode(QChar c, const QList<int>& keys);
    void typeChord(const QList<int>& keys);
    void typeKey(int code);
    void pause();
    bool waitForModifiers();
    bool aborted() const { return abort_.stop_requested(); }
    void reportCannotType(char32_t c);
    void reportStale(const KeystrokeQueue::Stale& stale);

    const int keyDelay_;
    const int startWith_;
    const int endWith_;
    const int endWith2_;
    const int everyXValues_;
    int numCounter_ = 0;
    const config::ConfigHelper::Keymap keymap_;
    const QString keyboardName_;
    WeightWorkerView& view_;
    std::unique_ptr<keys::KeySynthesizer> synthesizer_;
    KeystrokeQueue& queue_;
    std::stop_token stop_;
    std::stop_token abort_;
    std::chrono::milliseconds modifierWaitLimit_ = kModifierWaitLimit;
};

// The log line for values dropped because they waited too long to be typed.
QString staleValuesMessage(const KeystrokeQueue::Stale& stale, std::chrono::milliseconds maxAge);

} // namespace tarovex::worker
