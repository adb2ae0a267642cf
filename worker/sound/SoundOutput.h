#pragma once

namespace tarovex::worker {

// The audible confirmation of a typed value: one short percussion note per play(). The
// owner (the main window, the console front end) plays it on its own thread; neither
// operation waits for the sound.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;

    // Starts the note and returns at once; a play while the note still sounds starts it
    // again from the beginning. Harmless after close().
    virtual void play() = 0;
    // Releases the synthesizer and the audio output. A second close() does nothing.
    virtual void close() = 0;
};

} // namespace tarovex::worker
