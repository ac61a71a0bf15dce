#include "ConverterHarness.h"
#include "common/Signals.h"
#include "common/WavFiles.h"
#include "engine/JuceCompat.h"
#include "engine/OutputFile.h"
#include "measure/RiffChunks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <map>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>
#include <vector>

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

// A WAV file's chunks in order, each as its id and bytes. The RIFF size must
// cover exactly the file.
std::vector<std::pair<std::string, std::string>> chunksOf(const juce::File& file)
{
    juce::FileInputStream in(file);
    in.setPosition(4);
    EXPECT_EQ(in.readInt(), static_cast<int>(file.getSize() - 8)) << file.getFileName();
    std::vector<std::pair<std::string, std::string>> chunks;
    RiffChunks::forEach(in, [&](const RiffChunks::Chunk& chunk) {
        juce::MemoryBlock data;
        in.readIntoMemoryBlock(data, static_cast<ssize_t>(chunk.size));
        chunks.emplace_back(chunk.id.toStdString(), std::string(static_cast<const char*>(data.getData()), data.getSize()));
        return true;
    });
    return chunks;
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

// Before, the export handed JUCE's writer the input's metadata, INFO items
// corrected. Every chunk but INFO is still byte for byte what that writer
// makes of it; INFO moves after the audio, and where the writer knew every
// item and the input held them in its order, it is byte for byte the same.
TEST(OutputWrite, MetadataComesOutAsJucesWriterLaidItOutWithTheInfoChunkLast)
{
    testwav::TempFolder tmp;
    const auto audio = testsig::sine(2, rate, 440.0, -12.0, 0.5);
    const struct
    {
        const char* name;
        std::map<juce::String, juce::String> metadata;
        std::vector<std::pair<std::string, std::string>> infoAppended;
        bool infoAsTheWriterLaysItOut;
    } cases[] = {
        { "written by JUCE",
          { { "ISRC", "USS1Z9900001" }, // also in the axml chunk
            { juce::WavAudioFormat::bwavDescription, "Final mix, take 3" },
            { juce::WavAudioFormat::riffInfoArtist, "Ann" }, // a pad byte follows
            { juce::WavAudioFormat::riffInfoTitle, juce::CharPointer_UTF8("Caf\xc3\xa9 au lait") },
            { "NumCuePoints", "1" },
            { juce::WavAudioFormat::acidBeats, "8" },
            { juce::WavAudioFormat::aswgContentType, "music" } },
          {}, true },
        // The reader takes the ISRC from the axml chunk; the writer added it to INFO.
        { "ISRC in axml alone", { { juce::WavAudioFormat::internationalStandardRecordingCode, "USS1Z9900001" } }, {}, true },
        // JUCE's reader finds nothing after the unknown first item.
        { "INFO alone, an unknown item first", {}, { { "IGNR", "Jazz" }, { "IART", "Ann" } }, false },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        const auto input = tmp.file(juce::String(c.name) + ".wav");
        juce::StringPairArray metadata;
        metadata.addMap(c.metadata);
        ASSERT_TRUE(testwav::write(input, audio, rate, 24, metadata));
        if (!c.infoAppended.empty())
            testwav::appendChunk(input, "LIST", testwav::infoChunk(c.infoAppended));
        const auto reader = enginetest::openReader(input);
        const auto items = InfoItems::correct(reader->metadataValues, input);

        const auto before = tmp.file(juce::String(c.name) + " before.wav");
        {
            std::unique_ptr<juce::OutputStream> stream = std::make_unique<juce::FileOutputStream>(before);
            const auto writer = createWavWriter(stream, rate, 2, 24, reader->metadataValues, 0);
            ASSERT_TRUE(writer != nullptr && writer->writeFromAudioSampleBuffer(audio, 0, audio.getNumSamples()));
        }
        const auto result = OutputFile::write(audio, *reader, tmp.file(juce::String(c.name) + " out.wav"), items);

        auto expected = chunksOf(before);
        auto written = chunksOf(result.file);
        const auto isInfo = [](const auto& chunk) { return chunk.first == "LIST" && chunk.second.rfind("INFO", 0) == 0; };
        const auto info = std::find_if(expected.begin(), expected.end(), isInfo);
        ASSERT_TRUE(info != expected.end() && !written.empty() && isInfo(written.back()));
        std::rotate(info, info + 1, expected.end());
        if (!c.infoAsTheWriterLaysItOut)
        {
            expected.pop_back();
            written.pop_back();
        }
        EXPECT_EQ(written, expected);
    }
}

// RIFF sizes are checked wherever chunksOf reads a file.
TEST(OutputWrite, AnAppendedChunkIsCountedInRf64sSizeAndNeverOverflowsARiffSize)
{
    testwav::TempFolder tmp;
    const auto info = InfoItems::chunkFor({ { "IART", "Ann" } }, {});

    // RF64 as JUCE's writer lays it out, ds64 first, with 100 silent frames.
    const auto rf64 = tmp.file("rf64.wav");
    juce::MemoryOutputStream out;
    out.write("RF64\xff\xff\xff\xffWAVEds64\x1c\0\0\0", 20);
    for (const juce::int64 value : { 4 + 36 + 24 + 8 + 200, 200, 100 })
        out.writeInt64(value);
    out.writeInt(0);
    out.write("fmt \x10\0\0\0", 8);
    out << testwav::fmtChunk(1, 48000, 16, 1);
    out.write("data\xff\xff\xff\xff", 8);
    out.writeRepeatedByte(0, 200);
    ASSERT_TRUE(rf64.replaceWithData(out.getData(), out.getDataSize()));

    ASSERT_TRUE(OutputFile::appendChunk(rf64, info));
    juce::FileInputStream in(rf64);
    in.setPosition(20);
    EXPECT_EQ(in.readInt64(), rf64.getSize() - 8);
    // JUCE's reader walks the chunks only as far as that size says.
    EXPECT_EQ(testwav::read(rf64).metadata.getValue("IART", {}), "Ann");

    // A 4 GiB RIFF file (sparse) cannot take another chunk.
    const auto huge = tmp.file("huge.wav");
    ASSERT_TRUE(huge.replaceWithText("RIFF"));
    ASSERT_EQ(::truncate(huge.getFullPathName().toRawUTF8(), juce::int64(1) << 32), 0);
    EXPECT_FALSE(OutputFile::appendChunk(huge, info));
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
                                       const juce::AudioFormatReader& source, const juce::File& target,
                                       const InfoItems::List& items)
{
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = static_cast<rlim_t>(bytes);
    setrlimit(RLIMIT_FSIZE, &limited);

    auto result = OutputFile::write(audio, source, target, items);

    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    return result;
}
} // namespace

