#include "measure/ParallelLoudness.h"

#include "measure/TruePeak.h"

#include <ebur128.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#if JUCE_LINUX
 #include <sched.h>
#endif

namespace
{
// Chunks measured at once at most: with the grid's 48 chunks, more threads
// would shorten a run little, and each keeps a state alive.
constexpr int maxThreads = 16;
// The chunks' states alive at once and the block energies kept to the end, of
// one measurement; each piece buffer.
constexpr juce::int64 memoryBudget = juce::int64 { 40 } << 20;
constexpr juce::int64 pieceBudget = juce::int64 { 512 } << 10;
// A gating block is four of the library's 100 ms steps.
constexpr juce::int64 blockSteps = 4;
// Steps a chunk's state is fed before the first block it keeps begins. The
// K-weighting filter starts from rest; its slowest part, the 38 Hz high-pass,
// forgets that start as e^(-240 t), so 100 ms in, a DC offset's start-up is
// already down to rounding on quiet programme, and 500 ms in (e^-120) to
// nothing a double can hold. Each step of it costs as much as a step of the
// chunk itself.
constexpr juce::int64 warmUpSteps = 5;
// Enough chunks that threads finishing early find more to do on any core
// count up to maxThreads (48 divides evenly among 1, 2, 3, 4, 6, 8, 12 and 16),
// but chunks of at least 15 s, so that the lead-in stays a small share of each.
// Streams shorter than two such chunks are measured in one pass.
constexpr juce::int64 targetChunks = 48;
constexpr juce::int64 minChunkSteps = 150;

// libebur128's 100 ms step.
int stepLength(int sampleRate)
{
    return (sampleRate + 5) / 10;
}

// What one state with true peak holds, from the library's allocations: 400 ms
// of K-weighted doubles, and below 192 kHz the interpolator's 400 ms of float
// input and its oversampled output. Rounded up for the smaller allocations.
juce::int64 stateBytes(int numChannels, int sampleRate)
{
    const int oversampling = sampleRate < 96000 ? 4 : sampleRate < 192000 ? 2 : 0;
    const juce::int64 bytesPerFrame = numChannels * (8 + (oversampling > 0 ? 4 + 4 * oversampling : 0));
    return blockSteps * stepLength(sampleRate) * bytesPerFrame + (juce::int64 { 64 } << 10);
}

// The gating blocks of a stream: one ends at every step from the fourth on.
juce::int64 blockCount(int sampleRate, juce::int64 numSamples)
{
    return std::max<juce::int64>(0, numSamples / stepLength(sampleRate) - (blockSteps - 1));
}

juce::int64 blockBytes(int sampleRate, juce::int64 numSamples)
{
    return blockCount(sampleRate, numSamples) * juce::int64 { sizeof(double) };
}

struct Plan
{
    juce::int64 chunk = 0; // 0: one pass
    int chunks = 1;
};

Plan planFor(int numChannels, int sampleRate, juce::int64 numSamples)
{
    // Rates below 1 kHz are quick to measure in one pass, and no file meant
    // for broadcast has one.
    if (numChannels <= 0 || sampleRate < 1000 || numSamples <= 0)
        return {};
    if (stateBytes(numChannels, sampleRate) + blockBytes(sampleRate, numSamples) > memoryBudget)
        return {};

    const juce::int64 step = stepLength(sampleRate);
    if (numSamples < 2 * minChunkSteps * step)
        return {};
    const juce::int64 steps = (numSamples + step - 1) / step;
    const juce::int64 chunk = std::max(minChunkSteps, (steps + targetChunks - 1) / targetChunks) * step;
    if (chunk > std::numeric_limits<int>::max())
        return {};
    const juce::int64 chunks = (numSamples + chunk - 1) / chunk;
    return { chunk, static_cast<int>(chunks) };
}

Plan planOrWhole(int numChannels, int sampleRate, juce::int64 numSamples)
{
    const auto plan = planFor(numChannels, sampleRate, numSamples);
    if (plan.chunk > 0)
        return plan;
    return { std::max(juce::int64 { 1 }, numSamples), 1 };
}

// Chunks measured at once: no more than the threads asked for or the chunks
// there are, and few enough that their states and the blocks fit the budget.
int poolSize(int numChannels, int sampleRate, juce::int64 numSamples, const Plan& plan, int threads)
{
    const juce::int64 statesThatFit = (memoryBudget - blockBytes(sampleRate, numSamples))
                                      / stateBytes(numChannels, sampleRate);
    return static_cast<int>(std::max<juce::int64>(1, std::min<juce::int64>({ threads, maxThreads, plan.chunks,
                                                                             statesThatFit })));
}

// Integrated loudness from the energies of all gating blocks in stream order,
// gated as libebur128 gates its block list: the absolute gate at -70 LUFS,
// then the relative gate 10 LU below the mean of what passed, sums in double.
float gatedLoudness(const std::vector<double>& energies)
{
    const double absoluteGate = std::pow(10.0, (-70.0 + 0.691) / 10.0);
    double sum = 0.0;
    size_t count = 0;
    for (const double energy : energies)
        if (energy >= absoluteGate)
        {
            sum += energy;
            ++count;
        }
    if (count == 0)
        return -std::numeric_limits<float>::infinity();

    const double relativeGate = sum / static_cast<double>(count) * 0.1;
    sum = 0.0;
    count = 0;
    for (const double energy : energies)
        if (energy >= absoluteGate && energy >= relativeGate)
        {
            sum += energy;
            ++count;
        }
    if (count == 0)
        return -std::numeric_limits<float>::infinity();
    return static_cast<float>(10.0 * (std::log(sum / static_cast<double>(count)) / std::log(10.0)) - 0.691);
}

// The energy of the 400 ms block that has just ended in `state`: the library
// reports it only as a loudness, so the conversion is undone (within an ulp
// or two); silence comes back as 0.
bool lastBlockEnergy(ebur128_state* state, double& energy)
{
    double loudness = 0.0;
    if (ebur128_loudness_momentary(state, &loudness) != EBUR128_SUCCESS)
        return false;
    energy = std::isinf(loudness) ? 0.0 : std::pow(10.0, (loudness + 0.691) / 10.0);
    return true;
}

int pieceFrames(int numChannels, int sampleRate)
{
    const juce::int64 bytesPerFrame = std::max(1, numChannels) * juce::int64 { sizeof(float) };
    return static_cast<int>(std::max<juce::int64>(1, std::min<juce::int64>(sampleRate, pieceBudget / bytesPerFrame)));
}

// Where one chunk gets its samples.
class Source
{
public:
    virtual ~Source() = default;
    // Every channel's samples [start, start + count), count at most one
    // piece; null when they can't be had.
    virtual const float* const* fetch(juce::int64 start, int count) = 0;
};

class BufferSource final : public Source
{
public:
    explicit BufferSource(const juce::AudioBuffer<float>& source)
        : buffer(source), channels(static_cast<size_t>(source.getNumChannels()))
    {
    }

