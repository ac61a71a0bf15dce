#pragma once

#include <juce_audio_basics/juce_audio_basics.h>
#include <ebur128.h>

#include <vector>

// One EBU R128 measurement over one stream. libebur128 does the measuring;
// we keep two states fed with the same frames: one for short-term, integrated
// and true peak, one for integrated loudness alone.
class LoudnessAnalyzer
{
public:
    LoudnessAnalyzer(int numChannels, int sampleRate);
    ~LoudnessAnalyzer();

    LoudnessAnalyzer(const LoudnessAnalyzer&) = delete;
    LoudnessAnalyzer& operator=(const LoudnessAnalyzer&) = delete;

    void analyzeBuffer(const juce::AudioBuffer<float>& buffer);

    // Gated integrated loudness in LUFS; minus infinity when no block passes
    // the gates, -70 when the library refused the integrated state.
    float getIntegratedLoudness();

    // The buffer as the library takes it: frame after frame, channels side by side.
    static void interleave(const juce::AudioBuffer<float>& buffer, std::vector<float>& frames);

    // True when the library accepted both states for this channel count and
    // sample rate; otherwise nothing is measured.
    bool isValid() const noexcept { return truePeakState != nullptr && integratedState != nullptr; }

    ebur128_state* truePeakState = nullptr;
    ebur128_state* integratedState = nullptr;
};
