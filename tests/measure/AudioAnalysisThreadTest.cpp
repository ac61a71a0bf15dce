#include "common/Signals.h"
#include "common/WavFiles.h"
#include "measure/AudioAnalysisThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace
{
constexpr float missing = -999.0f;

struct Report
{
    std::string path;
    int index;
    float lufs;
    float truePeak;
};

// Collects the worker's reports; the callback runs on the worker thread.
struct Reports
{
    std::mutex mutex;
    std::vector<Report> list;

    void install(AudioAnalysisThread& worker)
    {
        worker.onAnalysisComplete = [this](const std::string& path, int index, float lufs, float truePeak) {
            const std::lock_guard<std::mutex> lock(mutex);
            list.push_back({ path, index, lufs, truePeak });
        };
    }

    std::vector<Report> copy()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return list;
    }
};

std::string pathOf(const juce::File& file)
{
    return file.getFullPathName().toStdString();
}

// Starts the worker and waits for it to end by itself.
bool runToEnd(AudioAnalysisThread& worker)
{
    worker.startThread();
    return worker.waitForThreadToExit(120000);
}

size_t queueLength(AudioAnalysisThread& worker)
{
    const juce::ScopedLock lock(worker.queueLock);
    return worker.taskQueue.size();
}

void waitForQueueLength(AudioAnalysisThread& worker, size_t length)
{
    for (int i = 0; i < 60000 && queueLength(worker) != length; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(queueLength(worker), length);
}

// What the analyzer reads for a file's samples fed in the worker's block size.
testsig::Reading expectedFor(const juce::File& file)
{
    const auto contents = testwav::read(file);
    EXPECT_TRUE(contents.ok);
    return testsig::measure(contents.audio, contents.sampleRate, AudioAnalysisThread::blockSize);
}

void appendBytes(const juce::File& file, const void* data, size_t size)
{
    std::ofstream out(file.getFullPathName().toStdString(), std::ios::binary | std::ios::app);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// A canonical 44-byte PCM header whose data chunk claims `dataBytes`.
void writeHeader(const juce::File& file, int channels, int rate, int bits, uint32_t dataBytes)
{
    const int blockAlign = channels * bits / 8;
    juce::MemoryOutputStream header;
    header.write("RIFF", 4);
    header.writeInt(static_cast<int>(std::min<uint64_t>(36u + uint64_t { dataBytes }, 0xffffffffu)));
    header.write("WAVEfmt ", 8);
    header.writeInt(16);
    header.writeShort(1);
    header.writeShort(static_cast<short>(channels));
    header.writeInt(rate);
    header.writeInt(rate * blockAlign);
    header.writeShort(static_cast<short>(blockAlign));
    header.writeShort(static_cast<short>(bits));
    header.write("data", 4);
    header.writeInt(static_cast<int>(dataBytes));
    file.replaceWithData(header.getData(), header.getDataSize());
}

// Two hours of 16-bit stereo silence as a sparse file: instant to make, and
// far longer to measure than any test waits before it stops the worker.
juce::File writeLongSilence(const testwav::TempFolder& temp, const juce::String& name)
{
    const auto file = temp.file(name);
    const uint32_t dataBytes = 2u * 3600u * 48000u * 4u;
    writeHeader(file, 2, 48000, 16, dataBytes);
    std::filesystem::resize_file(file.getFullPathName().toStdString(), 44u + dataBytes);
    return file;
}
} // namespace

class AudioAnalysisThreadTest : public ::testing::Test
{
protected:
    testwav::TempFolder temp;
    Reports reports;

    juce::File writeSine(const juce::String& name, double peakDb, double seconds = 3.0, int channels = 2,
                         double rate = 48000.0, int bits = 24)
    {
        const auto file = temp.file(name);
        EXPECT_TRUE(testwav::write(file, testsig::sine(channels, rate, 1000.0, peakDb, seconds), rate, bits));
        return file;
    }

    // Runs a fresh worker over one file and returns what it reported.
    std::vector<Report> measureAlone(const juce::File& file)
    {
        AudioAnalysisThread worker;
        reports.install(worker);
        worker.addTask({ pathOf(file), 0 });
        EXPECT_TRUE(runToEnd(worker));
        return reports.copy();
    }
};

// ---- Order, indices, values -------------------------------------------------

TEST_F(AudioAnalysisThreadTest, MeasuresInQueueOrderAndHandsBackEachIndexUnchanged)
{
    const auto a = writeSine("a.wav", -12.0);
    const auto b = temp.file("b.wav");
    ASSERT_TRUE(testwav::write(b, testsig::programme(1, 44100.0, 5.0), 44100.0, 16));
    const auto c = writeSine("c.wav", -30.0, 2.0, 6, 96000.0, 32);

    AudioAnalysisThread worker;
    reports.install(worker);
    worker.addTask({ pathOf(c), 7 });
    worker.addTask({ pathOf(a), 3 });
    worker.addTask({ pathOf(b), 11 });
    ASSERT_TRUE(runToEnd(worker));

    const auto got = reports.copy();
    ASSERT_EQ(got.size(), 3u);
    const juce::File files[] = { c, a, b };
    const int indices[] = { 7, 3, 11 };
    for (size_t i = 0; i < 3; ++i)
    {
        SCOPED_TRACE(got[i].path);
        EXPECT_EQ(got[i].path, pathOf(files[i]));
        EXPECT_EQ(got[i].index, indices[i]);
        // Exactly what the analyzer reads for the decoded samples.
        const auto expected = expectedFor(files[i]);
        EXPECT_EQ(got[i].lufs, expected.lufs);
        EXPECT_EQ(got[i].truePeak, expected.truePeak);
    }
    EXPECT_NEAR(got[1].lufs, -12.0, 0.05);
    EXPECT_NEAR(got[1].truePeak, -12.0, 0.2);
    EXPECT_FALSE(worker.hasQueuedTasks());
}

TEST_F(AudioAnalysisThreadTest, PathsOutsideAsciiAreOpened)
{
    const auto file = writeSine(juce::String::fromUTF8("Gr\xc3\xbc\xc3\x9f\x65 \xe2\x80\x93 \xe6\x97\xa5.wav"), -20.0);
    const auto got = measureAlone(file);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_NEAR(got[0].lufs, -20.0, 0.05);
}

TEST_F(AudioAnalysisThreadTest, TheSampleAfterTheFirstBlockIsMeasured)
{
    // 8193 samples: the loud last sample is alone in the second block.
    constexpr double rate = 16000.0;
    auto audio = testsig::sine(2, rate, 1000.0, -30.0, 8193.0 / rate);
    ASSERT_EQ(audio.getNumSamples(), 8193);
    audio.setSample(0, 8192, 0.9f);
    const auto file = temp.file("8193.wav");
    ASSERT_TRUE(testwav::write(file, audio, rate, 32));

    const auto got = measureAlone(file);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_GE(got[0].truePeak, 20.0f * std::log10(0.9f) - 0.01f);
    EXPECT_EQ(got[0].lufs, expectedFor(file).lufs);
    EXPECT_TRUE(std::isfinite(got[0].lufs)); // 512 ms: one gating block
}

TEST_F(AudioAnalysisThreadTest, LongFilesMeasuredInChunksGiveTheSinglePassResults)
{
    // Long enough to be split; odd lengths so the last chunk ends off the
    // block grid.
    const struct
    {
        int channels;
        double rate;
        double seconds;
    } files[] = { { 2, 48000.0, 61.37 }, { 1, 44100.0, 33.9 }, { 6, 96000.0, 30.01 } };
    for (const auto& f : files)
    {
        const auto file = temp.file("long-" + juce::String(f.channels) + ".wav");
        ASSERT_TRUE(testwav::write(file, testsig::programme(f.channels, f.rate, f.seconds, 21), f.rate, 24));
        const auto expected = expectedFor(file);
        const auto got = measureAlone(file);
        reports.list.clear();
        ASSERT_EQ(got.size(), 1u);
        EXPECT_NEAR(got[0].lufs, expected.lufs, 1e-5) << f.channels;
        EXPECT_EQ(got[0].truePeak, expected.truePeak) << f.channels;
    }
}

TEST_F(AudioAnalysisThreadTest, ALongFileUnreadableLateIsMissingNotHalfMeasured)
{
    // The fault lies chunks after the start, while earlier chunks are being
    // measured on other threads.
    constexpr int rate = 48000;
    const auto audio = testsig::programme(2, rate, 30.0, 13);
    juce::MemoryOutputStream data;
    for (int i = 0; i < audio.getNumSamples(); ++i)
        for (int ch = 0; ch < 2; ++ch)
            data.writeFloat(i == 25 * rate ? std::numeric_limits<float>::quiet_NaN() : audio.getSample(ch, i));
    const auto withNaN = temp.file("nan-late.wav");
    testwav::writeRaw(withNaN, 2, rate, 32, 3, data.getMemoryBlock());

    const auto truncated = temp.file("truncated-late.wav");
    ASSERT_TRUE(testwav::write(truncated, audio, rate, 24));
    testwav::truncate(truncated, truncated.getSize() * 9 / 10);

    for (const auto& file : { withNaN, truncated })
    {
        const auto got = measureAlone(file);
        reports.list.clear();
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].lufs, missing) << file.getFileName();
        EXPECT_EQ(got[0].truePeak, missing) << file.getFileName();
    }
}

