#include "measure/BufferMeter.h"

#include "measure/Blocks.h"
#include "measure/LoudnessAnalyzer.h"
#include "measure/TruePeak.h"

#include <memory>
#include <vector>

namespace
{
using State = std::unique_ptr<ebur128_state, void (*)(ebur128_state*)>;

State openState(int numChannels, int sampleRate, int mode)
{
    const auto destroy = [](ebur128_state* s) { ebur128_destroy(&s); };
    if (numChannels <= 0 || sampleRate <= 0)
        return State(nullptr, destroy);
    return State(ebur128_init(static_cast<unsigned int>(numChannels), static_cast<unsigned long>(sampleRate), mode),
                 destroy);
}

bool feedWhole(ebur128_state* state, const juce::AudioBuffer<float>& buffer, int blockSize,
               const std::function<bool()>& shouldStop)
{
    const int numChannels = buffer.getNumChannels();
    std::vector<float> frames;
    return forEachBlock(buffer.getNumSamples(), blockSize, [&](juce::int64 start, int count) {
        if (shouldStop && shouldStop())
            return false;

        // A view of the block, not a copy: it is only read.
        const juce::AudioBuffer<float> block(const_cast<float* const*>(buffer.getArrayOfReadPointers()), numChannels,
                                             static_cast<int>(start), count);
        LoudnessAnalyzer::interleave(block, frames);
        ebur128_add_frames_float(state, frames.data(), static_cast<size_t>(count));
        return true;
    });
}
} // namespace

bool measureTruePeak(const juce::AudioBuffer<float>& buffer, int sampleRate, int blockSize,
                     const std::function<bool()>& shouldStop, float& dBTP)
{
    const auto state = openState(buffer.getNumChannels(), sampleRate, EBUR128_MODE_TRUE_PEAK);
    if (state == nullptr || !feedWhole(state.get(), buffer, blockSize, shouldStop))
        return false;

    dBTP = truePeakDecibels(state.get(), buffer.getNumChannels());
    return true;
}

bool measureIntegratedLoudness(const juce::AudioBuffer<float>& buffer, int sampleRate, int blockSize,
                               const std::function<bool()>& shouldStop, float& lufs)
{
    const auto state = openState(buffer.getNumChannels(), sampleRate, EBUR128_MODE_I);
    if (state == nullptr || !feedWhole(state.get(), buffer, blockSize, shouldStop))
        return false;

    double loudness = 0.0;
    if (ebur128_loudness_global(state.get(), &loudness) != EBUR128_SUCCESS)
        return false;
    lufs = static_cast<float>(loudness);
    return true;
}