    const float* const* fetch(juce::int64 start, int) override
    {
        for (size_t ch = 0; ch < channels.size(); ++ch)
            channels[ch] = buffer.getReadPointer(static_cast<int>(ch), static_cast<int>(start));
        return channels.data();
    }

private:
    const juce::AudioBuffer<float>& buffer;
    std::vector<const float*> channels;
};

class StreamSource final : public Source
{
public:
    StreamSource(ParallelLoudness::ReadSamples reader, int numChannels, int piece)
        : read(std::move(reader)), buffer(numChannels, piece)
    {
    }

    const float* const* fetch(juce::int64 start, int count) override
    {
        return read(buffer, 0, count, start) ? buffer.getArrayOfReadPointers() : nullptr;
    }

private:
    ParallelLoudness::ReadSamples read;
    juce::AudioBuffer<float> buffer;
};

using MakeSource = std::function<std::unique_ptr<Source>()>;

enum class ChunkOutcome
{
    measured,
    failed,
    stopped,  // the caller asked to stop
    cancelled // another chunk failed or stopped
};

using State = std::unique_ptr<ebur128_state, void (*)(ebur128_state*)>;

// The chunks of one measurement on their own pool.
class ChunkRun
{
public:
    ChunkRun(int channelCount, int sampleRate, juce::int64 streamLength, ParallelLoudness::Measures toMeasure,
             const Plan& chunkPlan, int threads, const ParallelLoudness::ShouldStop& stop)
        : numChannels(channelCount),
          rate(sampleRate),
          step(stepLength(sampleRate)),
          numSamples(streamLength),
          measures(toMeasure),
          plan(chunkPlan),
          piece(pieceFrames(channelCount, sampleRate)),
          shouldStop(stop),
          pool(threads)
    {
    }

    ~ChunkRun()
    {
        cancelled.store(true);
        pool.removeAllJobs(true, -1);
    }

    ChunkRun(const ChunkRun&) = delete;
    ChunkRun& operator=(const ChunkRun&) = delete;

