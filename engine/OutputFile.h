#pragma once

#include <juce_audio_formats/juce_audio_formats.h>

#include <functional>

// The last stage of every export task: picks a name that nothing holds yet and
// writes the processed audio there as a WAV file in the input's format, with
// the input's metadata.
namespace OutputFile
{
// The highest number tried before giving up on a name.
constexpr int maxNumberedNames = 999;

// `requested` when nothing (file or folder) holds that name, otherwise the
// first free "<name>_<k><ext>" beside it for k = 1 ... 999; an empty File when
// every one of them is taken.
juce::File chooseName(const juce::File& requested);

struct Result
{
    juce::File file;      // the written file; empty after an error or a stop
    juce::String error;   // the message for the status line, empty when none
    bool abandoned = false;
};

// Writes `audio` with `source`'s sample rate, channel count, bits per sample
// and metadata under chooseName(requested). Never writes into a file that
// already exists, and deletes the file it created whenever it fails or is
// stopped, so no half-written WAV is left behind. `shouldStop` is asked
// between blocks of samples.
Result write(const juce::AudioBuffer<float>& audio, const juce::AudioFormatReader& source, const juce::File& requested,
             const std::function<bool()>& shouldStop = {});
} // namespace OutputFile
