// The engine's two kinds of export against their natural yardsticks, on a
// 10-minute 48 kHz stereo 24-bit programme-like file:
//   (a) a pre-analysed export that needs no limiting, against a plain JUCE
//       read-and-write copy of the same file (goal: at most 1.5 x);
//   (b) an export that measures and limits (Streaming), against one
//       measurement pass of the file by the background worker (goal: at most
//       1.5 x), with each stage of (b) timed on its own;
// and the peak resident memory of each export, in a fresh process, against
// the input file's size (goal: at most 1.25).
//
//   engine_bench [benchmark flags]
//   engine_bench --rss-child <idle|a|b> <input> <output folder>   (internal)

#include "common/Signals.h"
#include "common/WavFiles.h"
#include "engine/AudioConverter.h"
#include "engine/JuceCompat.h"
#include "engine/OutputFile.h"
#include "measure/AudioAnalysisThread.h"
#include "measure/BufferMeter.h"
#include "measure/LoudnessAnalyzer.h"
#include "measure/ParallelLoudness.h"
#include "measure/TruePeak.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include <sys/resource.h>

namespace
{
using Clock = std::chrono::steady_clock;

constexpr double sampleRate = 48000.0;
constexpr double seconds = 600.0;
constexpr int blockSize = 4096;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::unique_ptr<juce::AudioFormatReader> openReader(const juce::File& file)
{
    juce::AudioFormatManager formats;
    formats.registerBasicFormats();
    return std::unique_ptr<juce::AudioFormatReader>(formats.createReaderFor(file));
}

juce::AudioBuffer<float> readAll(juce::AudioFormatReader& reader)
{
    juce::AudioBuffer<float> audio(static_cast<int>(reader.numChannels), static_cast<int>(reader.lengthInSamples));
    reader.read(&audio, 0, audio.getNumSamples(), 0, true, true);
    return audio;
}

// The same block walk the engine's measurement makes.
testsig::Reading measureInBlocks(const juce::AudioBuffer<float>& audio)
{
    return testsig::measure(audio, sampleRate, blockSize);
}

// The engine's measurements: in chunks on every core when the buffer is long
// enough, otherwise one pass measuring only what is asked.
testsig::Reading engineMeasurement(const juce::AudioBuffer<float>& audio, ParallelLoudness::Measures measures)
{
    const int rate = static_cast<int>(sampleRate);
    if (ParallelLoudness::chunkLength(audio.getNumChannels(), rate, audio.getNumSamples()) > 0)
    {
        ParallelLoudness::Reading r;
        ParallelLoudness::measureBuffer(audio, rate, measures, ParallelLoudness::availableThreads(), {}, r);
        return { r.lufs, r.truePeak };
    }
    testsig::Reading r { 0.0f, -100.0f };
    switch (measures)
    {
        case ParallelLoudness::Measures::loudnessAndTruePeak: return measureInBlocks(audio);
        case ParallelLoudness::Measures::loudnessOnly: measureIntegratedLoudness(audio, rate, blockSize, {}, r.lufs); break;
        case ParallelLoudness::Measures::truePeakOnly: measureTruePeak(audio, rate, blockSize, {}, r.truePeak); break;
    }
    return r;
}

AudioConverter::ConversionTask exportTask(const juce::File& input, const juce::File& folder, char mode,
                                          const testsig::Reading& preAnalysed)
{
    AudioConverter::ConversionTask task;
    task.inputFile = input;
    if (mode == 'a')
    {
        task.outputFile = folder.getChildFile("ten-minutes-EBU_R128.wav");
        task.targetLUFS = -23.0;
        task.targetTruePeak = -1.0;
        task.targetName = "EBU R128";
        task.preAnalyzedLUFS = preAnalysed.lufs;
        task.preAnalyzedTruePeak = preAnalysed.truePeak;
    }
    else
    {
        task.outputFile = folder.getChildFile("ten-minutes-Streaming.wav");
        task.targetLUFS = -14.0;
        task.targetTruePeak = -1.0;
        task.targetName = "Streaming";
    }
    return task;
}

// Runs one export and returns the time until its final message (the run's
// closing 500 ms wait is cut short and not counted), or -1 on failure.
double timeExport(const AudioConverter::ConversionTask& task, std::vector<juce::String>* texts = nullptr)
{
    AudioConverter converter({ task });
    juce::WaitableEvent finished;
    bool ok = false;
    converter.onStatusChanged = [&](const juce::String& text)
    {
        if (texts != nullptr)
            texts->push_back(text);
        if (text == "LUFS NORMALIZATION COMPLETE !" || text.startsWith("Error: failed"))
        {
            ok = !text.startsWith("Error");
            finished.signal();
        }
    };
    const auto start = Clock::now();
    converter.startThread();
    finished.wait(-1);
    const double elapsed = secondsSince(start);
    converter.stopThread(2000);
    task.outputFile.deleteFile();
    return ok ? elapsed : -1.0;
}

struct Fixture
{
    testwav::TempFolder temp;
    juce::File input;
    juce::File outputs;
    testsig::Reading reading {};

