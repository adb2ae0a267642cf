#pragma once

#include "config/ConfigHelper.h"
#include "typing/Clipboard.h"
#include "typing/KeySynthesizer.h"
#include "typing/KeyboardLane.h"
#include "typing/KeystrokeQueue.h"
#include "typing/TypingFate.h"
#include "typing/TypingLog.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <stop_token>

namespace tarovex::typing {

// Types the processed values into the focused application: for each value an optional
// start key, its characters through the key map of the declared keyboard, and a terminator
// (every X-th value the second one). Runs on a thread of its own; values arrive through the
// keystroke queue of the run.
//
// Typing errors go to log.logImportantEvent on the keystroke thread; the message of a value
// dropped by a full queue comes on the thread that called putString.
class Keybot {
public:
    Keybot(int keyDelay, int startWith, int endWith, int endWith2, int everyXValues,
           config::ConfigHelper::KeyboardType keyboardType, config::ConfigHelper::KeyMapType keyMapType,
           TypingLog& log, std::unique_ptr<KeySynthesizer> synthesizer, KeystrokeQueue& queue);

    // Queues a value; the empty text is dropped. Never blocks. False when the full queue
    // refused it.
    bool putString(const QString& text, std::uint64_t id = 0);
    // Queues a row (values of several instruments) under one id, typed like one value. An
    // empty row is dropped.
    bool putRow(std::vector<RowPart> row, std::uint64_t id);
    // Hears what became of each value taken from the queue (set before run()).
    void setFateHandler(FateHandler handler) { fates_ = std::move(handler); }
    // Types each value only in its turn on `lane` (set before run()); without one, at once.
    void setLane(std::shared_ptr<KeyboardLane> lane) { lane_ = std::move(lane); }
    // Pastes values through `clipboard` as `mode` says, with the keys `pasteKeys` (set before
    // run()); without one every value is typed.
    void setPaste(config::ConfigHelper::OutputMode mode, Shortcut pasteKeys,
                  std::shared_ptr<Clipboard> clipboard);
    // The shortcut of the paste keys.
    static Shortcut pasteKeys(config::ConfigHelper::PasteKey key);
    // How long the application has to read a pasted text before the clipboard is put back.
    static constexpr std::chrono::milliseconds kPasteSettle{100};
    // The thread body: types queued values until a stop is requested. The request also
    // ends the wait for the next value; `abort` ends the value being typed at once: the
    // keys down are released, the rest is not typed.
    void run(std::stop_token stop, std::stop_token abort = {});
    // The value being typed must be complete by then, or is cut short (a stopped run).
    void finishBy(std::chrono::steady_clock::time_point deadline);
    // Where the output cannot see the keyboard, no value begins before then: a desktop
    // shortcut that asked for it may still be held.
    void settleUntil(std::chrono::steady_clock::time_point until);

    // One value: start key, characters, terminator, into the window that had the focus when
    // it began. It begins once no key is held (so that it does not become a shortcut, nor go
    // to the program that grabbed the held key) and our own window does not have the focus,
    // or is dropped: when a key stays held past the wait limit, or the value grows older
    // than the queue's age limit. It is cut short, its keys released, when the focus moves
    // (to our window too), a stop or abort comes, or a key cannot be typed. Returns the
    // reason it was not typed whole; empty once its last key was sent.
    QLatin1StringView typeValue(const QString& text,
                                KeystrokeQueue::Clock::time_point queuedAt = KeystrokeQueue::Clock::now());
    // A row, as one value: each part's start key, text and terminator in turn, all of it into
    // the one window, whole or cut as a value is.
    QLatin1StringView typeRow(const std::vector<RowPart>& row,
                              KeystrokeQueue::Clock::time_point queuedAt = KeystrokeQueue::Clock::now());
    static constexpr std::chrono::milliseconds kKeyWaitLimit{2000};
    void setKeyWaitLimit(std::chrono::milliseconds limit) { keyWaitLimit_ = limit; }
    void typeStart();
    void typeString(const QString& text);
    void typeEnd();

private:
    bool press(int code);
    void release(int code);
    // Each true once every key of the character went down.
    bool typeAltCode(QChar c, const QList<int>& keys);
    bool typeChord(const QList<int>& keys);
    void typeKey(int code);
    void typeKeysym(int keysym);
    void typeSteps(const std::vector<reading::OutputStep>& steps);
    // A text run of the value: typed, or pasted when the value is.
    void typeText(const QString& text);
    void paste(const QString& text);
    // True once the paste keys were pressed and released.
    bool pressPasteKeys();
    // A template's pause: cut short like a key, by a stop or a focus change.
    void wait(int ms);
    void pause();
    bool mayPress();
    bool focusMoved(const std::exception& e);
    void cut(QLatin1StringView reason);
    QLatin1StringView waitUntilClear(const QString& text, KeystrokeQueue::Clock::time_point queuedAt);
    bool stopping() const;
    QLatin1StringView typeInTurn(const QString& text, const std::vector<RowPart>& row,
                                 KeystrokeQueue::Clock::time_point queuedAt);
    // A value (no row) or a row; `text` stands for either in the log.
    QLatin1StringView typeWhole(const QString& text, const std::vector<RowPart>& row,
                                KeystrokeQueue::Clock::time_point queuedAt);
    // The value in hand is cut short; what it is ends it.
    bool abandoned() const { return !reason_.isEmpty(); }
    void tell(std::vector<TypingFate> fates);
    void reportCannotType(char32_t c, const std::string& why = {});
    void reportStale(const KeystrokeQueue::Stale& stale);
    void reportNotTyped(const QString& text, QLatin1StringView reason);
    QString reasonText(QLatin1StringView reason) const;

    const int keyDelay_;
    const int startWith_;
    const int endWith_;
    const int endWith2_;
    const int everyXValues_;
    int numCounter_ = 0;
    const config::ConfigHelper::Keymap keymap_;
    const QString keyboardName_;
    TypingLog& log_;
    std::unique_ptr<KeySynthesizer> synthesizer_;
    KeystrokeQueue& queue_;
    FateHandler fates_;
    std::shared_ptr<KeyboardLane> lane_;
    std::shared_ptr<Clipboard> clipboard_;
    config::ConfigHelper::OutputMode outputMode_ = config::ConfigHelper::OutputMode::TYPE;
    Shortcut pasteKeys_;
    std::stop_token stop_;
    std::stop_token abort_;
    std::atomic<KeystrokeQueue::Clock::rep> deadline_{KeystrokeQueue::Clock::time_point::max().time_since_epoch().count()};
    std::atomic<KeystrokeQueue::Clock::rep> settleUntil_{0};
    std::chrono::milliseconds keyWaitLimit_ = kKeyWaitLimit;
    // The value in hand: where it goes, how many of its characters went, why it was cut.
    std::optional<KeyTarget> target_;
    int charactersTyped_ = 0;
    bool characterLost_ = false; // the output could not produce the character of a key
    bool pasting_ = false;       // the value's text goes through the clipboard
    bool putAhead_ = false;      // its first text is on the clipboard, not yet pasted
    QLatin1StringView reason_;
};

// The log line for values dropped because they waited too long to be typed.
QString staleValuesMessage(const KeystrokeQueue::Stale& stale, std::chrono::milliseconds maxAge);

} // namespace tarovex::typing
