#pragma once

#include "worker/sound/SoundOutput.h"

namespace tarovex_test {

// A sound output that only counts what it was asked to do, for tests of the logic that
// decides when to play.
class RecordingSound : public tarovex::worker::SoundOutput {
public:
    void play() override {
        if (!closed)
            ++plays;
    }
    void close() override { closed = true; }

    int plays = 0;
    bool closed = false;
};

} // namespace tarovex_test