    ParallelLoudness::Outcome run(const MakeSource& makeSource, ParallelLoudness::Reading& reading)
    {
        try
        {
            if (withLoudness())
                energies.assign(static_cast<size_t>(blockCount(rate, numSamples)), 0.0);
            if (withTruePeak())
                peaks.assign(static_cast<size_t>(plan.chunks) * static_cast<size_t>(numChannels), 0.0);
        }
        catch (const std::bad_alloc&)
        {
            return ParallelLoudness::Outcome::failed;
        }

        for (int i = 0; i < plan.chunks; ++i)
        {
            pool.addJob([this, i, &makeSource]
            {
                const auto outcome = measureChunk(i, makeSource);
                {
                    const std::lock_guard<std::mutex> guard(mutex);
                    ++finished;
                    stopped = stopped || outcome == ChunkOutcome::stopped;
                    failed = failed || outcome == ChunkOutcome::failed;
                }
                // Neither stays worth finishing once a chunk has failed or stopped.
                if (outcome == ChunkOutcome::failed || outcome == ChunkOutcome::stopped)
                    cancelled.store(true);
                changed.notify_all();
            });
        }

        {
            std::unique_lock<std::mutex> lock(mutex);
            while (finished < plan.chunks && !stopped && !failed)
            {
                // A stop is seen here too while every chunk is between pieces.
                if (shouldStop && shouldStop())
                {
                    stopped = true;
                    break;
                }
                changed.wait_for(lock, std::chrono::milliseconds(10));
            }
        }
        // Running chunks notice within one piece; queued ones never start.
        cancelled.store(true);
        pool.removeAllJobs(true, -1);

        if (stopped)
            return ParallelLoudness::Outcome::abandoned;
        if (failed || finished < plan.chunks)
            return ParallelLoudness::Outcome::failed;

        if (withLoudness())
            reading.lufs = gatedLoudness(energies);
        if (withTruePeak())
        {
            float peak = 0.0f;
            for (const double channelPeak : peaks)
                peak = std::max(static_cast<float>(channelPeak), peak);
            reading.truePeak = peakDecibels(peak);
        }
        return ParallelLoudness::Outcome::measured;
    }

private:
    bool withLoudness() const { return measures != ParallelLoudness::Measures::truePeakOnly; }
    bool withTruePeak() const { return measures != ParallelLoudness::Measures::loudnessOnly; }

    // Feeds the chunk, with its lead-in, piece by piece, and each piece in
    // calls that end on the step grid, where a block may end. A pool thread
    // must not throw: anything thrown fails the chunk instead.
    ChunkOutcome measureChunk(int index, const MakeSource& makeSource) noexcept
    {
        try
        {
            const juce::int64 start = index * plan.chunk;
            const juce::int64 end = std::min(start + plan.chunk, numSamples);
            auto source = makeSource();
            if (source == nullptr)
                return ChunkOutcome::failed;
            std::vector<float> interleaved(static_cast<size_t>(piece) * static_cast<size_t>(numChannels));

            // The momentary loudness, which gives the blocks, comes with every mode.
            const int mode = withTruePeak() ? EBUR128_MODE_TRUE_PEAK : EBUR128_MODE_M;
            const State state(ebur128_init(static_cast<unsigned int>(numChannels), static_cast<unsigned long>(rate), mode),
                              [](ebur128_state* s) { ebur128_destroy(&s); });
            if (state == nullptr)
                return ChunkOutcome::failed;
            double* chunkPeaks = withTruePeak() ? &peaks[static_cast<size_t>(index * numChannels)] : nullptr;

            for (juce::int64 position = std::max<juce::int64>(0, start - ParallelLoudness::leadIn(rate));
                 position < end;)
            {
                if (cancelled.load(std::memory_order_relaxed))
                    return ChunkOutcome::cancelled;
                if (shouldStop && shouldStop())
                    return ChunkOutcome::stopped;

                const int n = static_cast<int>(std::min<juce::int64>(piece, end - position));
                const float* const* channels = source->fetch(position, n);
                if (channels == nullptr)
                    return ChunkOutcome::failed;
                for (int ch = 0; ch < numChannels; ++ch)
                {
                    const float* src = channels[ch];
                    for (int i = 0; i < n; ++i)
                        interleaved[static_cast<size_t>(i * numChannels + ch)] = src[i];
                }

                for (int done = 0; done < n;)
                {
                    const juce::int64 at = position + done;
                    const int count = static_cast<int>(std::min<juce::int64>(n - done, step - at % step));
                    // The library reports a call it could not complete (out
                    // of memory); going on would measure without what it missed.
                    if (ebur128_add_frames_float(state.get(), interleaved.data() + static_cast<size_t>(done * numChannels),
                                                 static_cast<size_t>(count))
                        != EBUR128_SUCCESS)
                        return ChunkOutcome::failed;
                    done += count;

                    // The chunk starts on the grid, so no call spans its start.
                    if (chunkPeaks != nullptr && at >= start)
                        addCallPeaks(state.get(), chunkPeaks);

                    const juce::int64 reached = at + count;
                    if (withLoudness() && reached % step == 0 && reached > start && reached >= blockSteps * step
                        && !lastBlockEnergy(state.get(), energies[static_cast<size_t>(reached / step - blockSteps)]))
                        return ChunkOutcome::failed;
                }
                position += n;
            }
            return ChunkOutcome::measured;
        }
        catch (...)
        {
            return ChunkOutcome::failed;
        }
    }

