// The analysis worker's whole path for one file (open, read, measure, report)
// against libebur128 alone fed the same samples, already interleaved, in
// large chunks; and reading a float file with and without the check for
// non-finite samples. Also reports how much resident memory the worker's path adds
// relative to the size of the file it measures.
//
//   measure_bench [benchmark flags]
//   measure_bench --rss-child <file>   (internal: one measurement in a fresh process)

#include "common/Signals.h"
#include "common/WavFiles.h"
#include "measure/AudioAnalysisThread.h"
#include "measure/CheckedReader.h"
#include "measure/TruePeak.h"

#include <benchmark/benchmark.h>
#include <ebur128.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
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
    ebur128_state* tp = ebur128_init(channels, static_cast<unsigned long>(sampleRate),
                                     EBUR128_MODE_S | EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    ebur128_state* in = ebur128_init(channels, static_cast<unsigned long>(sampleRate), EBUR128_MODE_I);
    for (size_t pos = 0; pos < frames; pos += bareChunkFrames)
    {
        const size_t n = std::min(bareChunkFrames, frames - pos);
        const float* data = interleaved.data() + pos * channels;
        ebur128_add_frames_float(tp, data, n);
        ebur128_add_frames_float(in, data, n);
    }
    double loudness = 0.0;
    ebur128_loudness_global(in, &loudness);
    Result r { static_cast<float>(loudness), truePeakDecibels(tp, channels) };
    ebur128_destroy(&tp);
    ebur128_destroy(&in);
    return r;
}

Result lastWorker, lastBare;

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
BENCHMARK(BM_WorkerWholePath)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(10.0);
BENCHMARK(BM_BareLibrary)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(10.0);

// Keeps each benchmark's mean wall time per iteration for the ratio.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> seconds;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs)
            if (run.run_type == Run::RT_Iteration)
                seconds[run.run_name.function_name] = run.GetAdjustedRealTime() / 1000.0;
        ConsoleReporter::ReportRuns(runs);
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
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const auto worker = reporter.seconds.find("BM_WorkerWholePath");
    const auto bare = reporter.seconds.find("BM_BareLibrary");
    if (worker != reporter.seconds.end() && bare != reporter.seconds.end())
    {
        std::printf("\nworker: %.3f s   bare libebur128: %.3f s   ratio bare/worker: %.3f (goal >= 0.85)\n",
                    worker->second, bare->second, bare->second / worker->second);
        std::printf("worker: %.2f LUFS %.2f dBTP   bare: %.2f LUFS %.2f dBTP\n", lastWorker.lufs,
                    lastWorker.truePeak, lastBare.lufs, lastBare.truePeak);
    }

    const auto& f = fixture();
    // The child can fail to reset its high-water mark when the machine is
    // busy reclaiming memory; a fresh child usually succeeds.
    double ratio = -1.0;
    for (int attempt = 0; attempt < 3 && ratio < 0.0; ++attempt)
        ratio = peakGrowthRelativeToFileSize(f.file);
    std::printf("file: %.1f MB   peak resident growth / file size: %.3f (goal <= 1.25)\n",
                static_cast<double>(f.file.getSize()) / 1.0e6, ratio);
    benchmark::Shutdown();
    return 0;
}
