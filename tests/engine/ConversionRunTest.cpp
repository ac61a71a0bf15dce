#include "ConverterHarness.h"
#include "common/Signals.h"
#include "common/WavFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <utility>

using enginetest::makeTask;
using enginetest::runToEnd;
using Texts = std::vector<juce::String>;

namespace
{
constexpr double rate = 48000.0;

const juce::String starting = "...Starting LUFS Normalization...";
const juce::String complete = "LUFS NORMALIZATION COMPLETE !";

juce::File writeInput(const testwav::TempFolder& tmp, const juce::String& name, const juce::AudioBuffer<float>& audio,
                      int bits = 24)
{
    auto file = tmp.file(name);
    EXPECT_TRUE(testwav::write(file, audio, rate, bits));
    return file;
}

// What the run should do to a buffer when it limits: the same stages, applied
// by hand through the public operations.
juce::AudioBuffer<float> limitGainCorrectLimit(juce::AudioBuffer<float> audio, float preventiveDb, float gainDb,
                                               double targetLufs, double ceiling, float& correctionDb)
{
    AudioConverter stages({});
    stages.applyLimiting(audio, preventiveDb, rate);
    AudioConverter::applyGainOnly(audio, juce::Decibels::decibelsToGain(gainDb, -100.0f));
    correctionDb = static_cast<float>(targetLufs - static_cast<double>(testsig::measure(audio, rate).lufs));
    if (std::abs(correctionDb) > 0.01f)
        AudioConverter::applyGainOnly(audio, juce::Decibels::decibelsToGain(correctionDb, -100.0f));
    stages.applyLimiting(audio, static_cast<float>(ceiling - 1.0), rate);
    return audio;
}
} // namespace

// ---- Status texts, gain and limiting decisions --------------------------------

TEST(ConversionRun, PreAnalysedPairOnTargetNeedsNoGainAndNoLimiting)
{
    testwav::TempFolder tmp;
    const auto input = writeInput(tmp, "take 1.wav", testsig::sine(2, rate, 1000.0, -6.0, 2.0));
    const auto output = tmp.file("take 1-EBU_R128.wav");

    AudioConverter converter({ makeTask(input, output, -23.0, -1.0, "EBU R128", -23.0f, -6.0f) });
    const auto log = runToEnd(converter);

    EXPECT_EQ(log.texts, (Texts { starting, "Normalizing EBU R128 (1/1)",
                                  "(1/1) Using pre-analyzed: -23.00 LUFS, -6.00 dBTP", "(1/1) Perfect LUFS achieved!",
                                  complete }));
    // JUCE's float-to-24-bit conversion may land one step low on some samples.
    EXPECT_LE(enginetest::maxDifference(enginetest::audioOf(output), enginetest::audioOf(input)), 1.0f / 8388608.0f);
    EXPECT_FALSE(converter.isConverting.load());
    EXPECT_EQ(converter.progress.load(), 1.0f);
    EXPECT_EQ(converter.statusText.get(), complete);
}

TEST(ConversionRun, StreamingTargetLimitsBeforeTheGainThenCorrectsAndLimitsBelowTheCeiling)
{
    testwav::TempFolder tmp;
    const auto input = writeInput(tmp, "mix.wav", testsig::programme(2, rate, 20.0));
    const auto output = tmp.file("mix-Streaming.wav");

    AudioConverter converter({ makeTask(input, output, -14.0, -1.0, "Streaming", -30.0f, -3.0f) });
    const auto log = runToEnd(converter);

    float correction = 0.0f;
    const auto expected = limitGainCorrectLimit(enginetest::audioOf(input), -15.5f, 16.0f, -14.0, -1.0, correction);
    const juce::String correctionText = std::abs(correction) > 0.01f
                                            ? "(1/1) Final LUFS correction: " + juce::String(correction, 2) + " dB"
                                            : juce::String("(1/1) Perfect LUFS achieved!");

    EXPECT_EQ(log.texts, (Texts { starting, "Normalizing Streaming (1/1)",
                                  "(1/1) Using pre-analyzed: -30.00 LUFS, -3.00 dBTP",
                                  "(1/1) Preventive limiting at -15.5 dB", "(1/1) Final LUFS correction: 16.00 dB",
                                  "(1/1) Final LUFS analysis...", correctionText, complete }));

    const auto written = enginetest::audioOf(output);
    EXPECT_LT(enginetest::maxDifference(written, expected), 1.0e-6f); // 24-bit rounding only
    EXPECT_LT(enginetest::samplePeakDb(written), -1.7f);
}

