#include "measure/TruePeak.h"

#include "measure/Blocks.h"
#include "measure/LoudnessAnalyzer.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

float truePeakDecibels(ebur128_state* truePeakState, int numChannels)
{
    float peak = 0.0f;

    if (truePeakState != nullptr)
    {
        for (int ch = 0; ch < numChannels; ++ch)
        {
            double value = 0.0;
            if (ebur128_true_peak(truePeakState, static_cast<unsigned int>(ch), &value) == EBUR128_SUCCESS)
                peak = std::max(static_cast<float>(value), peak);
        }
    }

    float dBTP = -100.0f;
    if (peak > 0.0f)
        dBTP = std::max(20.0f * std::log10(peak), -100.0f);
    return dBTP;
}

bool measureTruePeak(const juce::AudioBuffer<float>& buffer, int sampleRate, int blockSize,
                     const std::function<bool()>& shouldStop, float& dBTP)
{
    const int numChannels = buffer.getNumChannels();
    if (numChannels <= 0 || sampleRate <= 0)
        return false;

    const std::unique_ptr<ebur128_state, void (*)(ebur128_state*)> state(
        ebur128_init(static_cast<unsigned int>(numChannels), static_cast<unsigned long>(sampleRate),
                     EBUR128_MODE_TRUE_PEAK),
        [](ebur128_state* s) { ebur128_destroy(&s); });
    if (state == nullptr)
        return false;

    std::vector<float> frames;
    const bool finished = forEachBlock(buffer.getNumSamples(), blockSize, [&](juce::int64 start, int count) {
        if (shouldStop && shouldStop())
            return false;

        const juce::AudioBuffer<float> block(const_cast<float* const*>(buffer.getArrayOfReadPointers()), numChannels,
                                             static_cast<int>(start), count);
        LoudnessAnalyzer::interleave(block, frames);
        ebur128_add_frames_float(state.get(), frames.data(), static_cast<size_t>(count));
        return true;
    });
    if (!finished)
        return false;

    dBTP = truePeakDecibels(state.get(), numChannels);
    return true;
}
