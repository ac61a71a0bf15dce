#include "common/Signals.h"
#include "measure/LoudnessAnalyzer.h"
#include "measure/TruePeak.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace
{
constexpr float minusInfinity = -std::numeric_limits<float>::infinity();

juce::AudioBuffer<float> silence(int channels, double sampleRate, double seconds)
{
    juce::AudioBuffer<float> buffer(channels, static_cast<int>(seconds * sampleRate));
    buffer.clear();
    return buffer;
}

// One sine per channel, each at its own level.
juce::AudioBuffer<float> sinePerChannel(const std::vector<double>& peakDbs, double sampleRate, double seconds)
{
    const int channels = static_cast<int>(peakDbs.size());
    juce::AudioBuffer<float> buffer(channels, static_cast<int>(seconds * sampleRate));
    for (int ch = 0; ch < channels; ++ch)
        buffer.copyFrom(ch, 0, testsig::sine(1, sampleRate, 1000.0, peakDbs[static_cast<size_t>(ch)], seconds), 0, 0,
                        buffer.getNumSamples());
    return buffer;
}

// A sine of the given linear peak amplitude with 10 ms fades, as the true-peak
// test signals are built.
juce::AudioBuffer<float> truePeakSignal(double sampleRate, double frequency, double phaseDegrees, double amplitude)
{
    auto buffer = testsig::sine(2, sampleRate, frequency, 20.0 * std::log10(amplitude), 2.0, phaseDegrees);
    testsig::fadeEnds(buffer, sampleRate, 0.01);
    return buffer;
}

std::vector<float> interleave(const juce::AudioBuffer<float>& buffer)
{
    const int channels = buffer.getNumChannels();
    std::vector<float> data(static_cast<size_t>(channels * buffer.getNumSamples()));
    for (int i = 0; i < buffer.getNumSamples(); ++i)
        for (int ch = 0; ch < channels; ++ch)
            data[static_cast<size_t>(i * channels + ch)] = buffer.getSample(ch, i);
    return data;
}
} // namespace

// ---- EBU Tech 3341 conformance, fed block by block -----------------------

struct LoudnessCase
{
    std::string name;
    double sampleRate;
    int blockSize;
    std::function<juce::AudioBuffer<float>(double)> signal;
    double expectedLufs;
};

void PrintTo(const LoudnessCase& c, std::ostream* os)
{
    *os << c.name;
}

class Tech3341Loudness : public ::testing::TestWithParam<LoudnessCase>
{
};

TEST_P(Tech3341Loudness, ReadsWithinATenthOfAnLU)
{
    const auto& c = GetParam();
    const auto reading = testsig::measure(c.signal(c.sampleRate), c.sampleRate, c.blockSize);
    EXPECT_NEAR(reading.lufs, c.expectedLufs, 0.1);
}

namespace
{
LoudnessCase stereoSegments(const std::string& name, double rate, std::vector<testsig::Segment> segments,
                            int blockSize = 8192)
{
    return { name, rate, blockSize,
             [segments](double sampleRate) { return testsig::sineSegments(2, sampleRate, segments); }, -23.0 };
}

std::vector<LoudnessCase> tech3341Cases()
{
    std::vector<LoudnessCase> cases;
    for (const double rate : { 44100.0, 48000.0, 96000.0 })
    {
        const auto suffix = std::to_string(static_cast<int>(rate));
        cases.push_back(stereoSegments("case1_" + suffix, rate, { { -23.0, 20.0 } }));
        auto case2 = stereoSegments("case2_" + suffix, rate, { { -33.0, 20.0 } });
        case2.expectedLufs = -33.0;
        cases.push_back(case2);
    }
    cases.push_back(stereoSegments("case3", 48000.0, { { -36.0, 10.0 }, { -23.0, 60.0 }, { -36.0, 10.0 } }));
    cases.push_back(stereoSegments(
        "case4", 48000.0, { { -72.0, 10.0 }, { -36.0, 10.0 }, { -23.0, 60.0 }, { -36.0, 10.0 }, { -72.0, 10.0 } }));
    cases.push_back(stereoSegments("case5", 48000.0, { { -26.0, 20.0 }, { -20.0, 20.1 }, { -26.0, 20.0 } }));
    // Odd block sizes must not matter.
    cases.push_back(stereoSegments("case5_blocks1000", 48000.0, { { -26.0, 20.0 }, { -20.0, 20.1 }, { -26.0, 20.0 } },
                                   1000));
    cases.push_back({ "case6_five_channels", 48000.0, 4096,
                      [](double rate) { return sinePerChannel({ -28.0, -28.0, -24.0, -30.0, -30.0 }, rate, 20.0); },
                      -23.0 });
    return cases;
}
} // namespace

