#include "ConverterHarness.h"
#include "common/Signals.h"
#include "common/WavFiles.h"
#include "engine/OutputFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace
{
constexpr double rate = 48000.0;

// A source file to take the format and metadata from, and its reader.
struct Source
{
    Source(const testwav::TempFolder& tmp, int bits, const juce::StringPairArray& metadata = {})
        : file(tmp.file("source.wav"))
    {
        EXPECT_TRUE(testwav::write(file, audio, rate, bits, metadata));
        reader = enginetest::openReader(file);
    }

    juce::AudioBuffer<float> audio = testsig::sine(2, rate, 440.0, -12.0, 0.5);
    juce::File file;
    std::unique_ptr<juce::AudioFormatReader> reader;
};

void touch(const juce::File& file)
{
    ASSERT_TRUE(file.create().wasOk());
}
} // namespace

// ---- Choosing the name -----------------------------------------------------------

TEST(OutputName, TakenNamesGetTheFirstFreeNumberGapsFirst)
{
    testwav::TempFolder tmp;
    const auto requested = tmp.file("take 1-EBU_R128.wav");
    touch(requested);
    EXPECT_EQ(OutputFile::chooseName(requested), tmp.file("take 1-EBU_R128_1.wav"));

    touch(tmp.file("take 1-EBU_R128_1.wav"));
    EXPECT_EQ(OutputFile::chooseName(requested), tmp.file("take 1-EBU_R128_2.wav"));

    touch(tmp.file("take 1-EBU_R128_3.wav"));
    EXPECT_EQ(OutputFile::chooseName(requested), tmp.file("take 1-EBU_R128_2.wav"));
}

TEST(OutputName, AFolderHoldingTheNameCountsAsTaken)
{
    testwav::TempFolder tmp;
    ASSERT_TRUE(tmp.file("mix-Podcast.wav").createDirectory().wasOk());
    EXPECT_EQ(OutputFile::chooseName(tmp.file("mix-Podcast.wav")), tmp.file("mix-Podcast_1.wav"));
}

TEST(OutputName, AllNumberedNamesTakenFailsWithoutTouchingAnyFile)
{
    testwav::TempFolder tmp;
    const auto requested = tmp.file("mix-Podcast.wav");
    ASSERT_TRUE(requested.replaceWithText("keep me"));
    for (int k = 1; k <= 998; ++k)
        touch(tmp.file("mix-Podcast_" + juce::String(k) + ".wav"));
    const auto last = tmp.file("mix-Podcast_999.wav");
    ASSERT_TRUE(last.replaceWithText("and me"));

    EXPECT_EQ(OutputFile::chooseName(requested), juce::File());

    const Source source(tmp, 16);
    const auto result = OutputFile::write(source.audio, *source.reader, requested);
    EXPECT_EQ(result.file, juce::File());
    EXPECT_EQ(result.error, "Error: Cannot create output file");
    EXPECT_EQ(requested.loadFileAsString(), "keep me");
    EXPECT_EQ(last.loadFileAsString(), "and me");
    EXPECT_EQ(tmp.file("mix-Podcast_500.wav").getSize(), 0);
}

// ---- Writing -----------------------------------------------------------------------

TEST(OutputWrite, KeepsRateChannelsAndBitsWith32BitsAsFloat)
{
    struct Case
    {
        int bits;
        bool asInt32;
        bool expectFloat;
    };
    for (const auto& c : { Case { 8, false, false }, Case { 16, false, false }, Case { 24, false, false },
                           Case { 32, false, true }, Case { 32, true, true } })
    {
        testwav::TempFolder tmp;
        const auto input = tmp.file("in.wav");
        const auto audio = testsig::sine(3, 44100.0, 440.0, -12.0, 0.3);
        if (c.asInt32)
            testwav::writeInt32(input, audio, 44100);
        else
            ASSERT_TRUE(testwav::write(input, audio, 44100.0, c.bits));
        const auto reader = enginetest::openReader(input);
        ASSERT_NE(reader, nullptr);
        ASSERT_EQ(reader->usesFloatingPointData, c.bits == 32 && !c.asInt32);

        const auto result = OutputFile::write(audio, *reader, tmp.file("out.wav"));
        ASSERT_EQ(result.file, tmp.file("out.wav")) << c.bits;
        EXPECT_TRUE(result.error.isEmpty());

        const auto written = testwav::read(result.file);
        ASSERT_TRUE(written.ok);
        EXPECT_EQ(written.sampleRate, 44100.0);
        EXPECT_EQ(written.channels, 3);
        EXPECT_EQ(written.bitsPerSample, c.bits);
        EXPECT_EQ(written.usesFloat, c.expectFloat);
        EXPECT_LT(enginetest::maxDifference(written.audio, audio), c.bits == 8 ? 0.01f : 1.0e-4f) << c.bits;
    }
}

