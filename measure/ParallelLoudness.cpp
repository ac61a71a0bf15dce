#include "measure/ParallelLoudness.h"

#include "measure/TruePeak.h"

#include <ebur128.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <new>
#include <vector>

#if JUCE_LINUX
 #include <sched.h>
#endif

namespace
{
// Beyond this many threads the one thread that reads the file is the limit.
constexpr int maxThreads = 16;
// All read-ahead buffers of one measurement together.
constexpr juce::int64 readAheadBytes = juce::int64 { 32 } << 20;
// Chunks are at least 2 s (five blocks of 400 ms): shorter ones would spend
// too much of their time on the lead-in. Streams shorter than two such
// chunks are measured in one pass.
constexpr juce::int64 minChunkBlocks = 5;
// A few chunks per thread, so threads that finish early find more work.
constexpr juce::int64 chunksPerThread = 4;

// libebur128's 100 ms step, and the 400 ms block, which is also the length
// of its ring buffer in momentary mode.
int stepLength(int sampleRate)
{
    return (sampleRate + 5) / 10;
}

juce::int64 blockLength(int sampleRate)
{
    return 4 * juce::int64 { stepLength(sampleRate) };
}

int poolSize(int threads)
{
    return std::clamp(threads, 1, maxThreads);
}

double energyOfLoudness(double lufs)
{
    return std::isinf(lufs) ? 0.0 : std::pow(10.0, (lufs + 0.691) / 10.0);
}

struct ChunkResult
{
    bool ok = false;
    std::vector<double> blockEnergies; // blocks ending inside the chunk, in order
    std::vector<double> peaks;         // per channel, linear
};

// `channels` point at the first lead-in sample; the chunk's own samples follow
// the lead-in. Both lengths are whole 100 ms steps except at the stream's end.
void measureChunk(const std::vector<const float*>& channels, int sampleRate, int leadIn, int length,
                  ParallelLoudness::Measures measures, const std::atomic<bool>& cancelled, ChunkResult& result)
{
    const auto numChannels = static_cast<int>(channels.size());
    const int step = stepLength(sampleRate);
    const bool withLoudness = measures != ParallelLoudness::Measures::truePeakOnly;
    const bool withTruePeak = measures != ParallelLoudness::Measures::loudnessOnly;
    const int mode = (withLoudness ? EBUR128_MODE_M : 0) | (withTruePeak ? EBUR128_MODE_TRUE_PEAK : 0);

    // Everything the loop needs, allocated up front. A pool thread must not
    // throw: running out of memory fails the chunk instead.
    std::vector<float> interleaved;
    try
    {
        interleaved.resize(static_cast<size_t>(step) * static_cast<size_t>(numChannels));
        result.blockEnergies.clear();
        result.blockEnergies.reserve(static_cast<size_t>(length / step + 1));
        result.peaks.assign(static_cast<size_t>(numChannels), 0.0);
    }
    catch (const std::bad_alloc&)
    {
        return;
    }

    ebur128_state* state =
        ebur128_init(static_cast<unsigned int>(numChannels), static_cast<unsigned long>(sampleRate), mode);
    if (state == nullptr)
        return;

    const int total = leadIn + length;
    int fed = 0;
    while (fed < total)
    {
        if (cancelled.load(std::memory_order_relaxed))
        {
            ebur128_destroy(&state);
            return;
        }

        // One step per call: a block completes exactly at the end of a call,
        // and the per-call peak covers the chunk's samples only.
        const int n = std::min(step, total - fed);
        for (int ch = 0; ch < numChannels; ++ch)
        {
            const float* src = channels[static_cast<size_t>(ch)] + fed;
            for (int i = 0; i < n; ++i)
                interleaved[static_cast<size_t>(i * numChannels + ch)] = src[i];
        }
        ebur128_add_frames_float(state, interleaved.data(), static_cast<size_t>(n));
        fed += n;

        // The lead-in's blocks and peaks belong to the previous chunk.
        if (fed <= leadIn)
            continue;

        if (withTruePeak)
        {
            for (int ch = 0; ch < numChannels; ++ch)
            {
                double peak = 0.0;
                if (ebur128_prev_true_peak(state, static_cast<unsigned int>(ch), &peak) == EBUR128_SUCCESS)
                    result.peaks[static_cast<size_t>(ch)] = std::max(result.peaks[static_cast<size_t>(ch)], peak);
            }
        }

        if (withLoudness && n == step && fed >= 4 * step)
        {
            double momentary = 0.0;
            if (ebur128_loudness_momentary(state, &momentary) == EBUR128_SUCCESS)
                result.blockEnergies.push_back(energyOfLoudness(momentary));
        }
    }

    ebur128_destroy(&state);
    result.ok = true;
}

// The library's gating, over the blocks of every chunk in stream order (the
// order the single pass sums them in).
float gatedLoudness(const std::vector<ChunkResult>& chunks)
{
    const double absoluteGate = std::pow(10.0, (-70.0 + 0.691) / 10.0);
    double sum = 0.0;
    size_t count = 0;
    for (const auto& chunk : chunks)
        for (const double energy : chunk.blockEnergies)
            if (energy >= absoluteGate)
            {
                sum += energy;
                ++count;
            }
    if (count == 0)
        return -std::numeric_limits<float>::infinity();

    const double relativeGate = sum / static_cast<double>(count) * std::pow(10.0, -10.0 / 10.0);
    sum = 0.0;
    count = 0;
    for (const auto& chunk : chunks)
        for (const double energy : chunk.blockEnergies)
            if (energy >= absoluteGate && energy >= relativeGate)
            {
                sum += energy;
                ++count;
            }
    if (count == 0)
        return -std::numeric_limits<float>::infinity();

    return static_cast<float>(10.0 * (std::log(sum / static_cast<double>(count)) / std::log(10.0)) - 0.691);
}

float combinedTruePeak(const std::vector<ChunkResult>& chunks)
{
    float peak = 0.0f;
    for (const auto& chunk : chunks)
        for (const double channelPeak : chunk.peaks)
            peak = std::max(static_cast<float>(channelPeak), peak);
    return peakDecibels(peak);
}

// The chunks of one measurement on their own pool. Buffers being measured are
// handed back as numbered slots when their chunk is done.
class ChunkRun
{
public:
    ChunkRun(int sampleRate, ParallelLoudness::Measures toMeasure, int threads, int numChunks, int numSlots)
        : rate(sampleRate), measures(toMeasure), results(static_cast<size_t>(numChunks)), pool(poolSize(threads))
    {
        for (int slot = 0; slot < numSlots; ++slot)
            freeSlots.push_back(slot);
    }

