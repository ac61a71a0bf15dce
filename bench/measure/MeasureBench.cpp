// The analysis worker's whole path for one file (open, read, measure, report)
// side by side with ffmpeg's ebur128 filter (peak=true) and with a bare loop
// over one libebur128 state (integrated loudness and true peak) fed the same
// samples, already interleaved, in large pieces. All three run on the cores
// this process may use, so `taskset -c 0-1 measure_bench` compares them on
// two cores; bench/compare runs it on all cores, two and one. Also reading a
// float file with and without the check for non-finite samples, and the
// resident memory the worker's path adds.
//
//   measure_bench [benchmark flags]
//   measure_bench --rss-child <file>   (internal: one measurement in a fresh process)

#include "common/Signals.h"
#include "common/WavFiles.h"
#include "measure/AudioAnalysisThread.h"
#include "measure/CheckedReader.h"
#include "measure/ParallelLoudness.h"
#include "measure/TruePeak.h"

#include <benchmark/benchmark.h>
#include <ebur128.h>

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int channels = 2;
constexpr double seconds = 600.0;
constexpr size_t bareChunkFrames = 1 << 16;

struct Result
{
    float lufs = 0.0f;
    float truePeak = 0.0f;
};

// The 10-minute file and the same samples as JUCE decodes them, interleaved.
struct Fixture
{
    testwav::TempFolder temp;
    juce::File file;
    std::vector<float> interleaved;
    size_t frames = 0;

