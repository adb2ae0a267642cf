#include "config/Instrument.h"
#include "worker/ValueExtractor.h"

#include <gtest/gtest.h>

using tarovex::config::ConfigHelper::Instrument;
using tarovex::worker::ValueExtractor;

// Every sample pair of every preset extracts as stated, through the extraction the
// worker runs: the preset's expression and capture group, on the raw line.
TEST(PresetSamples, EveryPairExtractsAsStated) {
    int pairs = 0;
    for (const Instrument& instrument : Instrument::values()) {
        const ValueExtractor extractor(instrument.getRegEx(), instrument.getCaptureGroup());
        for (const auto& sample : instrument.getTestStrings()) {
            const std::optional<QString> value = extractor.extract(sample.dataLine);
            SCOPED_TRACE(instrument.name().toStdString() + ": " + sample.dataLine.toStdString());
            ASSERT_TRUE(value.has_value());
            EXPECT_EQ(*value, sample.expectedValue);
            ++pairs;
        }
    }
    // 48 listed pairs (the four of AND counted for its two followers too) and the
    // single empty pair of each of the 21 presets without samples.
    EXPECT_EQ(pairs, 48 + 21);
}

// The presets that differ only by name really share their samples and expression.
TEST(PresetSamples, DerivedPresetsAskTheirSource) {
    EXPECT_EQ(Instrument::AND_SIMPLE.getTestStrings(), Instrument::AND.getTestStrings());
    EXPECT_EQ(Instrument::AND_EM.getTestStrings(), Instrument::AND.getTestStrings());
    EXPECT_EQ(Instrument::AND_EM.getRegEx(), Instrument::AND.getRegEx());
    EXPECT_EQ(Instrument::AND.getTestStrings().size(), 4);
    EXPECT_EQ(Instrument::WEDDERBURN.getTestStrings().size(), 6);
}
