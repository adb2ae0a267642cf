#include "worker/sound/SoundBot.h"
#include "tests/support/RecordingSound.h"
#include "worker/sound/SoundStart.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using tarovex::worker::SoundBot;
using tarovex::worker::SoundBotOptions;
using tarovex::worker::SoundError;
using tarovex::worker::SoundOutput;
using tarovex::worker::startSound;
using tarovex_test::RecordingSound;
using Sound = tarovex::config::ConfigHelper::Sound;

namespace {

SoundBotOptions inMemory() {
    SoundBotOptions o;
    o.output = SoundBotOptions::Output::Memory;
    return o;
}

int frames(const SoundBot& bot, int ms) {
    return static_cast<int>(bot.sampleRate() * ms / 1000);
}

// The level of each 5 ms window in dB of full scale.
std::vector<double> levels(const std::vector<float>& samples, double rate) {
    const size_t window = static_cast<size_t>(rate / 200);
    std::vector<double> db;
    for (size_t start = 0; start + window <= samples.size(); start += window) {
        double sum = 0;
        for (size_t i = start; i < start + window; ++i)
            sum += double(samples[i]) * samples[i];
        db.push_back(10 * std::log10(sum / window + 1e-12));
    }
    return db;
}

// Where a note starts, in ms: a window at least 9 dB louder than the one before and within
// 20 dB of the loudest (a click is not a note); a rise over several windows counts once.
std::vector<int> onsetsMs(const std::vector<float>& samples, double rate) {
    const std::vector<double> db = levels(samples, rate);
    const double loudest = *std::max_element(db.begin(), db.end());
    std::vector<int> onsets;
    bool rising = false;
    for (size_t i = 0; i < db.size(); ++i) {
        const double before = i == 0 ? -120 : db[i - 1];
        const bool onset = db[i] > loudest - 20 && db[i] - before >= 9;
        if (onset && !rising)
            onsets.push_back(static_cast<int>(i * 5));
        rising = onset;
    }
    return onsets;
}

double peakDb(const std::vector<double>& db, size_t from, size_t to) {
    double peak = -120;
    for (size_t i = from; i < std::min(to, db.size()); ++i)
        peak = std::max(peak, db[i]);
    return peak;
}

// Plays once per entry, each followed by that many milliseconds of rendered sound.
std::vector<float> playAndRender(SoundBot& bot, const std::vector<int>& msAfterEachPlay) {
    std::vector<float> out;
    for (int ms : msAfterEachPlay) {
        bot.play();
        const std::vector<float> part = bot.render(frames(bot, ms));
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

} // namespace

// Each preset is an audible note of its own, starting at once; measured on the samples.
TEST(SoundBot, EveryPresetSoundsItsOwnNote) {
    std::vector<std::vector<float>> starts;
    for (const Sound& sound : Sound::values()) {
        if (sound == Sound::NONE)
            continue;
        SCOPED_TRACE(sound.name().toStdString());
        SoundBot bot(sound.getPercussionNumber(), inMemory());
        const std::vector<float> out = playAndRender(bot, {300});
        EXPECT_EQ(onsetsMs(out, bot.sampleRate()), std::vector<int>{0});
        EXPECT_GT(peakDb(levels(out, bot.sampleRate()), 0, 20), -45);
        starts.emplace_back(out.begin(), out.begin() + frames(bot, 50));
    }
    for (size_t a = 0; a < starts.size(); ++a) {
        for (size_t b = a + 1; b < starts.size(); ++b) {
            double diff = 0, size = 0;
            for (size_t i = 0; i < starts[a].size(); ++i) {
                diff += std::abs(starts[a][i] - starts[b][i]);
                size += std::abs(starts[a][i]);
            }
            EXPECT_GT(diff, size / 10) << "presets " << a + 1 << " and " << b + 1 << " sound alike";
        }
    }
}

TEST(SoundBot, OnePlayIsOneNoteThatDecaysWithinAQuarterSecond) {
    for (const Sound& sound : {Sound::COWBELL, Sound::CLAVES}) {
        SCOPED_TRACE(sound.name().toStdString());
        SoundBot bot(sound.getPercussionNumber(), inMemory());
        const std::vector<float> out = playAndRender(bot, {500});
        const std::vector<double> db = levels(out, bot.sampleRate());
        EXPECT_EQ(onsetsMs(out, bot.sampleRate()), std::vector<int>{0});
        EXPECT_LT(peakDb(db, 50, 100), peakDb(db, 0, 4) - 40) << "still sounding after 250 ms";
    }
}

TEST(SoundBot, ThreePlaysInQuickSuccessionGiveThreeOnsets) {
    SoundBot bot(Sound::COWBELL.getPercussionNumber(), inMemory());
    const std::vector<float> out = playAndRender(bot, {80, 80, 300});
    EXPECT_EQ(onsetsMs(out, bot.sampleRate()), (std::vector<int>{0, 80, 160}));
}

// The note-off comes 125 ms after the note-on, in audio time; a play restarts the note.
TEST(SoundBot, NoteIsHeldFor125MsAndRestartsOnPlay) {
    SoundBot bot(Sound::LOW_AGOGO.getPercussionNumber(), inMemory());
    EXPECT_FALSE(bot.isNoteHeld());
    bot.play();
    bot.render(frames(bot, 120));
    EXPECT_TRUE(bot.isNoteHeld());
    bot.render(frames(bot, 10));
    EXPECT_FALSE(bot.isNoteHeld());
    bot.render(frames(bot, 50));
    bot.play();
    bot.render(frames(bot, 100));
    bot.play(); // before the second note's end: its note-off moves on
    bot.render(frames(bot, 100));
    EXPECT_TRUE(bot.isNoteHeld());
    bot.render(frames(bot, 30));
    EXPECT_FALSE(bot.isNoteHeld());
}

TEST(SoundBot, CloseTwiceAndPlayAfterCloseAreHarmless) {
    SoundBot bot(Sound::CLAVES.getPercussionNumber(), inMemory());
    bot.play();
    bot.close();
    bot.close();
    bot.play();
    EXPECT_TRUE(bot.render(frames(bot, 10)).empty());
    EXPECT_FALSE(bot.isNoteHeld());
}

TEST(SoundBot, FailuresSayWhichPartFailed) {
    QTemporaryDir dir;
    const std::string notSoundfont = dir.filePath("notes.sf2").toStdString();
    std::ofstream(notSoundfont) << "not a soundfont";
    struct Row {
        std::vector<std::string> soundfonts;
        std::vector<std::string> drivers;
        std::vector<std::pair<std::string, std::string>> settings;
        SoundError::Kind kind;
        std::string message;
    };
    const std::string fine = SoundBotOptions::defaultSoundfonts().front();
    const std::vector<Row> rows = {
        {{"/nonexistent/gm.sf2"},
         {},
         {},
         SoundError::Kind::NoSoundfont,
         "No soundfont with the General MIDI percussion set (/nonexistent/gm.sf2: not found); the package "
         "timgm6mb-soundfont provides one"},
        {{notSoundfont},
         {},
         {},
         SoundError::Kind::NoSoundfont,
         "No soundfont with the General MIDI percussion set (" + notSoundfont + ": "},
        {{fine},
         {"alsa"},
         {{"audio.alsa.device", "hw:99,0"}},
         SoundError::Kind::NoAudioDevice,
         "No audio device (alsa: "},
        {{fine},
         {"nosuchdriver", "pulseaudio"},
         {{"audio.pulseaudio.server", "unix:/nonexistent/native"}},
         SoundError::Kind::NoAudioDevice,
         "No audio device (nosuchdriver: not in this FluidSynth; pulseaudio: "},
        {{fine}, {}, {}, SoundError::Kind::NoAudioDevice, "No audio device (no audio driver to try)"},
    };
    for (const Row& row : rows) {
        SoundBotOptions o;
        o.soundfonts = row.soundfonts;
        o.audioDrivers = row.drivers;
        o.settings = row.settings;
        try {
            SoundBot bot(Sound::COWBELL.getPercussionNumber(), o);
            ADD_FAILURE() << "no error for " << row.message;
        } catch (const SoundError& e) {
            EXPECT_EQ(e.kind(), row.kind);
            EXPECT_EQ(std::string(e.what()).substr(0, row.message.size()), row.message) << e.what();
        }
    }
}

// A sound server that takes the connection and never answers must not hold up the start.
TEST(SoundBot, StuckSoundServerEndsTheStartAfterTheTimeout) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("native").toStdString();
    const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    path.copy(addr.sun_path, sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(server, 4), 0);
    SoundBotOptions o;
    o.audioDrivers = {"pulseaudio", "alsa"};
    o.settings = {{"audio.pulseaudio.server", "unix:" + path}};
    o.driverTimeout = std::chrono::milliseconds(300);
    try {
        SoundBot bot(Sound::COWBELL.getPercussionNumber(), o);
        ADD_FAILURE() << "no error";
    } catch (const SoundError& e) {
        EXPECT_EQ(e.kind(), SoundError::Kind::NoAudioDevice);
        EXPECT_STREQ(e.what(), "No audio device (pulseaudio: no answer within 300 ms)");
    }
    ::close(server);
}

TEST(SoundStart, NoneCreatesNothingAndFailuresAreCarried) {
    int built = 0;
    int note = 0;
    auto recording = [&](int n) -> std::unique_ptr<SoundOutput> {
        ++built;
        note = n;
        return std::make_unique<RecordingSound>();
    };
    auto none = startSound(Sound::NONE, recording);
    EXPECT_EQ(none.output, nullptr);
    EXPECT_TRUE(none.error.isEmpty());
    EXPECT_EQ(built, 0);

    auto cowbell = startSound(Sound::COWBELL, recording);
    EXPECT_NE(cowbell.output, nullptr);
    EXPECT_EQ(note, 56);

    auto failed = startSound(Sound::CLAVES, [](int) -> std::unique_ptr<SoundOutput> {
        throw SoundError(SoundError::Kind::NoAudioDevice, "No audio device (alsa: gone)");
    });
    EXPECT_EQ(failed.output, nullptr);
    EXPECT_EQ(failed.error, "No audio device (alsa: gone)");
}
