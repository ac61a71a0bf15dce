#pragma once

#include <juce_audio_formats/juce_audio_formats.h>

#include <memory>

// JUCE's WAV and AIFF readers fill whatever a file cannot deliver with silence
// and still report success, so a truncated file would be measured or exported
// as if it ended in digital silence. A CheckedReader puts a watch between the
// reader and the file that notes any read coming up short once the header has
// been parsed: the readers only ask for bytes inside the data chunk then, so a
// short read means the audio is not all there.
class CheckedReader
{
public:
    // Opens the file the way AudioFormatManager::createReaderFor(File) does:
    // the first registered format that claims the extension and opens it.
    CheckedReader(juce::AudioFormatManager& formats, const juce::File& file);
    ~CheckedReader();

    juce::AudioFormatReader* get() const noexcept { return reader.get(); }
    juce::AudioFormatReader* operator->() const noexcept { return reader.get(); }
    explicit operator bool() const noexcept { return reader != nullptr; }

    // True when a read since opening got fewer bytes than it asked for.
    bool cameUpShort() const noexcept;

    // The length and sample rate as the meter and a whole-file buffer take
    // them, as ints. False when the file is longer than an int can count or
    // its rate lies outside what an int holds (narrowing would be undefined).
    bool lengthAndRateFitInt(int& numSamples, int& sampleRate) const;

    // Reads samples and answers whether all of them really came from the file.
    bool readComplete(juce::AudioBuffer<float>& destination, int startInDestination, int numSamples,
                      juce::int64 readerStart);

private:
    class Watch;
    std::unique_ptr<juce::AudioFormatReader> reader;
    Watch* watch = nullptr; // owned by the reader
};
