#pragma once

#include "engine/AudioConverter.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <mutex>
#include <ostream>
#include <vector>

namespace juce
{
// Readable texts in test failure messages.
inline void PrintTo(const String& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
} // namespace juce

namespace enginetest
{
// Everything a run published, in order: each status text together with the
// progress value at the moment the text was set.
struct RunLog
{
    std::vector<juce::String> texts;
    std::vector<float> progressAtText;
};

// Records through the converter's diagnostics hook; safe to read once the
// converter's thread has ended.
class Recorder
{
public:
    explicit Recorder(AudioConverter& converter);
    RunLog log() const;

private:
    mutable std::mutex mutex;
    RunLog recorded;
};

AudioConverter::ConversionTask makeTask(const juce::File& input, const juce::File& output, double lufs, double truePeak,
                                        const juce::String& name, float preLufs = -999.0f, float preTruePeak = -999.0f);

// Starts the converter and waits until its run has returned.
RunLog runToEnd(AudioConverter& converter);

// Just the audio of a WAV file, for comparing payloads.
juce::AudioBuffer<float> audioOf(const juce::File& file);

// Largest absolute sample difference; infinity when the shapes differ.
float maxDifference(const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b);

// Sample peak in dBFS.
float samplePeakDb(const juce::AudioBuffer<float>& buffer);

// Full-file reader through the framework's basic formats.
std::unique_ptr<juce::AudioFormatReader> openReader(const juce::File& file);
} // namespace enginetest