INSTANTIATE_TEST_SUITE_P(Conformance, Tech3341Loudness, ::testing::ValuesIn(tech3341Cases()),
                         [](const auto& test) { return test.param.name; });

struct TruePeakCase
{
    std::string name;
    double frequencyDivisor; // the sine is at fs / divisor
    double phaseDegrees;
    double amplitude;
    double expectedDbtp;
};

void PrintTo(const TruePeakCase& c, std::ostream* os)
{
    *os << c.name;
}

class Tech3341TruePeak : public ::testing::TestWithParam<TruePeakCase>
{
};

TEST_P(Tech3341TruePeak, ReadsWithinPlusPoint2MinusPoint4)
{
    const auto& c = GetParam();
    constexpr double rate = 48000.0;
    const auto reading = testsig::measure(truePeakSignal(rate, rate / c.frequencyDivisor, c.phaseDegrees, c.amplitude),
                                          rate, 8192);
    EXPECT_LE(reading.truePeak, c.expectedDbtp + 0.2);
    EXPECT_GE(reading.truePeak, c.expectedDbtp - 0.4);
}

INSTANTIATE_TEST_SUITE_P(Conformance, Tech3341TruePeak,
                         ::testing::Values(TruePeakCase { "case15", 4.0, 0.0, 0.50, -6.0 },
                                           TruePeakCase { "case16", 4.0, 45.0, 0.50, -6.0 },
                                           TruePeakCase { "case17", 6.0, 60.0, 0.50, -6.0 },
                                           TruePeakCase { "case18", 8.0, 67.5, 0.50, -6.0 },
                                           TruePeakCase { "case19", 4.0, 45.0, 1.41, 3.0 }),
                         [](const auto& test) { return test.param.name; });

struct KWeightingPoint
{
    double frequency;
    double weightDb;
};

void PrintTo(const KWeightingPoint& p, std::ostream* os)
{
    *os << p.frequency << " Hz";
}

class KWeighting : public ::testing::TestWithParam<KWeightingPoint>
{
};

TEST_P(KWeighting, SineCompensatedForTheCurveReadsMinus23)
{
    const auto& p = GetParam();
    constexpr double rate = 48000.0;
    const auto signal = testsig::sine(2, rate, p.frequency, -23.0 + 0.691 - p.weightDb, 20.0);
    EXPECT_NEAR(testsig::measure(signal, rate).lufs, -23.0, 0.1);
}

INSTANTIATE_TEST_SUITE_P(Conformance, KWeighting,
                         ::testing::Values(KWeightingPoint { 25.0, -10.393 }, KWeightingPoint { 100.0, -1.133 },
                                           KWeightingPoint { 500.0, 0.042 }, KWeightingPoint { 1000.0, 0.698 },
                                           KWeightingPoint { 2000.0, 3.071 }, KWeightingPoint { 10000.0, 4.042 }),
                         [](const auto& test) { return std::to_string(static_cast<int>(test.param.frequency)) + "Hz"; });

TEST(LoudnessAnalyzerLevels, MonoReads3dBBelowStereoAndStereoReadsItsPeakLevel)
{
    constexpr double rate = 48000.0;
    const auto stereo = testsig::measure(testsig::sine(2, rate, 1000.0, -20.0, 20.0), rate);
    const auto mono = testsig::measure(testsig::sine(1, rate, 1000.0, -20.0, 20.0), rate);
    EXPECT_NEAR(stereo.lufs, -20.0, 0.02);
    EXPECT_NEAR(stereo.truePeak, -20.0, 0.02);
    EXPECT_NEAR(stereo.lufs - mono.lufs, 3.01, 0.01);
    EXPECT_FLOAT_EQ(stereo.truePeak, mono.truePeak);
}

// ---- Edge cases --------------------------------------------------------------