// ---- Files that cannot be measured ------------------------------------------

TEST_F(AudioAnalysisThreadTest, UnmeasurableFilesReportMissingAndTheNextIsStillMeasured)
{
    const auto text = temp.file("text.wav");
    text.replaceWithText("this is not audio");
    const auto headerOnly = writeSine("header-only.wav", -20.0);
    testwav::truncate(headerOnly, 30);

    // Data chunk claims the whole signal, the file stops half way.
    const auto truncated = writeSine("truncated.wav", -20.0, 10.0);
    testwav::truncate(truncated, truncated.getSize() / 2);
    // Cut inside the last frame only.
    const auto lastFrameCut = writeSine("last-frame.wav", -20.0, 1.0);
    testwav::truncate(lastFrameCut, lastFrameCut.getSize() - 1);

    // Formats the meter refuses: 65 channels, and a rate below 16 Hz.
    const auto wide = temp.file("65-channels.wav");
    juce::MemoryBlock wideData(static_cast<size_t>(65 * 2 * 4800), true);
    testwav::writeRaw(wide, 65, 48000, 16, 1, wideData);
    const auto slow = temp.file("8-hz.wav");
    testwav::writeRaw(slow, 2, 8, 16, 1, juce::MemoryBlock(2 * 2 * 80, true));
    // JUCE itself opens both, so it is the meter's refusal that is reported.
    EXPECT_EQ(testwav::read(wide).channels, 65);
    EXPECT_EQ(testwav::read(slow).sampleRate, 8.0);

    // More samples than an int can count (8-bit mono, 4 GiB claimed).
    const auto huge = temp.file("huge.wav");
    writeHeader(huge, 1, 48000, 8, 0xffffffffu);
    EXPECT_GT(std::unique_ptr<juce::AudioFormatReader>(juce::WavAudioFormat().createReaderFor(
                  huge.createInputStream().release(), true))->lengthInSamples,
              std::numeric_limits<int>::max());

    const auto good = writeSine("good.wav", -18.0);
    const juce::File files[] = { temp.file("missing.wav"), text, headerOnly, truncated, lastFrameCut, wide, slow,
                                 huge, good };

    AudioAnalysisThread worker;
    reports.install(worker);
    int index = 0;
    for (const auto& f : files)
        worker.addTask({ pathOf(f), index++ });
    ASSERT_TRUE(runToEnd(worker));

    const auto got = reports.copy();
    ASSERT_EQ(got.size(), std::size(files));
    for (size_t i = 0; i + 1 < got.size(); ++i)
    {
        SCOPED_TRACE(got[i].path);
        EXPECT_EQ(got[i].index, static_cast<int>(i));
        EXPECT_EQ(got[i].lufs, missing);
        EXPECT_EQ(got[i].truePeak, missing);
    }
    EXPECT_EQ(got.back().path, pathOf(good));
    EXPECT_NEAR(got.back().lufs, -18.0, 0.05);
}