    ~ChunkRun() { cancel(); }

    void submit(int index, std::vector<const float*> channels, int leadIn, int length, int slot = -1)
    {
        {
            const std::lock_guard<std::mutex> guard(mutex);
            ++submitted;
        }
        pool.addJob([this, index, channels = std::move(channels), leadIn, length, slot]
        {
            auto& result = results[static_cast<size_t>(index)];
            measureChunk(channels, rate, leadIn, length, measures, cancelled, result);
            {
                const std::lock_guard<std::mutex> guard(mutex);
                ++finished;
                failed = failed || !result.ok;
                if (slot >= 0)
                    freeSlots.push_back(slot);
            }
            changed.notify_all();
        });
    }

    // A slot whose buffer may be filled, or -1 when the caller asked to stop
    // or a chunk has failed.
    int takeSlot(const ParallelLoudness::ShouldStop& shouldStop)
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (!failed && freeSlots.empty())
            if (!waitOnce(lock, shouldStop))
                return -1;
        if (failed)
            return -1;
        const int slot = freeSlots.back();
        freeSlots.pop_back();
        return slot;
    }

    // False when the caller asked to stop first.
    bool waitForAll(const ParallelLoudness::ShouldStop& shouldStop)
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (finished < submitted)
            if (!waitOnce(lock, shouldStop))
                return false;
        return true;
    }

    // Running chunks notice within one 100 ms step of audio; queued ones never start.
    void cancel()
    {
        cancelled.store(true);
        pool.removeAllJobs(true, -1);
    }

    ParallelLoudness::Outcome finish(ParallelLoudness::Reading& reading)
    {
        for (const auto& result : results)
            if (!result.ok)
                return ParallelLoudness::Outcome::failed;
        if (measures != ParallelLoudness::Measures::truePeakOnly)
            reading.lufs = gatedLoudness(results);
        if (measures != ParallelLoudness::Measures::loudnessOnly)
            reading.truePeak = combinedTruePeak(results);
        return ParallelLoudness::Outcome::measured;
    }