TEST(OutputWrite, CarriesTheInputsMetadata)
{
    testwav::TempFolder tmp;
    juce::StringPairArray metadata;
    metadata.set("ISRC", "USS1Z9900001");
    metadata.set(juce::WavAudioFormat::bwavDescription, "Final mix, take 3");
    metadata.set(juce::WavAudioFormat::bwavOriginator, "Tarnvale tests");
    const Source source(tmp, 24, metadata);

    const auto result = OutputFile::write(source.audio, *source.reader, tmp.file("out.wav"));
    const auto written = testwav::read(result.file);
    ASSERT_TRUE(written.ok);
    EXPECT_EQ(written.metadata.getValue("ISRC", {}), "USS1Z9900001");
    EXPECT_EQ(written.metadata.getValue(juce::WavAudioFormat::bwavDescription, {}), "Final mix, take 3");
    EXPECT_EQ(written.metadata.getValue(juce::WavAudioFormat::bwavOriginator, {}), "Tarnvale tests");
}

TEST(OutputWrite, NumbersTheNameInsteadOfAppendingToAnExistingFile)
{
    testwav::TempFolder tmp;
    const Source source(tmp, 16);
    const auto requested = tmp.file("out.wav");
    ASSERT_TRUE(requested.replaceWithText("not audio"));

    const auto result = OutputFile::write(source.audio, *source.reader, requested);
    EXPECT_EQ(result.file, tmp.file("out_1.wav"));
    EXPECT_EQ(requested.loadFileAsString(), "not audio");
    EXPECT_TRUE(testwav::read(result.file).ok);
}

TEST(OutputWrite, MissingFolderFailsAsAWriteError)
{
    testwav::TempFolder tmp;
    const Source source(tmp, 16);
    const auto result = OutputFile::write(source.audio, *source.reader, tmp.file("no such folder/out.wav"));
    EXPECT_EQ(result.file, juce::File());
    EXPECT_EQ(result.error, "Error: Cannot write output file");
    EXPECT_FALSE(tmp.file("no such folder").exists());
}

namespace
{
// Writes with the process's file size capped, as if the disk filled up at
// that size: writes beyond it fail with EFBIG.
OutputFile::Result writeWithDiskFullAt(juce::int64 bytes, const juce::AudioBuffer<float>& audio,
                                       const juce::AudioFormatReader& source, const juce::File& target)
{
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = static_cast<rlim_t>(bytes);
    setrlimit(RLIMIT_FSIZE, &limited);

    auto result = OutputFile::write(audio, source, target);

    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    return result;
}
} // namespace

TEST(OutputWrite, FailedWriteRemovesThePartialFile)
{
    testwav::TempFolder tmp;
    const Source source(tmp, 24);
    const auto big = testsig::noise(2, rate, -20.0, 10.0); // ~2.9 MB as 24-bit

    const auto complete = OutputFile::write(big, *source.reader, tmp.file("complete.wav"));
    ASSERT_TRUE(complete.file.existsAsFile());
    const auto fullSize = complete.file.getSize();

    // Full early, and full only for the last buffered bytes, which go out
    // while the header is completed.
    for (const juce::int64 limit : { juce::int64(256 * 1024), fullSize - 100 })
    {
        const auto result = writeWithDiskFullAt(limit, big, *source.reader, tmp.file("out.wav"));

        EXPECT_EQ(result.file, juce::File()) << limit;
        EXPECT_EQ(result.error, "Error: Cannot write output file") << limit;
        EXPECT_FALSE(tmp.file("out.wav").exists()) << limit;
    }
}

TEST(OutputWrite, StopRequestRemovesThePartialFile)
{
    testwav::TempFolder tmp;
    const Source source(tmp, 16);
    const auto big = testsig::noise(2, rate, -20.0, 10.0);

    int asked = 0;
    const auto result = OutputFile::write(big, *source.reader, tmp.file("out.wav"), [&] { return ++asked > 3; });
    EXPECT_TRUE(result.abandoned);
    EXPECT_EQ(result.file, juce::File());
    EXPECT_TRUE(result.error.isEmpty());
    EXPECT_FALSE(tmp.file("out.wav").exists());
}
