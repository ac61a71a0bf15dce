#include "measure/LoudnessAnalyzer.h"

LoudnessAnalyzer::LoudnessAnalyzer(int numChannels, int sampleRate)
{
    // ebur128_init takes unsigned values; a negative count or rate must be
    // refused, not wrapped into a huge one.
    if (numChannels <= 0 || sampleRate <= 0)
        return;

    const auto channels = static_cast<unsigned int>(numChannels);
    const auto rate = static_cast<unsigned long>(sampleRate);
    integratedState = ebur128_init(channels, rate, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    truePeakState = integratedState;
}

LoudnessAnalyzer::~LoudnessAnalyzer()
{
    if (integratedState != nullptr)
        ebur128_destroy(&integratedState);
    truePeakState = nullptr;
}

void LoudnessAnalyzer::analyzeBuffer(const juce::AudioBuffer<float>& buffer)
{
    const int numChannels = buffer.getNumChannels();
    const int numSamples = buffer.getNumSamples();
    // The state was opened for a fixed channel count; frames of another
    // width would be misread as a different interleaving.
    if (numChannels <= 0 || numSamples <= 0 || integratedState == nullptr
        || static_cast<int>(integratedState->channels) != numChannels)
        return;

    interleave(buffer, interleaved);
    ebur128_add_frames_float(integratedState, interleaved.data(), static_cast<size_t>(numSamples));
}

void LoudnessAnalyzer::interleave(const juce::AudioBuffer<float>& buffer, std::vector<float>& frames)
{
    const int numChannels = buffer.getNumChannels();
    const int numSamples = buffer.getNumSamples();
    // Every element is written below; resizing keeps the capacity a reused
    // vector already has.
    frames.resize(static_cast<size_t>(numChannels) * static_cast<size_t>(numSamples));
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
