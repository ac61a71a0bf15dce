#include "measure/LoudnessAnalyzer.h"

#include <vector>

LoudnessAnalyzer::LoudnessAnalyzer(int numChannels, int sampleRate)
{
    // ebur128_init takes unsigned values; a negative count or rate must be
    // refused, not wrapped into a huge one.
    if (numChannels <= 0 || sampleRate <= 0)
        return;

    const auto channels = static_cast<unsigned int>(numChannels);
    const auto rate = static_cast<unsigned long>(sampleRate);
    truePeakState = ebur128_init(channels, rate, EBUR128_MODE_S | EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    integratedState = ebur128_init(channels, rate, EBUR128_MODE_I);
}

LoudnessAnalyzer::~LoudnessAnalyzer()
{
    if (truePeakState != nullptr)
        ebur128_destroy(&truePeakState);
    if (integratedState != nullptr)
        ebur128_destroy(&integratedState);
}

void LoudnessAnalyzer::analyzeBuffer(const juce::AudioBuffer<float>& buffer)
{
    const int numChannels = buffer.getNumChannels();
    const int numSamples = buffer.getNumSamples();
    if (numChannels <= 0 || numSamples <= 0)
        return;

    // The states were opened for a fixed channel count; frames of another
    // width would be misread as a different interleaving.
    const auto stateChannels = [](const ebur128_state* s) { return s != nullptr ? static_cast<int>(s->channels) : -1; };

    std::vector<float> interleaved;
    interleave(buffer, interleaved);

    const auto frames = static_cast<size_t>(numSamples);
    if (stateChannels(truePeakState) == numChannels)
        ebur128_add_frames_float(truePeakState, interleaved.data(), frames);
    if (stateChannels(integratedState) == numChannels)
        ebur128_add_frames_float(integratedState, interleaved.data(), frames);
}

void LoudnessAnalyzer::interleave(const juce::AudioBuffer<float>& buffer, std::vector<float>& frames)
{
    const int numChannels = buffer.getNumChannels();
    const int numSamples = buffer.getNumSamples();
    frames.assign(static_cast<size_t>(numChannels) * static_cast<size_t>(numSamples), 0.0f);
    for (int ch = 0; ch < numChannels; ++ch)
    {
        const float* src = buffer.getReadPointer(ch);
        for (int i = 0; i < numSamples; ++i)
            frames[static_cast<size_t>(i) * static_cast<size_t>(numChannels) + static_cast<size_t>(ch)] = src[i];
    }
}

float LoudnessAnalyzer::getIntegratedLoudness()
{
    if (integratedState == nullptr || (integratedState->mode & EBUR128_MODE_I) != EBUR128_MODE_I)
        return -70.0f;

    double loudness = 0.0;
    if (ebur128_loudness_global(integratedState, &loudness) != EBUR128_SUCCESS)
        return -70.0f;

    return static_cast<float>(loudness);
}
