#include "common/Signals.h"
#include "measure/ParallelLoudness.h"

#include <ebur128.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace
{
// The chunks' blocks equal the single pass's to rounding, and the results are
// floats: an ulp or so at -60 LUFS. A block lost, counted twice or taken off
// the library's grid moves the loudness by far more, and so does a filter not
// yet settled on a DC offset.
constexpr double sameLoudness = 1e-5;

using Outcome = ParallelLoudness::Outcome;

void expectSameLoudness(float chunkedLufs, float singleLufs)
{
    if (std::isinf(singleLufs))
        EXPECT_EQ(chunkedLufs, singleLufs);
    else
        EXPECT_NEAR(chunkedLufs, singleLufs, sameLoudness);
}

using Measures = ParallelLoudness::Measures;

ParallelLoudness::Reading chunked(const juce::AudioBuffer<float>& audio, double rate, int threads,
                                  Measures measures = Measures::loudnessAndTruePeak)
{
    ParallelLoudness::Reading reading;
    EXPECT_EQ(ParallelLoudness::measureBuffer(audio, static_cast<int>(rate), measures, threads, {}, reading),
              Outcome::measured);
    return reading;
}

// Reads from an in-memory stream and records what was asked for.
struct StreamSource
{
    explicit StreamSource(const juce::AudioBuffer<float>& source) : audio(source) {}

    const juce::AudioBuffer<float>& audio;
    std::mutex mutex;
    std::vector<std::pair<juce::int64, int>> reads; // start, length
    std::function<bool(size_t)> failOrStopAt = [](size_t) { return false; };

    bool read(juce::AudioBuffer<float>& destination, int destinationStart, int numSamples, juce::int64 start)
    {
        {
            const std::lock_guard<std::mutex> guard(mutex);
            reads.emplace_back(start, numSamples);
            if (failOrStopAt(reads.size()))
                return false;
        }
        for (int ch = 0; ch < audio.getNumChannels(); ++ch)
            destination.copyFrom(ch, destinationStart, audio, ch, static_cast<int>(start), numSamples);
        return true;
    }

    ParallelLoudness::ReadSamples reader()
    {
        return [this](juce::AudioBuffer<float>& d, int ds, int n, juce::int64 s) { return read(d, ds, n, s); };
    }
};
} // namespace

// ---- How a stream is split ----------------------------------------------------

TEST(ParallelLoudnessPlan, SplitsLongStreamsOnTheBlockGridIntoAFewChunks)
{
    struct Case
    {
        int channels;
        int rate;
        double seconds;
        bool split;
    };
    const Case cases[] = {
        { 2, 48000, 600.0, true },
        { 2, 44100, 600.0, true },
        { 1, 11025, 40.0, true },       // the library rounds its step: 1103 samples
        { 6, 96000, 3600.0, true },
        { 2, 48000, 29.9, false },      // short file: single pass
        { 2, 48000, 36000.0, true },    // ten hours: still a few dozen chunks
        { 8, 96000, 600.0, true },
        { 64, 384000, 600.0, false },   // one state would not fit the memory
        { 2, 48000, 540000.0, false },  // 150 hours: nor would its blocks
        { 2, 800, 600.0, false },       // below 1 kHz: single pass
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.channels) + " ch, " + std::to_string(c.rate) + " Hz, " + std::to_string(c.seconds)
                     + " s");
        const auto samples = static_cast<juce::int64>(c.seconds * c.rate);
        const int chunk = ParallelLoudness::chunkLength(c.channels, c.rate, samples);
        EXPECT_EQ(chunk > 0, c.split);
        if (chunk == 0)
            continue;

        const int step = (c.rate + 5) / 10; // the library's 100 ms
        EXPECT_EQ(ParallelLoudness::leadIn(c.rate), 8 * step);
        EXPECT_EQ(chunk % step, 0);
        EXPECT_GE(chunk, 150 * step);
        const auto chunks = (samples + chunk - 1) / chunk;
        EXPECT_GE(chunks, 2);
        EXPECT_LE(chunks, 48);
        EXPECT_LE(ParallelLoudness::pieceLength(c.channels, c.rate), c.rate);
    }
}

// ---- Chunks against the single pass ----------------------------------------------

struct ChunkCase
{
    std::string name;
    double rate;
    std::function<juce::AudioBuffer<float>(double)> signal;
};

void PrintTo(const ChunkCase& c, std::ostream* os)
{
    *os << c.name;
}