    Fixture()
    {
        file = temp.file("ten-minutes.wav");
        {
            const auto audio = testsig::programme(channels, sampleRate, seconds);
            if (!testwav::write(file, audio, sampleRate, 24))
                std::abort();
        }
        const auto contents = testwav::read(file);
        if (!contents.ok)
            std::abort();
        frames = static_cast<size_t>(contents.audio.getNumSamples());
        interleaved.resize(frames * channels);
        for (int ch = 0; ch < channels; ++ch)
        {
            const float* src = contents.audio.getReadPointer(ch);
            for (size_t i = 0; i < frames; ++i)
                interleaved[i * channels + static_cast<size_t>(ch)] = src[i];
        }
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

Result runWorker(const juce::File& file)
{
    Result result;
    AudioAnalysisThread worker;
    worker.onAnalysisComplete = [&](const std::string&, int, float lufs, float tp) { result = { lufs, tp }; };
    worker.addTask({ file.getFullPathName().toStdString(), 0 });
    worker.startThread();
    worker.waitForThreadToExit(-1);
    return result;
}

Result runBare(const std::vector<float>& interleaved, size_t frames)
{
    ebur128_state* state =
        ebur128_init(channels, static_cast<unsigned long>(sampleRate), EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    for (size_t pos = 0; pos < frames; pos += bareChunkFrames)
    {
        const size_t n = std::min(bareChunkFrames, frames - pos);
        ebur128_add_frames_float(state, interleaved.data() + pos * channels, n);
    }
    double loudness = 0.0;
    ebur128_loudness_global(state, &loudness);
    Result r { static_cast<float>(loudness), truePeakDecibels(state, channels) };
    ebur128_destroy(&state);
    return r;
}

// ffmpeg as a child process, which inherits this process's CPU affinity. Its
// summary is read for the figures it printed; NaN when it did not run.
Result runFfmpeg(const juce::File& file)
{
    juce::ChildProcess ffmpeg;
    const juce::StringArray args { "ffmpeg", "-nostdin", "-hide_banner", "-nostats", "-i", file.getFullPathName(),
                                   "-af", "ebur128=peak=true", "-f", "null", "-" };
    const auto nan = std::numeric_limits<float>::quiet_NaN();
    if (!ffmpeg.start(args, juce::ChildProcess::wantStdOut | juce::ChildProcess::wantStdErr))
        return { nan, nan };
    const auto output = ffmpeg.readAllProcessOutput();
    if (ffmpeg.getExitCode() != 0)
        return { nan, nan };

    // The summary comes last: "I:  -23.0 LUFS" ... "Peak:  -1.2 dBFS".
    const auto summary = output.fromLastOccurrenceOf("Summary:", false, false);
    const auto valueAfter = [&](const char* label)
    {
        return summary.fromFirstOccurrenceOf(label, false, false).trimStart().getFloatValue();
    };
    return { valueAfter("I:"), valueAfter("Peak:") };
}

Result lastWorker, lastBare, lastFfmpeg;

void BM_WorkerWholePath(benchmark::State& state)
{
    const auto& f = fixture();
    for (auto _ : state)
        lastWorker = runWorker(f.file);
    state.counters["LUFS"] = lastWorker.lufs;
    state.counters["dBTP"] = lastWorker.truePeak;
}

void BM_BareLibrary(benchmark::State& state)
{
    const auto& f = fixture();
    for (auto _ : state)
        lastBare = runBare(f.interleaved, f.frames);
    state.counters["LUFS"] = lastBare.lufs;
    state.counters["dBTP"] = lastBare.truePeak;
}

void BM_Ffmpeg(benchmark::State& state)
{
    const auto& f = fixture();
    for (auto _ : state)
        lastFfmpeg = runFfmpeg(f.file);
    if (std::isnan(lastFfmpeg.lufs))
        state.SkipWithError("ffmpeg did not run (bench/measure/compare installs it)");
    state.counters["LUFS"] = lastFfmpeg.lufs;
    state.counters["dBTP"] = lastFfmpeg.truePeak;
}

// A 32-bit float copy of the programme, the one kind of file whose samples
// are checked for NaN and infinity while they are read.
const juce::File& floatFile()
{
    static const juce::File file = [] {
        const auto f = fixture().temp.file("ten-minutes-float.wav");
        if (!testwav::write(f, testwav::read(fixture().file).audio, sampleRate, 32))
            std::abort();
        return f;
    }();
    return file;
}

// Reads the float file block by block as the worker does, with or without
// the check for non-finite samples; the two should take the same time.
void readFloatFile(benchmark::State& state, bool checked)
{
    const auto& file = floatFile();
    for (auto _ : state)
    {
        juce::AudioFormatManager formats;
        formats.registerBasicFormats();
        CheckedReader reader(formats, file);
        juce::AudioBuffer<float> block(channels, AudioAnalysisThread::blockSize);
        bool ok = true;
        for (juce::int64 pos = 0; pos < reader->lengthInSamples; pos += AudioAnalysisThread::blockSize)
        {
            const auto n = static_cast<int>(std::min<juce::int64>(AudioAnalysisThread::blockSize,
                                                                  reader->lengthInSamples - pos));
            ok &= checked ? reader.readComplete(block, 0, n, pos) : reader->read(&block, 0, n, pos, true, true);
        }
        if (!ok)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(block.getReadPointer(0));
    }
}

void BM_ReadFloatChecked(benchmark::State& state)
{
    readFloatFile(state, true);
}

void BM_ReadFloatUnchecked(benchmark::State& state)
{
    readFloatFile(state, false);
}

BENCHMARK(BM_ReadFloatChecked)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);
BENCHMARK(BM_ReadFloatUnchecked)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);

// How long a running measurement takes to end once asked to stop, 200 ms in.
void BM_StopLatency(benchmark::State& state)
{
    const auto& f = fixture();
    for (auto _ : state)
    {
        AudioAnalysisThread worker;
        worker.addTask({ f.file.getFullPathName().toStdString(), 0 });
        worker.startThread();
        juce::Thread::sleep(200);
        const auto asked = juce::Time::getMillisecondCounterHiRes();
        worker.signalThreadShouldExit();
        worker.waitForThreadToExit(-1);
        state.SetIterationTime((juce::Time::getMillisecondCounterHiRes() - asked) / 1000.0);
    }
}

// Single runs, repeated, so that the spread shows when other work loads the machine.
BENCHMARK(BM_WorkerWholePath)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);
BENCHMARK(BM_Ffmpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);
BENCHMARK(BM_BareLibrary)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);
BENCHMARK(BM_StopLatency)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(5);

// Keeps every repetition's wall time per benchmark, for the summary.
class TimesReporter : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, std::vector<double>> seconds;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                seconds[run.run_name.function_name].push_back(run.GetAdjustedRealTime() / 1000.0);
        ConsoleReporter::ReportRuns(runs);
    }

    // Median, and the range around it.
    struct Spread
    {
        double min = 0.0, median = 0.0, max = 0.0;
        bool ok = false;
    };
    Spread spread(const std::string& name) const
    {
        const auto it = seconds.find(name);
        if (it == seconds.end() || it->second.empty())
            return {};
        auto v = it->second;
        std::sort(v.begin(), v.end());
        return { v.front(), v[v.size() / 2], v.back(), true };
    }
};