    Fixture()
    {
        input = temp.file("ten-minutes.wav");
        outputs = temp.file("out");
        outputs.createDirectory();
        const auto audio = testsig::programme(2, sampleRate, seconds);
        if (!testwav::write(input, audio, sampleRate, 24))
            std::abort();
        reading = measureInBlocks(audio);
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

// Best time of each benchmark, for the summary.
std::map<std::string, double> best;

void record(const std::string& name, double value)
{
    auto [it, inserted] = best.emplace(name, value);
    if (!inserted)
        it->second = std::min(it->second, value);
}

// One measurement pass as the user waits for it: the background worker's
// whole path for the file.
void BM_MeasurementPass(benchmark::State& state)
{
    auto& f = fixture();
    for (auto _ : state)
    {
        AudioAnalysisThread worker;
        bool reported = false;
        worker.onAnalysisComplete = [&](const std::string&, int, float lufs, float) { reported = lufs > -100.0f; };
        worker.addTask({ f.input.getFullPathName().toStdString(), 0 });
        const auto start = Clock::now();
        worker.startThread();
        worker.waitForThreadToExit(-1);
        const double elapsed = secondsSince(start);
        if (!reported)
            state.SkipWithError("measurement failed");
        state.SetIterationTime(elapsed);
        record("measure", elapsed);
    }
}

void BM_PlainCopy(benchmark::State& state)
{
    auto& f = fixture();
    const auto copy = f.outputs.getChildFile("copy.wav");
    for (auto _ : state)
    {
        const auto start = Clock::now();
        {
            const auto reader = openReader(f.input);
            const auto audio = readAll(*reader);
            std::unique_ptr<juce::OutputStream> stream = std::make_unique<juce::FileOutputStream>(copy, 16384);
            auto writer = createWavWriter(stream, reader->sampleRate, reader->numChannels,
                                          static_cast<int>(reader->bitsPerSample), reader->metadataValues, 0);
            if (writer == nullptr || !writer->writeFromAudioSampleBuffer(audio, 0, audio.getNumSamples()))
                state.SkipWithError("copy failed");
        }
        const double elapsed = secondsSince(start);
        state.SetIterationTime(elapsed);
        record("copy", elapsed);
        copy.deleteFile();
    }
}

void BM_ExportPreAnalysedNoLimiting(benchmark::State& state)
{
    auto& f = fixture();
    for (auto _ : state)
    {
        const double elapsed = timeExport(exportTask(f.input, f.outputs, 'a', f.reading));
        if (elapsed < 0)
            state.SkipWithError("export failed");
        state.SetIterationTime(elapsed);
        record("a", elapsed);
    }
}

void BM_ExportMeasureAndLimit(benchmark::State& state)
{
    auto& f = fixture();
    for (auto _ : state)
    {
        std::vector<juce::String> texts;
        const double elapsed = timeExport(exportTask(f.input, f.outputs, 'b', f.reading), &texts);
        const bool limited = std::any_of(texts.begin(), texts.end(),
                                         [](const juce::String& t) { return t.contains("Preventive limiting"); });
        if (elapsed < 0 || !limited)
            state.SkipWithError("export did not limit");
        state.SetIterationTime(elapsed);
        record("b", elapsed);
    }
}

// (b) stage by stage, through the engine's own operations.
void BM_StagesOfMeasureAndLimit(benchmark::State& state)
{
    auto& f = fixture();
    AudioConverter stages({});
    for (auto _ : state)
    {
        std::map<std::string, double> t;
        auto start = Clock::now();
        const auto lap = [&](const char* name)
        {
            t[name] = secondsSince(start);
            start = Clock::now();
        };
        const auto total = Clock::now();

        const auto reader = openReader(f.input);
        auto audio = readAll(*reader);
        lap("read");
        const auto original = engineMeasurement(audio, ParallelLoudness::Measures::loudnessAndTruePeak);
        lap("measure");
        const auto gain = static_cast<float>(-14.0 - original.lufs);
        const auto overshoot = static_cast<float>(static_cast<double>(original.truePeak + gain) + 1.0);
        stages.applyLimiting(audio, -(overshoot + 1.5f), sampleRate);
        lap("preventive limiting");
        AudioConverter::applyGainOnly(audio, juce::Decibels::decibelsToGain(gain, -100.0f));
        lap("gain");
        const auto limitedLufs = engineMeasurement(audio, ParallelLoudness::Measures::loudnessOnly).lufs;
        lap("second measurement");
        AudioConverter::applyGainOnly(audio, juce::Decibels::decibelsToGain(
                                                 static_cast<float>(-14.0 - limitedLufs), -100.0f));
        stages.applyLimiting(audio, -2.0f, sampleRate);
        lap("correction and final limiting");
        const float finalPeak = engineMeasurement(audio, ParallelLoudness::Measures::truePeakOnly).truePeak;
        if (finalPeak > -1.005f)
            AudioConverter::applyGainOnly(audio, juce::Decibels::decibelsToGain(-1.005f - finalPeak, -100.0f));
        lap("final true peak");
        const auto written = OutputFile::write(audio, *reader, f.outputs.getChildFile("stages.wav"));
        lap("write");

        const double elapsed = secondsSince(total);
        state.SetIterationTime(elapsed);
        for (const auto& [name, value] : t)
        {
            state.counters[name + " ms"] = value * 1000.0;
            record("stage " + name, value);
        }
        written.file.deleteFile();
    }
}

BENCHMARK(BM_MeasurementPass)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlainCopy)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExportPreAnalysedNoLimiting)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExportMeasureAndLimit)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_StagesOfMeasureAndLimit)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

