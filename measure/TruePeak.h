#pragma once

#include <juce_audio_basics/juce_audio_basics.h>
#include <ebur128.h>

#include <functional>

// The one way per-channel true peaks become a single dBTP value: the largest
// linear peak over the channels whose query succeeds, in dB, floored at -100
// (exactly -100 for digital silence or when no channel could be queried).
float truePeakDecibels(ebur128_state* truePeakState, int numChannels);

// The true peak of a whole buffer in dBTP, by the rule above, with a meter
// that measures nothing else. False when the library refuses the format or
// `shouldStop` answers true between two blocks.
bool measureTruePeak(const juce::AudioBuffer<float>& buffer, int sampleRate, int blockSize,
                     const std::function<bool()>& shouldStop, float& dBTP);
