#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <cstdint>
#include <vector>

namespace testsig
{
// Peak amplitude for a level in dBFS.
float dbToGain(double db);

// A sine of the given frequency and peak level (dBFS), the same on every channel.
juce::AudioBuffer<float> sine(int channels, double sampleRate, double frequency, double peakDb, double seconds,
                              double phaseDegrees = 0.0);

// Consecutive segments of a 1 kHz stereo sine at the given levels, as in the
// EBU Tech 3341 test signals.
struct Segment
{
    double peakDb;
    double seconds;
};
juce::AudioBuffer<float> sineSegments(int channels, double sampleRate, const std::vector<Segment>& segments,
                                      double frequency = 1000.0);

// Deterministic white noise at the given RMS level (dBFS).
juce::AudioBuffer<float> noise(int channels, double sampleRate, double rmsDb, double seconds, uint32_t seed = 1);

// Programme-like material: noise bursts of varying level with gaps, plus
// sparse sharp transients, so loudness and peak move independently.
juce::AudioBuffer<float> programme(int channels, double sampleRate, double seconds, uint32_t seed = 7);

// Applies linear fades of the given length at both ends.
void fadeEnds(juce::AudioBuffer<float>& buffer, double sampleRate, double fadeSeconds);

// Feeds a whole buffer to a fresh LoudnessAnalyzer in blocks and returns
// {integrated LUFS, true peak dBTP}.
struct Reading
{
    float lufs;
    float truePeak;
};
Reading measure(const juce::AudioBuffer<float>& buffer, double sampleRate, int blockSize = 4096);
} // namespace testsig
