#include "ConverterHarness.h"
#include "common/Signals.h"

#include <gtest/gtest.h>

namespace
{
constexpr double rate = 48000.0;
}

TEST(Limiter, PeaksBelowTheThresholdPassUnchanged)
{
    AudioConverter converter({});
    auto original = testsig::programme(2, rate, 3.0);
    original.applyGain(0.5f); // peaks at -6 dBFS at most
    auto audio = original;
    converter.applyLimiting(audio, -5.0f, rate);
    EXPECT_EQ(enginetest::maxDifference(audio, original), 0.0f);
}

TEST(Limiter, PullsPeaksDownToTheThreshold)
{
    AudioConverter converter({});
    auto audio = testsig::sine(2, rate, 1000.0, 0.0, 1.0);
    converter.applyLimiting(audio, -12.0f, rate);
    EXPECT_LT(enginetest::samplePeakDb(audio), -11.8f);
    EXPECT_GT(enginetest::samplePeakDb(audio), -12.5f);
}

TEST(Limiter, EveryCallStartsFromAFreshEnvelope)
{
    const auto loud = testsig::sine(2, rate, 100.0, 0.0, 0.5);
    const auto next = testsig::sine(2, rate, 1000.0, -3.0, 0.5);

    AudioConverter used({});
    auto first = loud;
    used.applyLimiting(first, -20.0f, rate);
    auto second = next;
    used.applyLimiting(second, -6.0f, 44100.0);

    AudioConverter fresh({});
    auto reference = next;
    fresh.applyLimiting(reference, -6.0f, 44100.0);

    EXPECT_EQ(enginetest::maxDifference(second, reference), 0.0f);
}

TEST(Limiter, EachChannelHasItsOwnEnvelope)
{
    const auto loud = testsig::sine(1, rate, 1000.0, 0.0, 0.5);
    const auto quiet = testsig::sine(1, rate, 1000.0, -20.0, 0.5);
    const auto louder = testsig::noise(1, rate, -3.0, 0.5);

    juce::AudioBuffer<float> three(3, loud.getNumSamples());
    three.copyFrom(0, 0, loud, 0, 0, loud.getNumSamples());
    three.copyFrom(1, 0, quiet, 0, 0, loud.getNumSamples());
    three.copyFrom(2, 0, louder, 0, 0, loud.getNumSamples());

    AudioConverter converter({});
    converter.applyLimiting(three, -10.0f, rate);

    for (int ch = 0; ch < 3; ++ch)
    {
        const auto& alone = ch == 0 ? loud : ch == 1 ? quiet : louder;
        auto mono = alone;
        AudioConverter({}).applyLimiting(mono, -10.0f, rate);
        juce::AudioBuffer<float> channel(1, three.getNumSamples());
        channel.copyFrom(0, 0, three, ch, 0, three.getNumSamples());
        EXPECT_EQ(enginetest::maxDifference(channel, mono), 0.0f) << ch;
    }
    EXPECT_EQ(three.getSample(1, 1234), quiet.getSample(0, 1234));
}

TEST(LimiterAndGain, BuffersWithNoSamplesAreLeftEmpty)
{
    juce::AudioBuffer<float> empty(2, 0);
    AudioConverter converter({});
    converter.applyLimiting(empty, -6.0f, rate);
    AudioConverter::applyGainOnly(empty, 2.0f);
    EXPECT_EQ(empty.getNumSamples(), 0);
    EXPECT_EQ(empty.getNumChannels(), 2);
}

TEST(Gain, UnityKeepsEverySampleAndZeroSilencesThem)
{
    const auto original = testsig::noise(2, rate, -20.0, 0.5);

    auto unity = original;
    AudioConverter::applyGainOnly(unity, 1.0f);
    EXPECT_EQ(enginetest::maxDifference(unity, original), 0.0f);

    auto zero = original;
    AudioConverter::applyGainOnly(zero, 0.0f);
    EXPECT_EQ(zero.getMagnitude(0, zero.getNumSamples()), 0.0f);
}

TEST(Gain, ClearedBufferIsSkipped)
{
    juce::AudioBuffer<float> cleared(2, 1000);
    cleared.clear();
    AudioConverter::applyGainOnly(cleared, 4.0f);
    EXPECT_TRUE(cleared.hasBeenCleared());
    EXPECT_EQ(cleared.getMagnitude(0, 1000), 0.0f);
}
