#pragma once

#include <string>

// The device side of a simulated serial instrument: a pseudo-terminal whose slave path a
// serial program opens as its port. Writes wait until a program has the port open and
// there is room (never forever: a stop request ends the wait), what the program sends
// back is kept for takeReceived() (its last 4 KiB). Stop requests come from signals through a self-pipe.
//
// We hold the slave open ourselves, to put the line in raw mode before anybody reads and
// to see how much the reader has not taken yet; so the master never sees a hang-up, and
// the reader's opens and closes are watched through inotify on the slave instead.
class PtyInstrument {
public:
    // Opens the pseudo-terminal; throws std::runtime_error on failure.
    PtyInstrument();
    // Closes it and removes the link, if one was made.
    ~PtyInstrument();
    PtyInstrument(const PtyInstrument&) = delete;
    PtyInstrument& operator=(const PtyInstrument&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    // Makes `path` a symbolic link to the slave; throws std::runtime_error on failure.
    void link(const std::string& path);

    // Writes all of `bytes` to one reader, waiting for a reader and for room. When the
    // reader closes the port midway, what it left unread is dropped and the whole of
    // `bytes` goes to the next one. False when stopped first.
    bool write(const std::string& bytes);
    // Sleeps `ms` milliseconds (draining input meanwhile), or with `untilReceived` until
    // received bytes wait; false when stopped first.
    bool pause(long long ms, bool untilReceived = false);
    // The bytes the program sent since the last call.
    std::string takeReceived();
    bool stopped() const;
    // Waits until the reader has taken every byte sent, or has closed the port; false
    // when stopped first.
    bool waitUntilTaken();
    // Whether a program other than us has the port open (as far as we have looked).
    bool readerPresent() const { return readers_ > 0; }

    // Installs SIGINT/SIGTERM/SIGHUP handlers that end waits at once.
    static void installStopSignals();

private:
    bool waitFor(short events, int timeoutMs);
    bool waitForReader();
    void drainInput();
    void readOpenEvents();

    int master_ = -1;
    int slaveHold_ = -1;
    int watch_ = -1;
    int readers_ = 0;
    // Counts the readers that went away, so that a write can tell it lost its reader.
    unsigned long departures_ = 0;
    static constexpr std::size_t kReceivedKept = 4096;
    std::string received_;
    std::string slavePath_;
    std::string linkPath_;
};