class ChunkedAgainstSinglePass : public ::testing::TestWithParam<ChunkCase>
{
};

// On every number of threads, one included, the same bits; and the single
// pass's loudness and exactly its peak.
TEST_P(ChunkedAgainstSinglePass, SameLoudnessAndExactlyTheSamePeak)
{
    const auto& c = GetParam();
    const auto audio = c.signal(c.rate);
    const auto single = testsig::measure(audio, c.rate, 8192);
    ASSERT_GT(ParallelLoudness::chunkLength(audio.getNumChannels(), static_cast<int>(c.rate), audio.getNumSamples()), 0);
    const auto onOneThread = chunked(audio, c.rate, 1);
    for (const int threads : { 1, 2, 3, 8 })
    {
        SCOPED_TRACE(std::to_string(threads) + " threads");
        const auto reading = chunked(audio, c.rate, threads);
        EXPECT_EQ(std::memcmp(&reading.lufs, &onOneThread.lufs, sizeof(float)), 0) << reading.lufs;
        expectSameLoudness(reading.lufs, single.lufs);
        EXPECT_EQ(reading.truePeak, single.truePeak);
        // Either alone: the same value, and the other one left untouched.
        const auto loudnessOnly = chunked(audio, c.rate, threads, Measures::loudnessOnly);
        expectSameLoudness(loudnessOnly.lufs, single.lufs);
        EXPECT_EQ(loudnessOnly.truePeak, ParallelLoudness::Reading {}.truePeak);
        const auto truePeakOnly = chunked(audio, c.rate, threads, Measures::truePeakOnly);
        EXPECT_EQ(truePeakOnly.truePeak, single.truePeak);
        EXPECT_EQ(truePeakOnly.lufs, ParallelLoudness::Reading {}.lufs);
    }
}

namespace
{
ChunkCase segments(const std::string& name, double rate, std::vector<testsig::Segment> parts, int channels = 2)
{
    return { name, rate, [parts, channels](double r) { return testsig::sineSegments(channels, r, parts); } };
}

// Programme scaled by `gain`, plus low(t) on every channel (t in seconds).
ChunkCase underProgramme(const std::string& name, double rate, double seconds, float gain,
                         std::function<double(double)> low, int channels = 2)
{
    return { name, rate,
             [=](double r)
             {
                 auto b = testsig::programme(channels, r, seconds, 17);
                 b.applyGain(gain);
                 for (int ch = 0; ch < channels; ++ch)
                     for (int i = 0; i < b.getNumSamples(); ++i)
                         b.setSample(ch, i, b.getSample(ch, i) + static_cast<float>(low(i / r)));
                 return b;
             } };
}

std::vector<ChunkCase> chunkCases()
{
    return {
        segments("case1_48k", 48000.0, { { -23.0, 30.0 } }),
        segments("case2_44k1", 44100.0, { { -33.0, 30.0 } }),
        segments("case3", 48000.0, { { -36.0, 10.0 }, { -23.0, 60.0 }, { -36.0, 10.0 } }),
        segments("case4", 48000.0, { { -72.0, 10.0 }, { -36.0, 10.0 }, { -23.0, 60.0 }, { -36.0, 10.0 }, { -72.0, 10.0 } }),
        segments("case5_96k", 96000.0, { { -26.0, 20.0 }, { -20.0, 20.1 }, { -26.0, 20.0 } }),
        segments("case5_mono_odd_rate", 22050.0, { { -26.0, 20.0 }, { -20.0, 20.1 }, { -26.0, 20.0 } }, 1),
        // A filter starting from rest in a chunk rings on these for its first
        // tens of milliseconds, far above the programme.
        underProgramme("dc_offset", 44100.0, 45.0, 1.0f, [](double) { return 0.1; }),
        underProgramme("dc_with_quiet_programme", 48000.0, 60.0, 0.003f, [](double) { return 0.1; }), // near -62 LUFS
        underProgramme("dc_11025Hz_odd_length", 11025.0, 41.37, 0.3f, [](double) { return -0.05; }, 1),
        underProgramme("sub_bass_15Hz", 48000.0, 40.0, 0.1f,
                       [](double t) { return 0.7 * std::sin(2.0 * juce::MathConstants<double>::pi * 15.0 * t); }),
        underProgramme("square_10Hz", 48000.0, 30.0, 0.0f,
                       [](double t) { return std::fmod(10.0 * t, 1.0) < 0.5 ? 0.9 : -0.9; }),
        { "case6_five_channels", 48000.0,
          [](double r)
          {
              juce::AudioBuffer<float> five(5, static_cast<int>(30.0 * r));
              const double levels[] = { -28.0, -28.0, -24.0, -30.0, -30.0 };
              for (int ch = 0; ch < 5; ++ch)
                  five.copyFrom(ch, 0, testsig::sine(1, r, 1000.0, levels[ch], 30.0), 0, 0, five.getNumSamples());
              return five;
          } },
        // Low frequencies: the K-weighting filter takes longest to settle.
        { "sine_25Hz", 48000.0, [](double r) { return testsig::sine(2, r, 25.0, -12.0, 30.0); } },
        { "true_peak_case19_long", 48000.0,
          [](double r)
          {
              auto s = testsig::sine(2, r, r / 4.0, 20.0 * std::log10(1.41), 30.0, 45.0);
              testsig::fadeEnds(s, r, 0.01);
              return s;
          } },
        { "programme_3_min", 44100.0, [](double r) { return testsig::programme(2, r, 180.0, 11); } },
        { "silence", 48000.0, [](double r) { juce::AudioBuffer<float> b(2, static_cast<int>(30.0 * r)); b.clear(); return b; } },
    };
}
} // namespace

