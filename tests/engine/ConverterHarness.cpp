#include "ConverterHarness.h"

#include "common/WavFiles.h"

#include <cmath>
#include <limits>

namespace enginetest
{
Recorder::Recorder(AudioConverter& converter)
{
    converter.onStatusChanged = [this, &converter](const juce::String& text)
    {
        const std::lock_guard<std::mutex> guard(mutex);
        recorded.texts.push_back(text);
        recorded.progressAtText.push_back(converter.progress.load());
    };
}

RunLog Recorder::log() const
{
    const std::lock_guard<std::mutex> guard(mutex);
    return recorded;
}

AudioConverter::ConversionTask makeTask(const juce::File& input, const juce::File& output, double lufs, double truePeak,
                                        const juce::String& name, float preLufs, float preTruePeak)
{
    AudioConverter::ConversionTask task;
    task.inputFile = input;
    task.outputFile = output;
    task.targetLUFS = lufs;
    task.targetTruePeak = truePeak;
    task.targetName = name;
    task.preAnalyzedLUFS = preLufs;
    task.preAnalyzedTruePeak = preTruePeak;
    return task;
}

RunLog runToEnd(AudioConverter& converter)
{
    const Recorder recorder(converter);
    converter.startThread();
    converter.waitForThreadToExit(-1);
    converter.onStatusChanged = nullptr;
    return recorder.log();
}

juce::AudioBuffer<float> audioOf(const juce::File& file)
{
    return testwav::read(file).audio;
}

float maxDifference(const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b)
{
    if (a.getNumChannels() != b.getNumChannels() || a.getNumSamples() != b.getNumSamples())
        return std::numeric_limits<float>::infinity();

    float worst = 0.0f;
    for (int ch = 0; ch < a.getNumChannels(); ++ch)
        for (int i = 0; i < a.getNumSamples(); ++i)
            worst = std::max(worst, std::abs(a.getSample(ch, i) - b.getSample(ch, i)));
    return worst;
}

float samplePeakDb(const juce::AudioBuffer<float>& buffer)
{
    return juce::Decibels::gainToDecibels(buffer.getMagnitude(0, buffer.getNumSamples()), -200.0f);
}

std::unique_ptr<juce::AudioFormatReader> openReader(const juce::File& file)
{
    juce::AudioFormatManager formats;
    formats.registerBasicFormats();
    return std::unique_ptr<juce::AudioFormatReader>(formats.createReaderFor(file));
}
} // namespace enginetest
