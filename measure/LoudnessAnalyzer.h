#pragma once

#include <juce_audio_basics/juce_audio_basics.h>
#include <ebur128.h>

#include <vector>

// One EBU R128 measurement over one stream. libebur128 does the measuring, in
// one state for integrated loudness and true peak: a second state fed the
// same frames would only repeat the K-weighting and gating.
class LoudnessAnalyzer
{
public:
    // Without true peak the state measures integrated loudness alone, which
    // is several times cheaper, and there is no true-peak state.
    LoudnessAnalyzer(int numChannels, int sampleRate, bool measureTruePeak = true);
    ~LoudnessAnalyzer();

    LoudnessAnalyzer(const LoudnessAnalyzer&) = delete;
    LoudnessAnalyzer& operator=(const LoudnessAnalyzer&) = delete;

    void analyzeBuffer(const juce::AudioBuffer<float>& buffer);

    // Gated integrated loudness in LUFS; minus infinity when no block passes
    // the gates, -70 when the library refused the integrated state.
    float getIntegratedLoudness();

    // True when the library accepted the states asked for, for this channel
    // count and sample rate; otherwise nothing is measured.
    bool isValid() const noexcept
    {
        return integratedState != nullptr && (truePeakState != nullptr || !withTruePeak);
    }

    // Both point at the one state (the true-peak one is null when true peak
    // is not measured); query true peaks on truePeakState.
    ebur128_state* truePeakState = nullptr;
    ebur128_state* integratedState = nullptr;

private:
    bool withTruePeak = true;
    // Reused from block to block: the measuring loop allocates nothing once
    // the largest block has been seen.
    std::vector<float> interleaved;
};