TEST_F(AudioAnalysisThreadTest, CompleteFilesWithChunksAfterTheAudioAreNotMistakenForTruncated)
{
    constexpr double rate = 48000.0;
    juce::StringPairArray metadata;
    metadata.set("ISRC", "GBAYE0601498");
    metadata.set(juce::WavAudioFormat::bwavDescription, "take 3");
    const auto tagged = temp.file("tagged.wav");
    ASSERT_TRUE(testwav::write(tagged, testsig::sine(2, rate, 1000.0, -20.0, 2.0), rate, 16, metadata));

    // A data chunk of odd length is padded to even; a list chunk follows it.
    const auto trailing = temp.file("trailing.wav");
    juce::MemoryBlock data(static_cast<size_t>(3 * 48001), true); // 8-bit, three channels: odd size
    for (size_t i = 0; i < data.getSize(); ++i)
        data[i] = static_cast<char>(128 + ((i / 3) % 40 < 20 ? 60 : -60));
    testwav::writeRaw(trailing, 3, 48000, 8, 1, data);
    const char trailer[] = { 0, 'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O' };
    appendBytes(trailing, trailer, sizeof(trailer));

    AudioAnalysisThread worker;
    reports.install(worker);
    worker.addTask({ pathOf(tagged), 0 });
    worker.addTask({ pathOf(trailing), 1 });
    ASSERT_TRUE(runToEnd(worker));

    const auto got = reports.copy();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_NEAR(got[0].lufs, -20.0, 0.05);
    EXPECT_EQ(got[1].lufs, expectedFor(trailing).lufs);
    EXPECT_GT(got[1].truePeak, -10.0f);
}

