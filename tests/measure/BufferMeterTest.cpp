#include "common/Signals.h"
#include "measure/BufferMeter.h"

#include <gtest/gtest.h>

// The single-result passes must read exactly what the full analyzer reads.
TEST(BufferMeter, ReadsExactlyWhatTheFullAnalyzerReads)
{
    juce::AudioBuffer<float> silence(2, 48000);
    silence.clear();
    struct Case
    {
        const char* name;
        juce::AudioBuffer<float> audio;
        double rate;
    };
    const Case cases[] = {
        { "programme", testsig::programme(2, 48000.0, 12.0), 48000.0 },
        { "five channels", testsig::sine(5, 44100.0, 997.0, -18.0, 5.0), 44100.0 },
        { "silence", silence, 48000.0 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        const auto full = testsig::measure(c.audio, c.rate, 4096);
        float lufs = 0.0f;
        float dBTP = 0.0f;
        ASSERT_TRUE(measureIntegratedLoudness(c.audio, static_cast<int>(c.rate), 4096, {}, lufs));
        ASSERT_TRUE(measureTruePeak(c.audio, static_cast<int>(c.rate), 4096, {}, dBTP));
        EXPECT_EQ(lufs, full.lufs);
        EXPECT_EQ(dBTP, full.truePeak);
    }
}

TEST(BufferMeter, RefusedFormatsAndStopsAnswerFalse)
{
    const auto audio = testsig::sine(2, 48000.0, 1000.0, -20.0, 1.0);
    const auto wide = testsig::sine(65, 48000.0, 1000.0, -20.0, 0.1);
    float value = 0.0f;
    EXPECT_FALSE(measureTruePeak(wide, 48000, 4096, {}, value));
    EXPECT_FALSE(measureIntegratedLoudness(audio, 8, 4096, {}, value));

    int blocks = 0;
    const auto stopAfterTwo = [&] { return ++blocks > 2; };
    EXPECT_FALSE(measureTruePeak(audio, 48000, 4096, stopAfterTwo, value));
    EXPECT_EQ(blocks, 3);
}
