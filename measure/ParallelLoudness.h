#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <functional>

// Measures one stream as consecutive time chunks on a pool of threads, with
// exactly the true peak of one LoudnessAnalyzer fed the whole stream and its
// integrated loudness to within rounding (a few 1e-10 LU at most on DC
// offsets and sub-bass, nothing on most programme).
//
// Why the chunks add up to the single pass:
// - Loudness. The integrated loudness is the gate applied to the energies of
//   the 400 ms blocks that end on libebur128's 100 ms grid. Each chunk's state
//   is fed so that a call ends at every point of that grid, and after such a
//   call the state's momentary loudness gives the block that ends there (the
//   library's own step, rounded: 1103 samples at 11025 Hz). A chunk keeps the
//   blocks that end inside it, so every block of the stream is kept once, in
//   stream order, and the gate runs over all of them as the library runs it
//   over its own block list. The K-weighting filter starts from rest, and on a
//   DC offset or sub-bass its first tens of milliseconds are far off: each
//   chunk but the first is therefore fed half a second more than its first
//   block needs, and the blocks of that half second are not kept. By then the
//   filter agrees with the single pass's to the last bits of a double.
// - True peak. The oversampling interpolator only remembers its last few input
//   frames, far fewer than the lead-in, so for the chunk's own frames it
//   produces exactly what the single pass produces for them. The peak is taken
//   from the library's per-call peak of those calls only, so nothing from the
//   lead-in is counted twice and nothing at the boundary is missed.
//
// The chunk grid depends on the stream alone, never on the number of threads,
// and every chunk starts afresh from its lead-in, so a stream gives the same
// bits on any number of cores, one included. A state lives only while its
// chunk is measured; what is kept to the end is one double per block (under
// 0.3 MB an hour).
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
        failed,   // a read failed, memory ran out, or the library refused a state or a call
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

    // The chunk length in samples for a stream, or 0 when the stream is to be
    // measured in one pass: a stream too short to be worth splitting, or a
    // format whose state and blocks would not fit the memory a measurement may
    // keep. It does not depend on the number of threads.
    static int chunkLength(int numChannels, int sampleRate, juce::int64 numSamples);

    // Samples of lead-in fed before each chunk but the first.
    static int leadIn(int sampleRate);

    // Samples a chunk reads at a time from a stream: at most one second.
    static int pieceLength(int numChannels, int sampleRate);

    // Streams that chunkLength would not split are measured as one chunk, with
    // the same results as the single pass. `threads` only sets how many chunks
    // run at once.

    // A stream already in memory.
    static Outcome measureBuffer(const juce::AudioBuffer<float>& buffer, int sampleRate, Measures measures,
                                 int threads, const ShouldStop& shouldStop, Reading& reading);

    // A stream read in pieces by each chunk through its own reader. Memory
    // stays within the bounded states and one piece per running chunk
    // whatever the stream's length.
    static Outcome measureStream(int numChannels, int sampleRate, juce::int64 numSamples, int threads,
                                 const OpenReader& openReader, const ShouldStop& shouldStop, Reading& reading);
};
