#include "ConverterHarness.h"
#include "common/Signals.h"
#include "common/WavFiles.h"
#include "engine/InfoItems.h"
#include "measure/AudioAnalysisThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <future>
#include <limits>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

using enginetest::makeTask;

namespace
{
constexpr float missing = -999.0f;

// Little-endian 16-bit samples of a 1 kHz sine at -20 dBFS, `channels` wide.
juce::MemoryBlock pcm16(int channels, int frames)
{
    juce::MemoryOutputStream out;
    for (int i = 0; i < frames; ++i)
        for (int ch = 0; ch < channels; ++ch)
            out.writeShort(static_cast<short>(3277.0 * std::sin(2.0 * juce::MathConstants<double>::pi * i / 48.0)));
    return out.getMemoryBlock();
}

// 32-bit float stereo samples of a sine, with `odd` in one place in the middle.
juce::MemoryBlock floatsWith(float odd)
{
    juce::MemoryOutputStream out;
    for (int i = 0; i < 48000; ++i)
        for (int ch = 0; ch < 2; ++ch)
            out.writeFloat(i == 24000 && ch == 1 ? odd : 0.1f * static_cast<float>(std::sin(i / 7.6)));
    return out.getMemoryBlock();
}

juce::MemoryBlock bytesOf(const char* text, size_t size)
{
    return juce::MemoryBlock(text, size);
}

// Runs `work` on its own thread and answers whether it ended within ten
// seconds. Work stuck in opening the named pipe is let through afterwards,
// so a fault shows as a failure instead of a hung test.
bool endsInTime(const std::function<void()>& work, testwav::NamedPipe& pipe)
{
    auto done = std::async(std::launch::async, work);
    if (done.wait_for(std::chrono::seconds(10)) == std::future_status::ready)
        return true;
    while (done.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
        pipe.letReadersThrough();
    return false;
}

struct Hostile
{
    const char* name;
    std::function<void(const juce::File&)> make;
    bool regularFile = true;
    bool declaresNoAudio = false;
};
} // namespace

// Files that hold no audio we can decode, or nothing to read at all: the
// worker reports them missing, the engine refuses them as unreadable and
// leaves nothing on disk, and neither blocks on a path that is not a file.
// A file that itself says it holds no audio is silence instead: minus
// infinity and -100 dBTP, exported as a header-only copy in its own format.
TEST(HostileInput, IsReportedMissingAndRefusedAsUnreadableUnlessItDeclaresNoAudio)
{
    testwav::TempFolder tmp;
    testwav::NamedPipe pipe(tmp.file("pipe.wav"));
    ASSERT_TRUE(pipe.created());

    const Hostile cases[] = {
        { "20-bit.wav", [](const juce::File& f) { testwav::writeRaw(f, 1, 48000, 20, 1, pcm16(1, 48000)); } },
        { "12-bit.wav", [](const juce::File& f) { testwav::writeRaw(f, 2, 48000, 12, 1, pcm16(3, 32000)); } },
        { "nan.wav", [](const juce::File& f) { testwav::writeRaw(f, 2, 48000, 32, 3, floatsWith(std::nanf(""))); } },
        { "infinity.wav",
          [](const juce::File& f) {
              testwav::writeRaw(f, 2, 48000, 32, 3, floatsWith(-std::numeric_limits<float>::infinity()));
          } },
        { "fmt after data.wav",
          [](const juce::File& f) {
              testwav::writeChunks(f, { { "data", pcm16(1, 48000) }, { "fmt ", testwav::fmtChunk(1, 48000, 16, 1) } });
          } },
        { "no data.wav", [](const juce::File& f) { testwav::writeChunks(f, { { "fmt ", testwav::fmtChunk(1, 48000, 16, 1) } }); } },
        { "odd chunk without pad.wav",
          [](const juce::File& f) {
              testwav::writeChunks(f, { { "fmt ", testwav::fmtChunk(1, 48000, 16, 1) },
                                        { "junk", bytesOf("abc", 3), false },
                                        { "data", pcm16(1, 48000) } });
          } },
        { "empty data before fmt.wav",
          [](const juce::File& f) {
              testwav::writeChunks(f, { { "data", {} }, { "fmt ", testwav::fmtChunk(1, 48000, 16, 1) } });
          } },
        { "empty data of undecoded samples.wav", [](const juce::File& f) { testwav::writeRaw(f, 1, 48000, 16, 2, {}); } },
        { "folder.wav", [](const juce::File& f) { ASSERT_TRUE(f.createDirectory()); }, false },
        { "pipe.wav", [](const juce::File&) {}, false },
        { "device.wav", [](const juce::File& f) { ASSERT_TRUE(juce::File("/dev/zero").createSymbolicLink(f, true)); },
          false },
        { "empty.wav", [](const juce::File& f) { ASSERT_TRUE(testwav::write(f, juce::AudioBuffer<float>(2, 0), 48000.0, 24)); },
          true, true },
        { "empty extensible float.wav",
          [](const juce::File& f) { ASSERT_TRUE(testwav::write(f, juce::AudioBuffer<float>(6, 0), 48000.0, 32)); }, true,
          true },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        const auto input = tmp.file(c.name);
        c.make(input);
        const auto before = tmp.folder().getNumberOfChildFiles(juce::File::findFilesAndDirectories);

        AudioAnalysisThread worker;
        float lufs = 0.0f;
        float truePeak = 0.0f;
        worker.onAnalysisComplete = [&](const std::string&, int, float l, float p) {
            lufs = l;
            truePeak = p;
        };
        worker.addTask({ input.getFullPathName().toStdString(), 0 });
        ASSERT_TRUE(endsInTime([&] { worker.startThread(); worker.waitForThreadToExit(-1); }, pipe));
        EXPECT_EQ(lufs, c.declaresNoAudio ? -std::numeric_limits<float>::infinity() : missing);
        EXPECT_EQ(truePeak, c.declaresNoAudio ? -100.0f : missing);

        // With its own measurement and with a pre-analysed pair, which skips it.
        for (const float pre : { missing, -20.0f })
        {
            const auto output = tmp.file("out.wav");
            AudioConverter converter({ makeTask(input, output, -23.0, -1.0, "EBU R128", pre, pre) });
            enginetest::RunLog log;
            ASSERT_TRUE(endsInTime([&] { log = enginetest::runToEnd(converter); }, pipe));
            if (c.declaresNoAudio)
            {
                EXPECT_EQ(log.texts.back(), "LUFS NORMALIZATION COMPLETE !");
                const auto in = testwav::read(input);
                const auto out = testwav::read(output);
                EXPECT_TRUE(out.ok && out.audio.getNumSamples() == 0);
                EXPECT_EQ(std::tie(out.channels, out.bitsPerSample, out.sampleRate),
                          std::tie(in.channels, in.bitsPerSample, in.sampleRate));
                output.deleteFile();
                continue;
            }
            ASSERT_GE(log.texts.size(), 2u);
            EXPECT_EQ(log.texts[log.texts.size() - 2], "Error: Cannot read input file");
            EXPECT_EQ(log.texts.back(), "Error: failed for EBU R128 / " + input.getFileName());
            EXPECT_EQ(tmp.folder().getNumberOfChildFiles(juce::File::findFilesAndDirectories), before);
        }

        if (!c.regularFile)
        {
            double rate = 1.0;
            int bits = 2;
            juce::String isrc = "kept";
            ASSERT_TRUE(endsInTime([&] { AudioConverter::getFileInfo(input, rate, bits, isrc); }, pipe));
            EXPECT_EQ(rate, 1.0);
            EXPECT_EQ(bits, 2);
            EXPECT_EQ(isrc, "kept");
        }
    }
}

// Every INFO item of the input reaches the export in the input's order,
// including types JUCE's writer does not know and items after an odd-length
// one, which JUCE's own reader loses.
TEST(HostileInput, EveryInfoItemReachesTheExportInItsOrder)
{
    testwav::TempFolder tmp;
    const std::vector<std::pair<std::string, std::string>> items {
        { "INAM", "Take" },           // odd with its zero: a pad byte follows
        { "IGNR", "Jazz" },           // the common genre id, unknown to JUCE
        { "IART", "Ann Example" },
        { "ICMT", "Mixed at home" },
        { "IMOO", "Calm" },           // any other id
        { "ICRD", "2024-05-01" },
        { "ISRC", "USS1Z9900001" },
        { "GENR", "Jazz" },
        { "TLEN", "1000" },
    };
    const auto input = tmp.file("tagged.wav");
    testwav::writeChunks(input, { { "fmt ", testwav::fmtChunk(1, 48000, 16, 1) },
                                  { "data", pcm16(1, 48000) },
                                  { "LIST", testwav::infoChunk(items) } });

    const auto output = tmp.file("tagged-EBU_R128.wav");
    AudioConverter converter({ makeTask(input, output, -23.0, -1.0, "EBU R128", -23.0f, -20.0f) });
    ASSERT_EQ(enginetest::runToEnd(converter).texts.back(), "LUFS NORMALIZATION COMPLETE !");

    juce::FileInputStream in(output);
    bool foundInfo = false;
    std::vector<std::pair<std::string, std::string>> written;
    for (const auto& item : InfoItems::read(in, foundInfo))
        written.emplace_back(item.id.toStdString(), item.text.toStdString());
    EXPECT_EQ(written, items);
    // The ISRC, which the writer also puts in its axml chunk, is read back.
    EXPECT_EQ(testwav::read(output).metadata.getValue("international standard recording code", {}), "USS1Z9900001");

    double rate = 0.0;
    int bits = 0;
    juce::String isrc;
    AudioConverter::getFileInfo(input, rate, bits, isrc);
    EXPECT_EQ(isrc, "USS1Z9900001");
}
