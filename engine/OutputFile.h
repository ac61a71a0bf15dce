#pragma once

#include "engine/InfoItems.h"

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
// and metadata under chooseName(requested), its INFO chunk holding
// `infoItems` in their order (see InfoItems::chunkFor). Never writes into a
// file that already exists, and deletes the file it created whenever it fails
// or is stopped, so no half-written WAV is left behind. `shouldStop` is asked
// between blocks of samples.
Result write(const juce::AudioBuffer<float>& audio, const juce::AudioFormatReader& source, const juce::File& requested,
             const InfoItems::List& infoItems = {}, const std::function<bool()>& shouldStop = {});

// Adds `chunk` (header and bytes, of even length) at the end of a finished
// RIFF or RF64 WAVE file and counts it in the RIFF size, or in the ds64 chunk
// that JUCE's writer puts first in an RF64 file. False, with the file in an
// unknown state, when the file cannot take it.
bool appendChunk(const juce::File& file, const juce::MemoryBlock& chunk);
} // namespace OutputFile