// ---- Lifecycle ------------------------------------------------------------

TEST_F(AudioAnalysisThreadTest, AnEmptyQueueEndsTheThread)
{
    AudioAnalysisThread worker;
    reports.install(worker);
    ASSERT_TRUE(runToEnd(worker));
    EXPECT_FALSE(worker.isThreadRunning());
    EXPECT_TRUE(reports.copy().empty());

    // It can be started again for the next batch.
    const auto file = writeSine("next.wav", -20.0, 1.0);
    worker.addTask({ pathOf(file), 4 });
    ASSERT_TRUE(runToEnd(worker));
    ASSERT_EQ(reports.copy().size(), 1u);
}

TEST_F(AudioAnalysisThreadTest, WithoutACallbackTheQueueIsStillWorkedThrough)
{
    AudioAnalysisThread worker;
    worker.addTask({ pathOf(writeSine("a.wav", -20.0, 1.0)), 0 });
    worker.addTask({ pathOf(temp.file("missing.wav")), 1 });
    ASSERT_TRUE(runToEnd(worker));
    EXPECT_FALSE(worker.hasQueuedTasks());
}

TEST_F(AudioAnalysisThreadTest, AStopDuringTheSecondFileReportsTheFirstOnlyAndKeepsTheThird)
{
    const auto first = writeSine("first.wav", -20.0, 1.0);
    const auto second = writeLongSilence(temp, "second.wav");
    const auto third = writeSine("third.wav", -20.0, 1.0);

    AudioAnalysisThread worker;
    reports.install(worker);
    worker.addTask({ pathOf(first), 0 });
    worker.addTask({ pathOf(second), 1 });
    worker.addTask({ pathOf(third), 2 });
    worker.startThread();

    // The second task has left the queue: the worker is on it, and it holds
    // hours of audio.
    waitForQueueLength(worker, 1);
    worker.signalThreadShouldExit();
    ASSERT_TRUE(worker.waitForThreadToExit(60000));

    const auto got = reports.copy();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].path, pathOf(first));
    ASSERT_EQ(queueLength(worker), 1u);
    EXPECT_EQ(worker.taskQueue.front().filePath, pathOf(third));
    EXPECT_EQ(worker.taskQueue.front().index, 2);
}

TEST_F(AudioAnalysisThreadTest, DestroyingARunningWorkerWithQueuedTasksReturnsPromptly)
{
    const auto longFile = writeLongSilence(temp, "long.wav");
    {
        AudioAnalysisThread worker;
        reports.install(worker);
        for (int i = 0; i < 5; ++i)
            worker.addTask({ pathOf(longFile), i });
        worker.startThread();
        waitForQueueLength(worker, 4);
    }
    EXPECT_TRUE(reports.copy().empty());
}