TEST(LoudnessAnalyzerEdges, DigitalSilenceIsMinusInfinityAndMinus100dBTP)
{
    const auto reading = testsig::measure(silence(2, 48000.0, 5.0), 48000.0);
    EXPECT_EQ(reading.lufs, minusInfinity);
    EXPECT_EQ(reading.truePeak, -100.0f);
}

TEST(LoudnessAnalyzerEdges, ShorterThanOneGatingBlockIsMinusInfinityButHasAPeak)
{
    const auto reading = testsig::measure(testsig::sine(2, 48000.0, 1000.0, -6.0, 0.39), 48000.0);
    EXPECT_EQ(reading.lufs, minusInfinity);
    EXPECT_NEAR(reading.truePeak, -6.0, 0.2);
}

TEST(LoudnessAnalyzerEdges, EmptyBuffersChangeNothing)
{
    constexpr double rate = 48000.0;
    const auto audio = testsig::programme(2, rate, 6.0);
    const auto reference = testsig::measure(audio, rate, 4096);

    LoudnessAnalyzer analyzer(2, 48000);
    const juce::AudioBuffer<float> empty(2, 0);
    analyzer.analyzeBuffer(empty);
    for (int pos = 0; pos < audio.getNumSamples(); pos += 4096)
    {
        const int n = std::min(4096, audio.getNumSamples() - pos);
        juce::AudioBuffer<float> block(2, n);
        for (int ch = 0; ch < 2; ++ch)
            block.copyFrom(ch, 0, audio, ch, pos, n);
        analyzer.analyzeBuffer(block);
        analyzer.analyzeBuffer(empty);
    }
    EXPECT_EQ(analyzer.getIntegratedLoudness(), reference.lufs);
    EXPECT_EQ(truePeakDecibels(analyzer.truePeakState, 2), reference.truePeak);

    LoudnessAnalyzer onlyEmpty(2, 48000);
    onlyEmpty.analyzeBuffer(empty);
    EXPECT_EQ(onlyEmpty.getIntegratedLoudness(), minusInfinity);
    EXPECT_EQ(truePeakDecibels(onlyEmpty.truePeakState, 2), -100.0f);
}

