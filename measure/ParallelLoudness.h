#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <functional>

// Measures one stream as consecutive time chunks on a pool of threads and
// gives the same integrated loudness and true peak as one LoudnessAnalyzer
// fed the whole stream.
//
// Why the chunks add up to the single pass:
// - Loudness. The single pass gates 400 ms blocks that end every 100 ms of
//   the stream. Chunks start on that grid, and each chunk's meter is first fed
//   the 400 ms before the chunk's start. The K-weighting filter has settled by
//   the time the first block the chunk owns begins, so every chunk produces
//   the single pass's block energies for the blocks ending inside it, and the
//   chunks together produce every block once. The energies are read from the
//   meter after each 100 ms step and gated over the whole stream at the end.
// - True peak. The oversampling interpolator only remembers its last few input
//   frames, so after the lead-in it produces, for the chunk's own frames,
//   exactly what the single pass produces for them. The peak is taken from
//   the meter's per-call peak of those calls only, so nothing from the lead-in
//   is counted twice and nothing at the boundary is missed.
//
// Meters are made per chunk and dropped when it is done: memory does not grow
// with the stream's length beyond ten block energies per second.
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
        failed,   // a read failed, or the library refused a meter
        abandoned // the caller asked to stop
    };

    using ShouldStop = std::function<bool()>;
    // Fills destination[destinationStart, destinationStart + numSamples) with
    // the stream's samples from streamStart on; false when they can't be had.
    using ReadSamples = std::function<bool(juce::AudioBuffer<float>& destination, int destinationStart,
                                           int numSamples, juce::int64 streamStart)>;

    // Cores this process may run on (its CPU affinity, where the platform has one).
    static int availableThreads();

    // The chunk length in samples for a stream on this many threads, or 0 when
    // the stream is to be measured in one pass: one thread, a stream too short
    // to be worth splitting, or a format whose chunks would not fit the memory
    // the read-ahead may use.
    static int chunkLength(int numChannels, int sampleRate, juce::int64 numSamples, int threads);

    // Samples of lead-in fed before each chunk but the first.
    static int leadIn(int sampleRate);

    // Streams that chunkLength would not split are measured chunk after chunk
    // on one thread, with the same results.

    // A stream already in memory.
    static Outcome measureBuffer(const juce::AudioBuffer<float>& buffer, int sampleRate, Measures measures,
                                 int threads, const ShouldStop& shouldStop, Reading& reading);

    // A stream read ahead in chunks through `read`, on the calling thread,
    // while the pool measures the chunks already read. Memory stays within a
    // fixed number of chunk buffers whatever the stream's length.
    static Outcome measureStream(int numChannels, int sampleRate, juce::int64 numSamples, int threads,
                                 const ReadSamples& read, const ShouldStop& shouldStop, Reading& reading);
};