INSTANTIATE_TEST_SUITE_P(Signals, ChunkedAgainstSinglePass, ::testing::ValuesIn(chunkCases()),
                         [](const auto& test) { return test.param.name; });

// A loud 400 ms block and an inter-sample peak placed around the first chunk
// boundary: a block lost or doubled there, or a peak taken from the lead-in
// or missed after it, shows.
TEST(ChunkedAgainstSinglePass, TransientsAtAChunkBoundary)
{
    constexpr double rate = 48000.0;
    constexpr int threads = 4;
    auto quiet = testsig::programme(2, rate, 60.0, 5);
    quiet.applyGain(0.01f);
    const int boundary = ParallelLoudness::chunkLength(2, static_cast<int>(rate), quiet.getNumSamples());
    ASSERT_GT(boundary, 0);
    const int block = static_cast<int>(0.4 * rate);

    for (const int offset : { -block, -block / 4, -13, -2, -1, 0, 1, 2, 12, block / 4 })
    {
        SCOPED_TRACE("offset " + std::to_string(offset));
        auto audio = quiet;
        // 400 ms at -10 dBFS whose start moves around the boundary.
        const auto loud = testsig::sine(2, rate, 997.0, -10.0, 0.4);
        for (int ch = 0; ch < 2; ++ch)
            audio.copyFrom(ch, boundary + offset, loud, ch, 0, loud.getNumSamples());
        // Four samples at fs/4 and 45 degrees: the peak lies between samples.
        const float burst[] = { 0.7f, 0.7f, -0.7f, -0.7f };
        for (int i = 0; i < 4; ++i)
            audio.setSample(0, boundary + offset - 2 + i, burst[i]);

        const auto single = testsig::measure(audio, rate, 4096);
        const auto reading = chunked(audio, rate, threads);
        EXPECT_GT(single.truePeak, 20.0f * std::log10(0.7f) + 0.5f);
        expectSameLoudness(reading.lufs, single.lufs);
        EXPECT_EQ(reading.truePeak, single.truePeak);
    }
}

// ---- Reading through a reader per chunk -------------------------------------------

TEST(ParallelLoudnessStream, ReadsEverySampleAndOnlyTheLeadInsTwiceAndMatchesTheBuffer)
{
    constexpr double rate = 44100.0;
    const auto audio = testsig::programme(3, rate, 47.3, 9);
    const auto single = testsig::measure(audio, rate);
    const int numSamples = audio.getNumSamples();
    // One thread too: the stream is then read piece after piece, never whole.
    for (const int threads : { 1, 2, 5 })
    {
        SCOPED_TRACE(std::to_string(threads) + " threads");
        StreamSource source(audio);
        std::atomic<int> opened { 0 };
        ParallelLoudness::Reading reading;
        ASSERT_EQ(ParallelLoudness::measureStream(3, static_cast<int>(rate), numSamples, threads,
                                                  [&] { ++opened; return source.reader(); }, {}, reading),
                  Outcome::measured);

        const int chunk = ParallelLoudness::chunkLength(3, static_cast<int>(rate), numSamples);
        const int chunks = chunk > 0 ? (numSamples + chunk - 1) / chunk : 1;
        EXPECT_EQ(opened.load(), chunks);

        auto reads = source.reads;
        std::sort(reads.begin(), reads.end());
        juce::int64 covered = 0;
        juce::int64 total = 0;
        for (const auto& [start, length] : reads)
        {
            EXPECT_LE(start, covered);
            EXPECT_LE(length, ParallelLoudness::pieceLength(3, static_cast<int>(rate)));
            covered = std::max(covered, start + length);
            total += length;
        }
        EXPECT_EQ(covered, numSamples);
        EXPECT_EQ(total, numSamples + (chunks - 1) * juce::int64 { ParallelLoudness::leadIn(static_cast<int>(rate)) });
        EXPECT_GT(source.reads.size(), 2u);
        expectSameLoudness(reading.lufs, single.lufs);
        EXPECT_EQ(reading.truePeak, single.truePeak);
    }
}

