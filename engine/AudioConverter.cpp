#include "engine/AudioConverter.h"

// Placeholder until the conversion run lands; keeps the core linkable.
AudioConverter::AudioConverter(const std::vector<ConversionTask>& tasksToRun)
    : juce::Thread("Converting..."), tasks(tasksToRun)
{
}

AudioConverter::~AudioConverter()
{
    if (isThreadRunning())
        stopThread(2000);
}

void AudioConverter::run() {}

void AudioConverter::applyLimiting(juce::AudioBuffer<float>&, float, double) {}

void AudioConverter::applyGainOnly(juce::AudioBuffer<float>&, float) {}