TEST(LoudnessAnalyzerEdges, ResultIsTheLibrarysOwnValueNarrowedToFloat)
{
    constexpr int rate = 44100;
    const auto audio = testsig::programme(3, rate, 12.0);
    const auto reading = testsig::measure(audio, rate, 4096);

    // A bare library state fed the same frames in one go.
    ebur128_state* integrated = ebur128_init(3, rate, EBUR128_MODE_I);
    ebur128_state* peaks = ebur128_init(3, rate, EBUR128_MODE_S | EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    ASSERT_NE(integrated, nullptr);
    ASSERT_NE(peaks, nullptr);
    const auto frames = interleave(audio);
    ebur128_add_frames_float(integrated, frames.data(), static_cast<size_t>(audio.getNumSamples()));
    ebur128_add_frames_float(peaks, frames.data(), static_cast<size_t>(audio.getNumSamples()));
    double expected = 0.0;
    ASSERT_EQ(ebur128_loudness_global(integrated, &expected), EBUR128_SUCCESS);
    ASSERT_TRUE(std::isfinite(expected));

    EXPECT_EQ(reading.lufs, static_cast<float>(expected));
    EXPECT_EQ(reading.truePeak, truePeakDecibels(peaks, 3));
    ebur128_destroy(&integrated);
    ebur128_destroy(&peaks);
}

TEST(LoudnessAnalyzerEdges, TwoAnalyzersOnTwoThreadsAgreeExactly)
{
    constexpr double rate = 48000.0;
    const auto audio = testsig::programme(2, rate, 20.0);
    testsig::Reading a {}, b {};
    std::thread first([&] { a = testsig::measure(audio, rate, 8192); });
    std::thread second([&] { b = testsig::measure(audio, rate, 8192); });
    first.join();
    second.join();
    EXPECT_TRUE(std::isfinite(a.lufs));
    EXPECT_EQ(a.lufs, b.lufs);
    EXPECT_EQ(a.truePeak, b.truePeak);
}

TEST(LoudnessAnalyzerEdges, ChannelCountsAndRatesTheLibraryRefusesLeaveNoStateAndAnswerMinus70)
{
    struct Refused
    {
        int channels;
        int rate;
    };
    for (const auto r : { Refused { 65, 48000 }, Refused { 2, 8 }, Refused { 2, 15 }, Refused { 2, 2822401 },
                          Refused { 0, 48000 }, Refused { -1, 48000 }, Refused { 2, -48000 } })
    {
        SCOPED_TRACE(std::to_string(r.channels) + " channels at " + std::to_string(r.rate) + " Hz");
        LoudnessAnalyzer analyzer(r.channels, r.rate);
        EXPECT_FALSE(analyzer.isValid());
        EXPECT_EQ(analyzer.truePeakState, nullptr);
        EXPECT_EQ(analyzer.integratedState, nullptr);
        if (r.channels > 0)
            analyzer.analyzeBuffer(testsig::sine(r.channels, 48000.0, 1000.0, -6.0, 1.0));
        EXPECT_EQ(analyzer.getIntegratedLoudness(), -70.0f);
        EXPECT_EQ(truePeakDecibels(analyzer.truePeakState, std::max(r.channels, 0)), -100.0f);
    }
}

TEST(LoudnessAnalyzerEdges, TheLibrarysLimitsThemselvesAreAccepted)
{
    for (const auto& [channels, rate] : { std::pair { 64, 48000 }, std::pair { 1, 16 }, std::pair { 2, 2822400 } })
    {
        LoudnessAnalyzer analyzer(channels, rate);
        EXPECT_TRUE(analyzer.isValid()) << channels << " channels at " << rate << " Hz";
    }
}

TEST(LoudnessAnalyzerEdges, ABufferOfAnotherWidthIsNotFed)
{
    // Frames of another width would be read past the end of the data.
    constexpr double rate = 48000.0;
    const auto stereo = testsig::sine(2, rate, 1000.0, -20.0, 5.0);
    LoudnessAnalyzer analyzer(2, 48000);
    analyzer.analyzeBuffer(stereo);
    analyzer.analyzeBuffer(testsig::sine(1, rate, 1000.0, 0.0, 5.0));
    analyzer.analyzeBuffer(testsig::sine(6, rate, 1000.0, 0.0, 5.0));
    const auto reference = testsig::measure(stereo, rate, stereo.getNumSamples());
    EXPECT_EQ(analyzer.getIntegratedLoudness(), reference.lufs);
    EXPECT_EQ(truePeakDecibels(analyzer.truePeakState, 2), reference.truePeak);
}

// ---- The per-channel dBTP rule ---------------------------------------------

TEST(TruePeakRule, LoudestChannelWinsAndChannelsThatCannotBeQueriedAreSkipped)
{
    constexpr double rate = 48000.0;
    const auto audio = sinePerChannel({ -30.0, -12.0, -24.0 }, rate, 2.0);
    LoudnessAnalyzer analyzer(3, 48000);
    analyzer.analyzeBuffer(audio);

    const float threeChannels = truePeakDecibels(analyzer.truePeakState, 3);
    EXPECT_NEAR(threeChannels, -12.0, 0.2);
    // Channel indices past the stream's width are refused by the library.
    EXPECT_EQ(truePeakDecibels(analyzer.truePeakState, 5), threeChannels);
    EXPECT_NEAR(truePeakDecibels(analyzer.truePeakState, 1), -30.0, 0.2);
    // A state opened without true-peak mode answers no channel at all.
    ebur128_state* loudnessOnly = ebur128_init(3, 48000, EBUR128_MODE_I);
    const auto frames = interleave(audio);
    ebur128_add_frames_float(loudnessOnly, frames.data(), static_cast<size_t>(audio.getNumSamples()));
    EXPECT_EQ(truePeakDecibels(loudnessOnly, 3), -100.0f);
    ebur128_destroy(&loudnessOnly);
}

TEST(TruePeakRule, FlooredAtMinus100)
{
    juce::AudioBuffer<float> tiny(2, 48000);
    tiny.clear();
    tiny.setSample(0, 100, 1.0e-6f); // -120 dBFS
    const auto reading = testsig::measure(tiny, 48000.0);
    EXPECT_EQ(reading.truePeak, -100.0f);

    tiny.setSample(1, 200, 1.0e-4f); // -80 dBFS
    EXPECT_NEAR(testsig::measure(tiny, 48000.0).truePeak, -80.0, 0.5);
}