TEST(ParallelLoudnessStream, AFailedReadOrOpenFailsAndAStopAbandons)
{
    constexpr double rate = 48000.0;
    constexpr int threads = 4;
    const auto audio = testsig::programme(2, rate, 120.0, 3);
    for (const char* what : { "failed read", "failed open", "stop" })
    {
        SCOPED_TRACE(what);
        const std::string kind = what;
        StreamSource source(audio);
        std::atomic<bool> stopRequested { false };
        source.failOrStopAt = [&](size_t readNumber)
        {
            if (readNumber < 3 || kind == "failed open")
                return false;
            if (kind == "failed read")
                return true;
            stopRequested = true;
            return false;
        };
        std::atomic<int> opened { 0 };
        const auto open = [&]
        {
            return kind == "failed open" && ++opened == 2 ? ParallelLoudness::ReadSamples {} : source.reader();
        };

        ParallelLoudness::Reading reading;
        const auto outcome = ParallelLoudness::measureStream(2, static_cast<int>(rate), audio.getNumSamples(), threads,
                                                             open, [&] { return stopRequested.load(); }, reading);
        EXPECT_EQ(outcome, kind == "stop" ? Outcome::abandoned : Outcome::failed);
        // After the failure or the stop, each other chunk finishes at most the
        // piece it had begun.
        if (kind != "failed open")
        {
            EXPECT_LE(source.reads.size(), 3u + threads - 1);
        }
    }
}

TEST(ParallelLoudnessBuffer, AStopAbandonsTheMeasurement)
{
    constexpr double rate = 48000.0;
    const auto audio = testsig::programme(2, rate, 120.0, 4);
    std::atomic<int> asked { 0 };
    ParallelLoudness::Reading reading;
    EXPECT_EQ(ParallelLoudness::measureBuffer(audio, static_cast<int>(rate), Measures::loudnessAndTruePeak, 4, [&] { return ++asked > 1; },
                                              reading),
              Outcome::abandoned);
}

// ---- A library call that fails ---------------------------------------------------

// measure_tests is linked with --wrap=ebur128_add_frames_float: every call
// comes here, and the one numbered by this countdown fails as when the library
// runs out of memory.
static std::atomic<int> addFramesCallsBeforeFailure { -1 };

extern "C" int __real_ebur128_add_frames_float(ebur128_state* st, const float* src, size_t frames);
extern "C" int __wrap_ebur128_add_frames_float(ebur128_state* st, const float* src, size_t frames)
{
    if (addFramesCallsBeforeFailure.load() >= 0 && addFramesCallsBeforeFailure.fetch_sub(1) == 0)
        return EBUR128_ERROR_NOMEM;
    return __real_ebur128_add_frames_float(st, src, frames);
}

TEST(ParallelLoudnessBuffer, ALibraryCallThatFailsFailsTheMeasurement)
{
    constexpr double rate = 48000.0;
    const auto audio = testsig::programme(2, rate, 60.0, 4);
    for (const int threads : { 1, 4 })
    {
        addFramesCallsBeforeFailure = 100;
        ParallelLoudness::Reading reading;
        EXPECT_EQ(ParallelLoudness::measureBuffer(audio, static_cast<int>(rate), Measures::loudnessOnly, threads, {},
                                                  reading),
                  Outcome::failed)
            << threads << " threads";
        EXPECT_LT(addFramesCallsBeforeFailure.load(), 0);
        addFramesCallsBeforeFailure = -1;
    }
}