// The limiter sees sample values only, so peaks between the samples could end
// a limited export over its ceiling; by our own meter it must not.
TEST(ConversionRun, LimitedExportsEndAtOrUnderTheirCeiling)
{
    testwav::TempFolder tmp;
    auto clicks = testsig::noise(2, rate, -45.0, 12.0, 5);
    for (int at = 2000; at < clicks.getNumSamples(); at += 9001)
        for (int ch = 0; ch < 2; ++ch)
        {
            clicks.setSample(ch, at, 0.95f);
            clicks.setSample(ch, at + 1, -0.9f);
        }

    struct Case
    {
        const char* name;
        juce::AudioBuffer<float> audio;
        int bits;
        double lufs;
        double ceiling;
    };
    const Case cases[] = {
        { "clicks", clicks, 24, -14.0, -2.0 },
        { "clicks16", clicks, 16, -14.0, -1.0 },
        { "clicks32", clicks, 32, -16.0, -1.5 },
        { "clicks8", clicks, 8, -14.0, -1.0 },
        { "programme", testsig::programme(2, rate, 10.0), 24, -16.0, -1.0 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        const auto input = writeInput(tmp, juce::String(c.name) + ".wav", c.audio, c.bits);
        const auto output = tmp.file(juce::String(c.name) + "-out.wav");
        AudioConverter converter({ makeTask(input, output, c.lufs, c.ceiling, "T") });
        const auto log = runToEnd(converter);

        ASSERT_EQ(log.texts.back(), complete);
        EXPECT_NE(std::find(log.texts.begin(), log.texts.end(), "(1/1) Final LUFS analysis..."), log.texts.end());
        const auto reading = testsig::measure(enginetest::audioOf(output), rate);
        EXPECT_LE(reading.truePeak, c.ceiling);
    }
}

TEST(ConversionRun, PredictedPeakExactlyAtTheCeilingIsNotLimited)
{
    testwav::TempFolder tmp;
    const auto source = testsig::sine(2, rate, 1000.0, -10.0, 2.0);
    const auto input = writeInput(tmp, "tone.wav", source, 32);
    const auto output = tmp.file("tone-Custom.wav");

    // G = 3 and Q = -4 + 3 = -1, the ceiling itself.
    AudioConverter converter({ makeTask(input, output, -17.0, -1.0, "Custom", -20.0f, -4.0f) });
    const auto log = runToEnd(converter);

    EXPECT_EQ(log.texts, (Texts { starting, "Normalizing Custom (1/1)",
                                  "(1/1) Using pre-analyzed: -20.00 LUFS, -4.00 dBTP",
                                  "(1/1) Final LUFS correction: 3.00 dB", complete }));
    auto expected = source;
    expected.applyGain(juce::Decibels::decibelsToGain(3.0f));
    EXPECT_LT(enginetest::maxDifference(enginetest::audioOf(output), expected), 1.0e-6f);
}

TEST(ConversionRun, PreventiveThresholdIsALevelBelowFullScaleNotBelowTheFilesPeak)
{
    testwav::TempFolder tmp;
    const auto input = writeInput(tmp, "tone.wav", testsig::sine(2, rate, 1000.0, -6.0, 3.0));

    // P = -6, G = 7: Q = 1 overshoots -1 by 2 dB, so T = -3.5 dB, above every sample.
    AudioConverter converter({ makeTask(input, tmp.file("out.wav"), -23.0, -1.0, "EBU R128", -30.0f, -6.0f) });
    const auto log = runToEnd(converter);

    ASSERT_GE(log.texts.size(), 6u);
    EXPECT_EQ(log.texts[3], "(1/1) Preventive limiting at -3.5 dB");
    EXPECT_EQ(log.texts[4], "(1/1) Final LUFS correction: 7.00 dB");
    EXPECT_EQ(log.texts[5], "(1/1) Final LUFS analysis...");
    EXPECT_EQ(log.texts.back(), complete);

    const auto original = enginetest::audioOf(input);
    auto preventive = original;
    AudioConverter({}).applyLimiting(preventive, -3.5f, rate);
    EXPECT_EQ(enginetest::maxDifference(preventive, original), 0.0f);

    float correction = 0.0f;
    const auto expected = limitGainCorrectLimit(original, -3.5f, 7.0f, -23.0, -1.0, correction);
    EXPECT_LT(enginetest::maxDifference(enginetest::audioOf(tmp.file("out.wav")), expected), 1.0e-6f);
}

TEST(ConversionRun, GainsOfAThousandthOfADecibelOrLessAreNotApplied)
{
    testwav::TempFolder tmp;
    const auto input = writeInput(tmp, "tone.wav", testsig::sine(2, rate, 1000.0, -6.0, 1.0));

    // Both loudness values are exact in float: G = 2^-10 dB and 2^-9 dB.
    const std::pair<float, juce::String> cases[] = {
        { -23.0009765625f, "(1/1) Perfect LUFS achieved!" },
        { -23.001953125f, "(1/1) Final LUFS correction: 0.00 dB" },
    };
    for (const auto& [lufs, expected] : cases)
    {
        AudioConverter converter({ makeTask(input, tmp.file("out.wav"), -23.0, -1.0, "EBU R128", lufs, -6.0f) });
        const auto log = runToEnd(converter);
        ASSERT_GE(log.texts.size(), 4u);
        EXPECT_EQ(log.texts[3], expected) << lufs;
        EXPECT_EQ(log.texts.back(), complete);
    }
}

TEST(ConversionRun, MeasuresTheFileWhenEitherPreAnalysedValueIsMissing)
{
    testwav::TempFolder tmp;
    const auto input = writeInput(tmp, "tone.wav", testsig::sine(2, rate, 1000.0, -20.0, 5.0));
    const auto reading = testsig::measure(enginetest::audioOf(input), rate);
    const juce::String original = "(1/1) Original: " + juce::String(reading.lufs, 2) + " LUFS, "
                                  + juce::String(reading.truePeak, 2) + " dBTP";

    for (const auto& [lufs, peak] : { std::pair { -23.0f, -999.0f }, std::pair { -999.0f, -6.0f } })
    {
        AudioConverter converter({ makeTask(input, tmp.file("out.wav"), -23.0, -1.0, "EBU R128", lufs, peak) });
        const auto log = runToEnd(converter);

        ASSERT_GE(log.texts.size(), 4u);
        EXPECT_EQ(log.texts[2], "(1/1) Analyzing tone...");
        EXPECT_EQ(log.texts[3], original);
        EXPECT_EQ(log.texts.back(), complete);
    }
}

TEST(ConversionRun, SilentFileIsCopiedWithoutGainOrLimiting)
{
    testwav::TempFolder tmp;
    juce::AudioBuffer<float> silence(2, 3 * 48000);
    silence.clear();
    const auto input = writeInput(tmp, "silence.wav", silence, 16);
    const auto output = tmp.file("silence-EBU_R128.wav");

    AudioConverter converter({ makeTask(input, output, -23.0, -1.0, "EBU R128") });
    const auto log = runToEnd(converter);

    EXPECT_EQ(log.texts, (Texts { starting, "Normalizing EBU R128 (1/1)", "(1/1) Analyzing silence...",
                                  "(1/1) Original: -inf LUFS, -100.00 dBTP", "(1/1) Silent file: no LUFS change",
                                  complete }));
    EXPECT_EQ(enginetest::maxDifference(enginetest::audioOf(output), silence), 0.0f);
}

TEST(ConversionRun, FileShorterThanOneGatingBlockIsLimitedButGetsNoGain)
{
    testwav::TempFolder tmp;
    const auto input = writeInput(tmp, "blip.wav", testsig::sine(2, rate, 997.0, -0.5, 0.2));
    const auto output = tmp.file("blip-EBU_R128.wav");
    const auto peak = testsig::measure(enginetest::audioOf(input), rate).truePeak;
    ASSERT_GT(peak, -1.0f);
    const float threshold = -(static_cast<float>(static_cast<double>(peak) + 1.0) + 1.5f);

    AudioConverter converter({ makeTask(input, output, -23.0, -1.0, "EBU R128") });
    const auto log = runToEnd(converter);

    EXPECT_EQ(log.texts, (Texts { starting, "Normalizing EBU R128 (1/1)", "(1/1) Analyzing blip...",
                                  "(1/1) Original: -inf LUFS, " + juce::String(peak, 2) + " dBTP",
                                  "(1/1) Silent file: no LUFS change",
                                  "(1/1) Preventive limiting at " + juce::String(threshold, 1) + " dB",
                                  "(1/1) Final LUFS analysis...", "(1/1) Perfect LUFS achieved!", complete }));
    EXPECT_LT(enginetest::samplePeakDb(enginetest::audioOf(output)), -1.8f);
}

TEST(ConversionRun, OutputAskedForUnderTheInputsOwnNameLeavesTheInputAlone)
{
    testwav::TempFolder tmp;
    const auto input = writeInput(tmp, "tone.wav", testsig::sine(2, rate, 1000.0, -20.0, 1.0));
    const auto before = testwav::bytes(input);

    AudioConverter converter({ makeTask(input, input, -23.0, -1.0, "EBU R128") });
    const auto log = runToEnd(converter);

    EXPECT_EQ(log.texts.back(), complete);
    EXPECT_EQ(testwav::bytes(input), before);
    EXPECT_TRUE(testwav::read(tmp.file("tone_1.wav")).ok);
}

// ---- Progress, failure and the end of a run -------------------------------------

TEST(ConversionRun, ProgressStepsThroughEveryTaskAndEndsAtOne)
{
    testwav::TempFolder tmp;
    const auto input = writeInput(tmp, "tone.wav", testsig::sine(1, rate, 1000.0, -20.0, 1.0));
    std::vector<AudioConverter::ConversionTask> tasks;
    for (const auto* name : { "A", "B", "C" })
        tasks.push_back(makeTask(input, tmp.file(juce::String("tone-") + name + ".wav"), -23.0, -1.0, name, -20.0f,
                                 -20.0f));

    AudioConverter converter(tasks);
    const auto log = runToEnd(converter);

    std::vector<float> atTaskStarts;
    for (size_t i = 0; i < log.texts.size(); ++i)
        if (log.texts[i].startsWith("Normalizing ") || log.texts[i] == complete)
            atTaskStarts.push_back(log.progressAtText[i]);

    const double step = 1.0 / 3;
    EXPECT_EQ(atTaskStarts, (std::vector<float> { 0.05f, static_cast<float>(step), static_cast<float>(2 * step),
                                                   static_cast<float>(3 * step) }));
    EXPECT_EQ(converter.progress.load(), 1.0f);

    AudioConverter single({ makeTask(input, tmp.file("single.wav"), -23.0, -1.0, "A", -20.0f, -20.0f) });
    const auto singleLog = runToEnd(single);
    EXPECT_EQ(singleLog.progressAtText[1], 0.05f);
    EXPECT_EQ(single.progress.load(), 1.0f);
}

TEST(ConversionRun, FailureStopsTheRunAndNamesTheTargetAndTheFile)
{
    testwav::TempFolder tmp;
    const auto good = writeInput(tmp, "good.wav", testsig::sine(2, rate, 1000.0, -20.0, 1.0));
    const auto first = tmp.file("good-A.wav");
    const auto third = tmp.file("good-C.wav");

    AudioConverter converter({ makeTask(good, first, -23.0, -1.0, "A"),
                               makeTask(tmp.file("gone.wav"), tmp.file("gone-B.wav"), -23.0, -1.0, "B"),
                               makeTask(good, third, -23.0, -1.0, "C") });
    const auto log = runToEnd(converter);

    EXPECT_TRUE(first.existsAsFile());
    EXPECT_FALSE(third.exists());
    EXPECT_FALSE(tmp.file("gone-B.wav").exists());
    EXPECT_EQ(converter.progress.load(), 6666.0f);
    EXPECT_FALSE(converter.isConverting.load());
    ASSERT_GE(log.texts.size(), 2u);
    EXPECT_EQ(log.texts[log.texts.size() - 2], "Error: Cannot read input file");
    EXPECT_EQ(log.texts.back(), "Error: failed for B / gone.wav");
    EXPECT_EQ(converter.statusText.get(), "Error: failed for B / gone.wav");
    for (const auto& text : log.texts)
        EXPECT_FALSE(text.contains("(3/3)"));
}

TEST(ConversionRun, ConverterAnswersItsLastStateAfterTheRunAndCanBeDestroyedAnyTime)
{
    {
        AudioConverter neverStarted({});
        EXPECT_FALSE(neverStarted.isConverting.load());
        EXPECT_EQ(neverStarted.progress.load(), 0.0f);
        EXPECT_EQ(neverStarted.failureProgress, 6666);
    }

    AudioConverter empty({});
    const auto log = runToEnd(empty);
    EXPECT_EQ(log.texts, (Texts { starting, complete }));
    EXPECT_FALSE(empty.isConverting.load());
    EXPECT_EQ(empty.statusText.get(), complete);
}

// ---- Stopping ----------------------------------------------------------------------

namespace
{
// Raises the stop request from inside the run at the `nth` status text of a
// task (counted from 1 after its "Normalizing" text), so the stop lands in a
// known stage: the stage that text starts. `stoppedAt` receives the text.
void stopAtTaskText(AudioConverter& converter, const juce::String& taskPrefix, int nth, juce::String& stoppedAt,
                    juce::WaitableEvent& reached)
{
    converter.onStatusChanged = [&converter, taskPrefix, nth, &stoppedAt, &reached, seen = 0](const juce::String& text) mutable
    {
        if (text.startsWith(taskPrefix) && ++seen == nth)
        {
            stoppedAt = text;
            converter.signalThreadShouldExit();
            reached.signal();
        }
    };
}
} // namespace

TEST(ConversionRun, StopDuringATaskAbandonsItWithoutOutputOrMessage)
{
    testwav::TempFolder tmp;
    const auto input = writeInput(tmp, "mix.wav", testsig::programme(2, rate, 30.0));

    // Task 2's texts: Analyzing (measuring), Original, Preventive limiting,
    // the gain, Final LUFS analysis (measuring again), and the correction,
    // after which come the final limiting and the last true-peak pass.
    for (const int nth : { 1, 3, 5, 6 })
    {
        const auto first = tmp.file("mix-A.wav");
        const auto second = tmp.file("mix-B.wav");
        first.deleteFile();
        second.deleteFile();

        AudioConverter converter({ makeTask(input, first, -23.0, -1.0, "A"), makeTask(input, second, -14.0, -1.0, "B"),
                                   makeTask(input, tmp.file("mix-C.wav"), -23.0, -1.0, "C") });
        juce::WaitableEvent reached;
        juce::String stage;
        stopAtTaskText(converter, "(2/3) ", nth, stage, reached);
        converter.startThread();
        ASSERT_TRUE(reached.wait(60000)) << nth;
        EXPECT_TRUE(converter.stopThread(2000)) << stage;

        EXPECT_TRUE(first.existsAsFile()) << stage;
        EXPECT_FALSE(second.exists()) << stage;
        EXPECT_FALSE(tmp.file("mix-C.wav").exists()) << stage;
        EXPECT_TRUE(converter.isConverting.load()) << stage;
        EXPECT_EQ(converter.statusText.get(), stage);
        EXPECT_FLOAT_EQ(converter.progress.load(), 1.0f / 3.0f) << stage;
        EXPECT_EQ(tmp.folder().getNumberOfChildFiles(juce::File::findFiles), 2) << stage;
    }
}

TEST(ConversionRun, StopDuringTheFinalWaitEndsItAndClearsTheBusyFlag)
{
    AudioConverter converter({});
    juce::WaitableEvent finished;
    converter.onStatusChanged = [&finished](const juce::String& text)
    {
        if (text == complete)
            finished.signal();
    };
    converter.startThread();
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_TRUE(converter.stopThread(2000));
    EXPECT_FALSE(converter.isConverting.load());
}

// ---- Inputs the engine refuses -------------------------------------------------

namespace
{
// A RIFF/WAVE header whose data chunk claims `dataBytes`, followed by a few
// real bytes.
void writeHeaderClaiming(const juce::File& file, uint32_t dataBytes)
{
    juce::FileOutputStream out(file);
    out.write("RIFF", 4);
    out.writeInt(-1);
    out.write("WAVE", 4);
    out.write("fmt ", 4);
    out.writeInt(16);
    out.writeShort(1);
    out.writeShort(1);
    out.writeInt(48000);
    out.writeInt(48000);
    out.writeShort(1);
    out.writeShort(8);
    out.write("data", 4);
    out.writeInt(static_cast<int>(dataBytes));
    for (int i = 0; i < 4800; ++i)
        out.writeByte(static_cast<char>(128 + (i % 64)));
}

// Runs one EBU R128 task and expects it to fail as unreadable, leaving the
// output folder as it was.
void expectUnreadable(const testwav::TempFolder& tmp, const juce::File& input, float preLufs, float prePeak)
{
    const auto before = tmp.folder().getNumberOfChildFiles(juce::File::findFilesAndDirectories);
    AudioConverter converter({ makeTask(input, tmp.file("out.wav"), -23.0, -1.0, "EBU R128", preLufs, prePeak) });
    const auto log = runToEnd(converter);

    ASSERT_GE(log.texts.size(), 2u) << input.getFileName();
    EXPECT_EQ(log.texts[log.texts.size() - 2], "Error: Cannot read input file") << input.getFileName();
    EXPECT_EQ(log.texts.back(), "Error: failed for EBU R128 / " + input.getFileName());
    EXPECT_EQ(converter.progress.load(), 6666.0f);
    EXPECT_EQ(tmp.folder().getNumberOfChildFiles(juce::File::findFilesAndDirectories), before);
}
} // namespace

TEST(ConversionRun, FormatsTheMeterRefusesFailAsUnreadableEvenWithPreAnalysedValues)
{
    testwav::TempFolder tmp;

    juce::MemoryBlock wide(65 * 2 * 4800, true);
    testwav::writeRaw(tmp.file("65 channels.wav"), 65, 48000, 16, 1, wide);
    juce::MemoryBlock slow(2 * 800, true);
    testwav::writeRaw(tmp.file("8 Hz.wav"), 1, 8, 16, 1, slow);
    ASSERT_NE(enginetest::openReader(tmp.file("65 channels.wav")), nullptr);
    ASSERT_NE(enginetest::openReader(tmp.file("8 Hz.wav")), nullptr);

    for (const auto* name : { "65 channels.wav", "8 Hz.wav" })
    {
        expectUnreadable(tmp, tmp.file(name), -999.0f, -999.0f);
        expectUnreadable(tmp, tmp.file(name), -23.0f, -6.0f);
    }
}

TEST(ConversionRun, FileLongerThanABufferCanHoldFailsAsUnreadable)
{
    testwav::TempFolder tmp;
    const auto input = tmp.file("huge.wav");
    writeHeaderClaiming(input, 0xFFFFFFF0u);
    const auto reader = enginetest::openReader(input);
    ASSERT_NE(reader, nullptr);
    ASSERT_GT(reader->lengthInSamples, std::numeric_limits<int>::max());

    expectUnreadable(tmp, input, -23.0f, -6.0f);
}

TEST(ConversionRun, TruncatedInputFailsAsUnreadableInsteadOfExportingPaddedSilence)
{
    testwav::TempFolder tmp;
    const auto input = tmp.file("cut.wav");
    ASSERT_TRUE(testwav::write(input, testsig::sine(2, 48000.0, 1000.0, -20.0, 2.0), 48000.0, 24));
    testwav::truncate(input, input.getSize() / 2);
    ASSERT_NE(enginetest::openReader(input), nullptr);

    // Both with its own measurement and with a pre-analysed pair, which skips it.
    expectUnreadable(tmp, input, -999.0f, -999.0f);
    expectUnreadable(tmp, input, -20.0f, -20.0f);
}

// ---- The shared status text ------------------------------------------------------

TEST(LockedString, ReaderSeesEitherTheOldOrTheNewTextNeverAMix)
{
    AudioConverter::LockedString shared;
    const juce::String a = juce::String::repeatedString("A", 4000);
    const juce::String b = juce::String::repeatedString("b", 3000) + "tail";
    shared = a;

    std::atomic<bool> done { false };
    std::thread writer([&]
    {
        for (int i = 0; i < 200000; ++i)
            shared = (i % 2 == 0) ? b : a;
        done = true;
    });

    int torn = 0;
    int reads = 0;
    while (!done.load() || reads < 1000)
    {
        const auto seen = shared.get();
        if (seen != a && seen != b)
            ++torn;
        ++reads;
    }
    writer.join();
    EXPECT_EQ(torn, 0);
}
