#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <functional>

// Measures one stream as consecutive time chunks on a pool of threads and
// gives the same integrated loudness and true peak as one LoudnessAnalyzer
// fed the whole stream.
//
// Why the chunks add up to the single pass:
// - Loudness. libebur128 completes a 400 ms gating block once 400 ms are in
//   and then every 100 ms. Chunks start on that 100 ms grid, and each chunk's
//   state is first fed the 300 ms before the chunk's start, so its first block
//   ends 100 ms into the chunk and its last at the chunk's end: the chunks'
//   states together hold every block of the single pass exactly once, and
//   ebur128_loudness_global_multiple gates them as the single pass would.
//   Only the K-weighting filter differs, for the first milliseconds of each
//   chunk's first block, as it starts from rest: the result moves by
//   millionths of a LU on programme and by under a thousandth on low bass.
//   Feeding more than 300 ms would put the block that ends at the chunk's
//   start, which the previous chunk already holds, into this chunk too.
// - True peak. The oversampling interpolator only remembers its last few input
//   frames, far fewer than the lead-in, so for the chunk's own frames it
//   produces exactly what the single pass produces for them. The peak is taken
//   from the library's per-call peak of those calls only, so nothing from the
//   lead-in is counted twice and nothing at the boundary is missed.
//
// The states must stay alive until the end, so the number of chunks is bounded
// (about two per thread, fewer for formats whose states are large) whatever
// the stream's length.
class ParallelLoudness
{
public:
    // What a measurement reads; leaving one out saves its share of the work
    // (true peak is most of it).
    enum class Measures
    {
        loudnessAndTruePeak,
        loudnessOnly,
        truePeakOnly
    };

    // A value that is not measured keeps its initial value.
    struct Reading
    {
        float lufs = 0.0f;
        float truePeak = -100.0f; // dBTP, by the same rule as truePeakDecibels
    };

    enum class Outcome
    {
        measured,
        failed,   // a read failed, or the library refused a state
        abandoned // the caller asked to stop
    };

    // Asked between pieces on the pool's threads as well as on the caller's,
    // so it must be safe to call from any thread.
    using ShouldStop = std::function<bool()>;
    // Fills destination[destinationStart, destinationStart + numSamples) with
    // the stream's samples from streamStart on; false when they can't be had.
    using ReadSamples = std::function<bool(juce::AudioBuffer<float>& destination, int destinationStart,
                                           int numSamples, juce::int64 streamStart)>;
    // Opens a reader of the stream for one chunk's use alone, so that chunks
    // read their own regions side by side; an empty function when the stream
    // cannot be opened again as it was.
    using OpenReader = std::function<ReadSamples()>;

    // Cores this process may run on (its CPU affinity, where the platform has one).
    static int availableThreads();

    // The chunk length in samples for a stream on this many threads, or 0 when
    // the stream is to be measured in one pass: one thread, a stream too short
    // to be worth splitting, or a format whose states would not fit the memory
    // the chunks may keep.
    static int chunkLength(int numChannels, int sampleRate, juce::int64 numSamples, int threads);

    // Samples of lead-in fed before each chunk but the first.
    static int leadIn(int sampleRate);

    // Samples a chunk reads at a time from a stream: at most one second.
    static int pieceLength(int numChannels, int sampleRate);

    // Streams that chunkLength would not split are measured as one chunk, with
    // the same results as the single pass.

    // A stream already in memory.
    static Outcome measureBuffer(const juce::AudioBuffer<float>& buffer, int sampleRate, Measures measures,
                                 int threads, const ShouldStop& shouldStop, Reading& reading);

    // A stream read in pieces by each chunk through its own reader. Memory
    // stays within the bounded states and one piece per running chunk
    // whatever the stream's length.
    static Outcome measureStream(int numChannels, int sampleRate, juce::int64 numSamples, int threads,
                                 const OpenReader& openReader, const ShouldStop& shouldStop, Reading& reading);
};