private:
    // Stop requests are looked at every few milliseconds while waiting.
    bool waitOnce(std::unique_lock<std::mutex>& lock, const ParallelLoudness::ShouldStop& shouldStop)
    {
        if (shouldStop && shouldStop())
            return false;
        changed.wait_for(lock, std::chrono::milliseconds(10));
        return true;
    }

    const int rate;
    const ParallelLoudness::Measures measures;
    std::vector<ChunkResult> results;
    std::atomic<bool> cancelled { false };

    std::mutex mutex;
    std::condition_variable changed;
    int submitted = 0;
    int finished = 0;
    bool failed = false;
    std::vector<int> freeSlots;

    // Last, so that it is gone before anything its jobs touch.
    juce::ThreadPool pool;
};

int chunkCount(juce::int64 numSamples, int chunk)
{
    return static_cast<int>((numSamples + chunk - 1) / chunk);
}

// Pointers to every channel of `buffer` from sample `start` on.
std::vector<const float*> channelsFrom(const juce::AudioBuffer<float>& buffer, juce::int64 start)
{
    std::vector<const float*> channels;
    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        channels.push_back(buffer.getReadPointer(ch) + start);
    return channels;
}
struct Plan
{
    int chunk = 0; // 0: one pass
    int threads = 1;
};

Plan planFor(int numChannels, int sampleRate, juce::int64 numSamples, int threads)
{
    // Below 1 kHz the lead-in would be too short for the true-peak
    // interpolator; nobody measures such files for broadcast anyway.
    if (threads <= 1 || numChannels <= 0 || sampleRate < 1000 || numSamples <= 0)
        return {};

    const juce::int64 block = blockLength(sampleRate);
    const juce::int64 minChunk = minChunkBlocks * block;
    const juce::int64 bytesPerSample = numChannels * juce::int64 { sizeof(float) };

    // Each thread measures one buffer while two more are read, every buffer
    // holding a chunk and its lead-in. Wide formats get fewer threads rather
    // than more memory.
    threads = static_cast<int>(std::min<juce::int64>(poolSize(threads),
                                                      readAheadBytes / ((minChunk + block) * bytesPerSample) - 2));
    if (threads <= 1)
        return {};

    const juce::int64 bufferBytes = readAheadBytes / (threads + 2);
    const juce::int64 maxChunk = (bufferBytes / bytesPerSample - block) / block * block;
    const juce::int64 wanted = (numSamples + threads * chunksPerThread - 1) / (threads * chunksPerThread);
    const juce::int64 chunk = std::clamp((wanted + block - 1) / block * block, minChunk, maxChunk);
    if (numSamples < 2 * minChunk || numSamples <= chunk || chunk > std::numeric_limits<int>::max())
        return {};
    return { static_cast<int>(chunk), threads };
}

// Where splitting does not pay, the stream is still measured in chunks, one
// after another, so that reading ahead stays within its memory whatever the
// stream's length.
Plan planOrOneThread(int numChannels, int sampleRate, juce::int64 numSamples, int threads)
{
    auto plan = planFor(numChannels, sampleRate, numSamples, threads);
    if (plan.chunk > 0)
        return plan;

    // At such rates even hours fit, and a lead-in would be too short.
    const juce::int64 whole = std::max(juce::int64 { 1 }, numSamples);
    if (sampleRate < 1000 && whole <= std::numeric_limits<int>::max())
        return { static_cast<int>(whole), 1 };

    const juce::int64 block = std::max(juce::int64 { 1 }, blockLength(sampleRate));
    const juce::int64 bytesPerSample = std::max(1, numChannels) * juce::int64 { sizeof(float) };
    const juce::int64 bounded = std::max(block, (readAheadBytes / 3 / bytesPerSample - block) / block * block);
    return { static_cast<int>(std::min(whole, bounded)), 1 };
}

} // namespace