long statusKilobytes(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t keyLength = std::strlen(key);
    while (std::getline(status, line))
        if (line.compare(0, keyLength, key) == 0)
            return std::stol(line.substr(keyLength + 1));
    return -1;
}

// Runs in a fresh process so that no heap left by the fixture or the timing
// runs can be reused. The kernel's high-water mark is reset to the current
// resident size just before the worker starts, so VmHWM afterwards minus
// VmRSS before is exactly the peak the worker's path added.
int rssChild(const char* path)
{
    const juce::File file(juce::String::fromUTF8(path));
    {
        // Warm up everything that is allocated once per process (format
        // tables, thread machinery) on a tiny file, so the figure is the
        // per-file cost.
        testwav::TempFolder temp;
        const auto tiny = temp.file("tiny.wav");
        testwav::write(tiny, testsig::sine(channels, sampleRate, 1000.0, -20.0, 1.0), sampleRate, 24);
        runWorker(tiny);
    }

    const long before = statusKilobytes("VmRSS:");
    {
        std::ofstream clear("/proc/self/clear_refs");
        clear << "5";
    }
    if (statusKilobytes("VmHWM:") > before + 64)
    {
        std::fprintf(stderr, "could not reset the peak resident size\n");
        return 2;
    }
    runWorker(file);
    const long peak = statusKilobytes("VmHWM:");
    std::printf("%ld\n", peak - before);
    return 0;
}

double peakGrowthRelativeToFileSize(const juce::File& file)
{
    juce::ChildProcess child;
    const auto self = juce::File::getSpecialLocation(juce::File::currentExecutableFile);
    if (!child.start(juce::StringArray { self.getFullPathName(), "--rss-child", file.getFullPathName() }))
        return -1.0;
    const auto output = child.readAllProcessOutput();
    if (child.getExitCode() != 0)
        return -1.0;
    const double grownBytes = output.trim().getLargeIntValue() * 1024.0;
    return grownBytes / static_cast<double>(file.getSize());
}
} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--rss-child") == 0)
        return rssChild(argv[2]);

    benchmark::Initialize(&argc, argv);
    TimesReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const int cores = ParallelLoudness::availableThreads();
    std::printf("\nOn %d core(s), 10-minute 48 kHz stereo 24-bit file; median [min - max] of the runs above:\n", cores);
    const auto worker = reporter.spread("BM_WorkerWholePath");
    const auto ffmpeg = reporter.spread("BM_Ffmpeg");
    const auto bare = reporter.spread("BM_BareLibrary");
    const auto line = [](const char* name, const TimesReporter::Spread& s, const Result& r)
    {
        if (s.ok)
            std::printf("  %-34s %7.3f s [%.3f - %.3f]   %7.2f LUFS %6.2f dBTP\n", name, s.median, s.min, s.max, r.lufs,
                        r.truePeak);
    };
    line("our background measurement", worker, lastWorker);
    line("ffmpeg ebur128=peak=true", ffmpeg, lastFfmpeg);
    line("bare libebur128, one state I+TP", bare, lastBare);
    if (worker.ok && ffmpeg.ok)
        std::printf("  ffmpeg / ours: %.2f x (goal: >= 3 on 8 cores, >= 1 on 2 cores)\n", ffmpeg.median / worker.median);
    if (worker.ok && bare.ok)
        std::printf("  bare / ours:   %.2f x\n", bare.median / worker.median);
    if (const auto stop = reporter.spread("BM_StopLatency"); stop.ok)
        std::printf("  a stop ends the measurement within %.1f ms [%.1f - %.1f]\n", stop.median * 1000.0,
                    stop.min * 1000.0, stop.max * 1000.0);

    const auto& f = fixture();
    // The child can fail to reset its high-water mark when the machine is
    // busy reclaiming memory; a fresh child usually succeeds.
    double ratio = -1.0;
    for (int attempt = 0; attempt < 3 && ratio < 0.0; ++attempt)
        ratio = peakGrowthRelativeToFileSize(f.file);
    const double fileMb = static_cast<double>(f.file.getSize()) / (1024.0 * 1024.0);
    std::printf("  file %.1f MB; peak resident growth of one measurement: %.1f MB = %.3f x file size (goal: well under "
                "100 MB)\n",
                fileMb, ratio * fileMb, ratio);
    benchmark::Shutdown();
    return 0;
}
