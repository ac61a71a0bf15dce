#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <functional>

// Single-result measurements of a whole buffer. Each opens only the library
// mode it needs, so a pass that wants just the loudness skips the true peak,
// which is most of what a full LoudnessAnalyzer pass costs. The results equal
// those of a LoudnessAnalyzer fed the same blocks. Both answer false when the
// library refuses the format or `shouldStop` answers true between blocks.
bool measureTruePeak(const juce::AudioBuffer<float>& buffer, int sampleRate, int blockSize,
                     const std::function<bool()>& shouldStop, float& dBTP);
bool measureIntegratedLoudness(const juce::AudioBuffer<float>& buffer, int sampleRate, int blockSize,
                               const std::function<bool()>& shouldStop, float& lufs);