TEST(OutputWrite, FailedWriteRemovesThePartialFile)
{
    testwav::TempFolder tmp;
    juce::StringPairArray metadata;
    metadata.set(juce::WavAudioFormat::riffInfoArtist, "Ann Example");
    const Source source(tmp, 24, metadata);
    const auto items = InfoItems::correct(source.reader->metadataValues, source.file);
    const auto big = testsig::noise(2, rate, -20.0, 10.0); // ~2.9 MB as 24-bit

    const auto complete = OutputFile::write(big, *source.reader, tmp.file("complete.wav"), items);
    ASSERT_TRUE(complete.file.existsAsFile());
    const auto fullSize = complete.file.getSize();

    // Full early, full only for the last buffered bytes, which go out while
    // the header is completed, and full only for the INFO chunk at the end.
    for (const juce::int64 limit : { juce::int64(256 * 1024), fullSize - 100, fullSize - 4 })
    {
        const auto result = writeWithDiskFullAt(limit, big, *source.reader, tmp.file("out.wav"), items);

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
    const auto result = OutputFile::write(big, *source.reader, tmp.file("out.wav"), {}, [&] { return ++asked > 3; });
    EXPECT_TRUE(result.abandoned);
    EXPECT_EQ(result.file, juce::File());
    EXPECT_TRUE(result.error.isEmpty());
    EXPECT_FALSE(tmp.file("out.wav").exists());
}