    void addCallPeaks(ebur128_state* state, double* chunkPeaks) const
    {
        for (int ch = 0; ch < numChannels; ++ch)
        {
            double peak = 0.0;
            if (ebur128_prev_true_peak(state, static_cast<unsigned int>(ch), &peak) == EBUR128_SUCCESS)
                chunkPeaks[ch] = std::max(chunkPeaks[ch], peak);
        }
    }

    const int numChannels;
    const int rate;
    const juce::int64 step;
    const juce::int64 numSamples;
    const ParallelLoudness::Measures measures;
    const Plan plan;
    const int piece;
    const ParallelLoudness::ShouldStop& shouldStop;

    // Each chunk writes only its own blocks and its own peaks.
    std::vector<double> energies; // every gating block of the stream, in stream order
    std::vector<double> peaks;    // per chunk and channel, linear
    std::atomic<bool> cancelled { false };

    std::mutex mutex;
    std::condition_variable changed;
    int finished = 0;
    bool stopped = false;
    bool failed = false;

    // Last, so that it is gone before anything its jobs touch.
    juce::ThreadPool pool;
};

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
    // The first block a chunk keeps begins three steps before the chunk.
    return static_cast<int>((warmUpSteps + blockSteps - 1) * stepLength(sampleRate));
}

int ParallelLoudness::pieceLength(int numChannels, int sampleRate)
{
    return pieceFrames(numChannels, sampleRate);
}

int ParallelLoudness::chunkLength(int numChannels, int sampleRate, juce::int64 numSamples)
{
    return static_cast<int>(planFor(numChannels, sampleRate, numSamples).chunk);
}

namespace
{
ParallelLoudness::Outcome measureChunks(int numChannels, int sampleRate, juce::int64 numSamples,
                                        ParallelLoudness::Measures measures, int threads,
                                        const ParallelLoudness::ShouldStop& shouldStop, const MakeSource& makeSource,
                                        ParallelLoudness::Reading& reading)
{
    // The library refuses these formats anyway; the grid needs a step.
    if (numChannels <= 0 || stepLength(sampleRate) <= 0)
        return ParallelLoudness::Outcome::failed;
    const auto plan = planOrWhole(numChannels, sampleRate, numSamples);
    ChunkRun run(numChannels, sampleRate, numSamples, measures, plan,
                 poolSize(numChannels, sampleRate, numSamples, plan, threads), shouldStop);
    return run.run(makeSource, reading);
}
} // namespace

ParallelLoudness::Outcome ParallelLoudness::measureBuffer(const juce::AudioBuffer<float>& buffer, int sampleRate,
                                                          Measures measures, int threads,
                                                          const ShouldStop& shouldStop, Reading& reading)
{
    return measureChunks(buffer.getNumChannels(), sampleRate, buffer.getNumSamples(), measures, threads, shouldStop,
                         [&buffer] { return std::make_unique<BufferSource>(buffer); }, reading);
}

ParallelLoudness::Outcome ParallelLoudness::measureStream(int numChannels, int sampleRate, juce::int64 numSamples,
                                                          int threads, const OpenReader& openReader,
                                                          const ShouldStop& shouldStop, Reading& reading)
{
    const int piece = pieceFrames(numChannels, sampleRate);
    return measureChunks(numChannels, sampleRate, numSamples, Measures::loudnessAndTruePeak, threads, shouldStop,
                         [&openReader, numChannels, piece]() -> std::unique_ptr<Source>
                         {
                             auto read = openReader();
                             if (!read)
                                 return nullptr;
                             return std::make_unique<StreamSource>(std::move(read), numChannels, piece);
                         },
                         reading);
}