int ParallelLoudness::availableThreads()
{
#if JUCE_LINUX
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    if (sched_getaffinity(0, sizeof(cpus), &cpus) == 0)
        return std::max(1, CPU_COUNT(&cpus));
#endif
    return std::max(1, juce::SystemStats::getNumCpus());
}

int ParallelLoudness::leadIn(int sampleRate)
{
    return static_cast<int>(blockLength(sampleRate));
}

int ParallelLoudness::chunkLength(int numChannels, int sampleRate, juce::int64 numSamples, int threads)
{
    return planFor(numChannels, sampleRate, numSamples, threads).chunk;
}

ParallelLoudness::Outcome ParallelLoudness::measureBuffer(const juce::AudioBuffer<float>& buffer, int sampleRate,
                                                          Measures measures, int threads,
                                                          const ShouldStop& shouldStop, Reading& reading)
{
    const int numSamples = buffer.getNumSamples();
    const auto plan = planOrOneThread(buffer.getNumChannels(), sampleRate, numSamples, threads);
    const int chunk = plan.chunk;
    const int lead = leadIn(sampleRate);
    const int numChunks = chunkCount(numSamples, chunk);

    ChunkRun run(sampleRate, measures, plan.threads, numChunks, 0);
    for (int i = 0; i < numChunks; ++i)
    {
        const int start = i * chunk;
        const int chunkLead = i == 0 ? 0 : lead;
        run.submit(i, channelsFrom(buffer, start - chunkLead), chunkLead, std::min(chunk, numSamples - start));
    }

    if (!run.waitForAll(shouldStop))
        return Outcome::abandoned;
    return run.finish(reading);
}

ParallelLoudness::Outcome ParallelLoudness::measureStream(int numChannels, int sampleRate, juce::int64 numSamples,
                                                          int threads, const ReadSamples& read,
                                                          const ShouldStop& shouldStop, Reading& reading)
{
    const auto plan = planOrOneThread(numChannels, sampleRate, numSamples, threads);
    const int chunk = plan.chunk;
    const int lead = leadIn(sampleRate);
    const int numChunks = chunkCount(numSamples, chunk);
    const int numBuffers = std::min(plan.threads + 2, std::max(1, numChunks));

    std::vector<juce::AudioBuffer<float>> buffers;
    for (int i = 0; i < numBuffers; ++i)
        buffers.emplace_back(numChannels, lead + chunk);
    // The end of each chunk, kept as the next chunk's lead-in: its buffer may
    // be reused before the next chunk is read.
    juce::AudioBuffer<float> carried(numChannels, lead);

    ChunkRun run(sampleRate, Measures::loudnessAndTruePeak, plan.threads, numChunks, numBuffers);
    const auto stoppedOrFailed = [&]
    {
        run.cancel();
        return shouldStop && shouldStop() ? Outcome::abandoned : Outcome::failed;
    };

    for (int i = 0; i < numChunks; ++i)
    {
        if (shouldStop && shouldStop())
            return stoppedOrFailed();
        const int slot = run.takeSlot(shouldStop);
        if (slot < 0)
            return stoppedOrFailed();

        auto& buffer = buffers[static_cast<size_t>(slot)];
        const juce::int64 start = juce::int64 { i } * chunk;
        const int length = static_cast<int>(std::min(juce::int64 { chunk }, numSamples - start));
        const int chunkLead = i == 0 ? 0 : lead;
        for (int ch = 0; ch < numChannels && chunkLead > 0; ++ch)
            buffer.copyFrom(ch, 0, carried, ch, 0, lead);

        if (!read(buffer, chunkLead, length, start))
        {
            run.cancel();
            return Outcome::failed;
        }

        if (i + 1 < numChunks)
            for (int ch = 0; ch < numChannels; ++ch)
                carried.copyFrom(ch, 0, buffer, ch, chunkLead + length - lead, lead);

        run.submit(i, channelsFrom(buffer, 0), chunkLead, length, slot);
    }

    if (!run.waitForAll(shouldStop))
        return stoppedOrFailed();
    return run.finish(reading);
}
