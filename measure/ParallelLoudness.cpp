#include "measure/ParallelLoudness.h"

#include "measure/TruePeak.h"

#include <ebur128.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

#if JUCE_LINUX
 #include <sched.h>
#endif

namespace
{
// Beyond this many threads, two chunks each would keep more states alive than
// the budget below holds.
constexpr int maxThreads = 16;
// Two chunks per thread let a thread that finishes early take another, while
// keeping the states that must outlive their chunks few.
constexpr int chunksPerThread = 2;
// All chunk states of one measurement together; each piece buffer.
constexpr juce::int64 statesBudget = juce::int64 { 40 } << 20;
constexpr juce::int64 pieceBudget = juce::int64 { 512 } << 10;
// Chunks are at least 5 s: shorter ones would spend too much of their time on
// the lead-in. Streams shorter than two such chunks are measured in one pass.
constexpr juce::int64 minChunkSteps = 50;

// libebur128's 100 ms step.
int stepLength(int sampleRate)
{
    return (sampleRate + 5) / 10;
}

int poolSize(int threads)
{
    return std::clamp(threads, 1, maxThreads);
}

// What one state with integrated loudness and true peak holds, from the
// library's allocations: 400 ms of K-weighted doubles, and below 192 kHz the
// interpolator's 400 ms of float input and its oversampled output. Rounded up
// for the smaller allocations.
juce::int64 stateBytes(int numChannels, int sampleRate)
{
    const int oversampling = sampleRate < 96000 ? 4 : sampleRate < 192000 ? 2 : 0;
    const juce::int64 bytesPerFrame = numChannels * (8 + (oversampling > 0 ? 4 + 4 * oversampling : 0));
    return 4 * juce::int64 { stepLength(sampleRate) } * bytesPerFrame + (juce::int64 { 64 } << 10);
}

struct Plan
{
    juce::int64 chunk = 0; // 0: one pass
    int chunks = 1;
    int threads = 1;
};

Plan planFor(int numChannels, int sampleRate, juce::int64 numSamples, int threads)
{
    // Below 1 kHz the lead-in would be too short for the true-peak
    // interpolator; nobody measures such files for broadcast anyway.
    if (threads <= 1 || numChannels <= 0 || sampleRate < 1000 || numSamples <= 0)
        return {};

    threads = poolSize(threads);
    const juce::int64 step = stepLength(sampleRate);
    const juce::int64 mostChunks = std::min({ juce::int64 { threads } * chunksPerThread,
                                              statesBudget / stateBytes(numChannels, sampleRate),
                                              numSamples / (minChunkSteps * step) });
    if (mostChunks < 2)
        return {};

    const juce::int64 steps = (numSamples + step - 1) / step;
    const juce::int64 chunk = (steps + mostChunks - 1) / mostChunks * step;
    const auto chunks = static_cast<int>((numSamples + chunk - 1) / chunk);
    if (chunks < 2 || chunk > std::numeric_limits<int>::max())
        return {};
    return { chunk, chunks, std::min(threads, chunks) };
}

Plan planOrWhole(int numChannels, int sampleRate, juce::int64 numSamples, int threads)
{
    const auto plan = planFor(numChannels, sampleRate, numSamples, threads);
    if (plan.chunk > 0)
        return plan;
    return { std::max(juce::int64 { 1 }, numSamples), 1, 1 };
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

// The chunks of one measurement on their own pool. Each chunk's state is kept
// until the end for the combined loudness.
class ChunkRun
{
public:
    ChunkRun(int channelCount, int sampleRate, ParallelLoudness::Measures toMeasure, const Plan& chunkPlan,
             const ParallelLoudness::ShouldStop& stop)
        : numChannels(channelCount),
          rate(sampleRate),
          measures(toMeasure),
          plan(chunkPlan),
          piece(pieceFrames(channelCount, sampleRate)),
          shouldStop(stop),
          states(static_cast<size_t>(chunkPlan.chunks), nullptr),
          peaks(static_cast<size_t>(chunkPlan.chunks) * static_cast<size_t>(std::max(0, channelCount)), 0.0),
          pool(chunkPlan.threads)
    {
    }

    ~ChunkRun()
    {
        cancelled.store(true);
        pool.removeAllJobs(true, -1);
        for (auto* state : states)
            if (state != nullptr)
                ebur128_destroy(&state);
    }

    ChunkRun(const ChunkRun&) = delete;
    ChunkRun& operator=(const ChunkRun&) = delete;

    ParallelLoudness::Outcome run(juce::int64 numSamples, const MakeSource& makeSource,
                                  ParallelLoudness::Reading& reading)
    {
        const int lead = ParallelLoudness::leadIn(rate);
        for (int i = 0; i < plan.chunks; ++i)
        {
            const juce::int64 start = i * plan.chunk;
            const juce::int64 length = std::min(plan.chunk, numSamples - start);
            const int chunkLead = i == 0 ? 0 : lead;
            pool.addJob([this, i, start, length, chunkLead, &makeSource]
            {
                const auto outcome = measureChunk(i, start, length, chunkLead, makeSource);
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
        return combine(reading) ? ParallelLoudness::Outcome::measured : ParallelLoudness::Outcome::failed;
    }

private:
    bool withLoudness() const { return measures != ParallelLoudness::Measures::truePeakOnly; }
    bool withTruePeak() const { return measures != ParallelLoudness::Measures::loudnessOnly; }

    // A pool thread must not throw: anything thrown fails the chunk instead.
    ChunkOutcome measureChunk(int index, juce::int64 start, juce::int64 length, int lead,
                              const MakeSource& makeSource) noexcept
    {
        try
        {
            const int mode = (withLoudness() ? EBUR128_MODE_I : 0) | (withTruePeak() ? EBUR128_MODE_TRUE_PEAK : 0);
            auto source = makeSource();
            if (source == nullptr)
                return ChunkOutcome::failed;
            std::vector<float> interleaved(static_cast<size_t>(piece) * static_cast<size_t>(numChannels));

            auto*& state = states[static_cast<size_t>(index)];
            state = ebur128_init(static_cast<unsigned int>(numChannels), static_cast<unsigned long>(rate), mode);
            if (state == nullptr)
                return ChunkOutcome::failed;

            auto outcome = feed(*source, state, interleaved, start - lead, lead, nullptr);
            if (outcome == ChunkOutcome::measured)
                outcome = feed(*source, state, interleaved, start, length,
                               withTruePeak() ? &peaks[static_cast<size_t>(index * numChannels)] : nullptr);

            // The true peak is read as the chunk goes: only the loudness needs
            // the state kept.
            if (!withLoudness())
                ebur128_destroy(&state);
            return outcome;
        }
        catch (...)
        {
            return ChunkOutcome::failed;
        }
    }

    // Feeds `count` samples from `from` on, one piece per call. With `chunkPeaks`
    // set, each call's per-channel peak is added to them.
    ChunkOutcome feed(Source& source, ebur128_state* state, std::vector<float>& interleaved, juce::int64 from,
                      juce::int64 count, double* chunkPeaks)
    {
        for (juce::int64 done = 0; done < count;)
        {
            if (cancelled.load(std::memory_order_relaxed))
                return ChunkOutcome::cancelled;
            if (shouldStop && shouldStop())
                return ChunkOutcome::stopped;

            const int n = static_cast<int>(std::min<juce::int64>(piece, count - done));
            const float* const* channels = source.fetch(from + done, n);
            if (channels == nullptr)
                return ChunkOutcome::failed;

            for (int ch = 0; ch < numChannels; ++ch)
            {
                const float* src = channels[ch];
                for (int i = 0; i < n; ++i)
                    interleaved[static_cast<size_t>(i * numChannels + ch)] = src[i];
            }
            ebur128_add_frames_float(state, interleaved.data(), static_cast<size_t>(n));
            done += n;

            if (chunkPeaks != nullptr)
                for (int ch = 0; ch < numChannels; ++ch)
                {
                    double peak = 0.0;
                    if (ebur128_prev_true_peak(state, static_cast<unsigned int>(ch), &peak) == EBUR128_SUCCESS)
                        chunkPeaks[ch] = std::max(chunkPeaks[ch], peak);
                }
        }
        return ChunkOutcome::measured;
    }

    bool combine(ParallelLoudness::Reading& reading)
    {
        if (withLoudness())
        {
            double loudness = 0.0;
            if (ebur128_loudness_global_multiple(states.data(), states.size(), &loudness) != EBUR128_SUCCESS)
                return false;
            reading.lufs = static_cast<float>(loudness);
        }
        if (withTruePeak())
        {
            float peak = 0.0f;
            for (const double channelPeak : peaks)
                peak = std::max(static_cast<float>(channelPeak), peak);
            reading.truePeak = peakDecibels(peak);
        }
        return true;
    }

    const int numChannels;
    const int rate;
    const ParallelLoudness::Measures measures;
    const Plan plan;
    const int piece;
    const ParallelLoudness::ShouldStop& shouldStop;

    std::vector<ebur128_state*> states; // one per chunk, in stream order
    std::vector<double> peaks;          // per chunk and channel, linear
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
    return 3 * stepLength(sampleRate);
}

int ParallelLoudness::pieceLength(int numChannels, int sampleRate)
{
    return pieceFrames(numChannels, sampleRate);
}

int ParallelLoudness::chunkLength(int numChannels, int sampleRate, juce::int64 numSamples, int threads)
{
    return static_cast<int>(planFor(numChannels, sampleRate, numSamples, threads).chunk);
}

ParallelLoudness::Outcome ParallelLoudness::measureBuffer(const juce::AudioBuffer<float>& buffer, int sampleRate,
                                                          Measures measures, int threads,
                                                          const ShouldStop& shouldStop, Reading& reading)
{
    const int numChannels = buffer.getNumChannels();
    const auto plan = planOrWhole(numChannels, sampleRate, buffer.getNumSamples(), threads);
    ChunkRun run(numChannels, sampleRate, measures, plan, shouldStop);
    return run.run(buffer.getNumSamples(), [&buffer] { return std::make_unique<BufferSource>(buffer); }, reading);
}

ParallelLoudness::Outcome ParallelLoudness::measureStream(int numChannels, int sampleRate, juce::int64 numSamples,
                                                          int threads, const OpenReader& openReader,
                                                          const ShouldStop& shouldStop, Reading& reading)
{
    const auto plan = planOrWhole(numChannels, sampleRate, numSamples, threads);
    const int piece = pieceFrames(numChannels, sampleRate);
    ChunkRun run(numChannels, sampleRate, Measures::loudnessAndTruePeak, plan, shouldStop);
    return run.run(numSamples,
                   [&openReader, numChannels, piece]() -> std::unique_ptr<Source>
                   {
                       auto read = openReader();
                       if (!read)
                           return nullptr;
                       return std::make_unique<StreamSource>(std::move(read), numChannels, piece);
                   },
                   reading);
}
