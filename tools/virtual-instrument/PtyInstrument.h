#pragma once

#include <string>

// The device side of a simulated serial instrument: a pseudo-terminal whose slave path a
// serial program opens as its port. Writes wait for room (never forever: a stop request
// ends the wait), what the program sends back is read and dropped, and an absent reader
// is no error. Stop requests come from signals through a self-pipe.
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

    // Writes all of `bytes`, waiting while the reader is behind. False when stopped first.
    bool write(const std::string& bytes);
    // Sleeps `ms` milliseconds (draining input meanwhile); false when stopped first.
    bool pause(int ms);
    bool stopped() const;
    // Waits until the reader has taken every byte sent; false when stopped first.
    bool waitUntilTaken();

    // Installs SIGINT/SIGTERM handlers that end waits at once.
    static void installStopSignals();

private:
    bool waitFor(short events, int timeoutMs);
    void drainInput();

    int master_ = -1;
    int slaveHold_ = -1;
    std::string slavePath_;
    std::string linkPath_;
};