long peakResidentKb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// In the child: one export in a process that has held nothing else.
int rssChild(const std::string& mode, const juce::File& input, const juce::File& folder)
{
    if (mode != "idle")
    {
        // The pre-analysed pair need not be exact for the memory figure; the
        // file's loudness is far from the target peak either way.
        const testsig::Reading guess { -15.0f, 0.0f };
        if (timeExport(exportTask(input, folder, mode[0], mode == "a" ? guess : testsig::Reading {})) < 0)
            return 1;
    }
    std::printf("%ld\n", peakResidentKb());
    return 0;
}

long peakOfChild(const std::string& mode)
{
    auto& f = fixture();
    juce::ChildProcess child;
    const juce::StringArray args { juce::File::getSpecialLocation(juce::File::currentExecutableFile).getFullPathName(),
                                   "--rss-child", juce::String(mode), f.input.getFullPathName(),
                                   f.outputs.getFullPathName() };
    if (!child.start(args))
        return -1;
    const auto output = child.readAllProcessOutput();
    return child.getExitCode() == 0 ? output.trim().getLargeIntValue() : -1;
}

// "-" for a figure whose benchmark was filtered out.
std::string figure(const std::string& name, double scale = 1000.0)
{
    const auto it = best.find(name);
    return it == best.end() ? std::string("-") : juce::String(it->second * scale, 1).toStdString();
}

std::string ratio(const std::string& numerator, const std::string& denominator)
{
    if (best.count(numerator) == 0 || best.count(denominator) == 0)
        return "-";
    return juce::String(best[numerator] / best[denominator], 2).toStdString();
}

void printSummary()
{
    const double fileMb = static_cast<double>(fixture().input.getSize()) / (1024.0 * 1024.0);
    std::printf("\nSummary (best of the runs above, 10-minute 48 kHz stereo 24-bit file, %.1f MB)\n", fileMb);
    std::printf("  on %d core(s)\n", ParallelLoudness::availableThreads());
    std::printf("  one measurement pass (worker):         %8s ms\n", figure("measure").c_str());
    std::printf("  plain JUCE read-and-write copy:        %8s ms\n", figure("copy").c_str());
    std::printf("  (a) pre-analysed, no limiting:         %8s ms = %s x copy     (goal <= 1.5)\n",
                figure("a").c_str(), ratio("a", "copy").c_str());
    std::printf("  (b) measured, limited (Streaming):     %8s ms = %s x measure  (goal <= 1.5)\n",
                figure("b").c_str(), ratio("b", "measure").c_str());
    std::printf("  stages of (b):\n");
    for (const auto* stage : { "read", "measure", "preventive limiting", "gain", "second measurement",
                               "correction and final limiting", "final true peak", "write" })
        std::printf("    %-30s %8s ms\n", stage, figure(std::string("stage ") + stage).c_str());

    const long idle = peakOfChild("idle");
    std::printf("  peak resident memory (fresh process; idle process: %.1f MB):\n", static_cast<double>(idle) / 1024.0);
    for (const auto* mode : { "a", "b" })
    {
        const double peakMb = static_cast<double>(peakOfChild(mode)) / 1024.0;
        std::printf("    (%s) %8.1f MB = %.3f x file size  (goal <= 1.25)\n", mode, peakMb,
                    static_cast<float>(peakMb / fileMb));
    }
}
} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--rss-child") == 0)
        return rssChild(argv[2], juce::File(juce::String(argv[3])), juce::File(juce::String(argv[4])));

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printSummary();
    return 0;
}
