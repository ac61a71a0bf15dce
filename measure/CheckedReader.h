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
    // Anything but a regular file is left unopened (see isRegularFile).
    CheckedReader(juce::AudioFormatManager& formats, const juce::File& file);

    // True for a regular file, links followed. Opening a named pipe blocks
    // until something writes into it, and a device may never end, so readers
    // must not be pointed at anything else.
    static bool isRegularFile(const juce::File& file);
    ~CheckedReader();

    juce::AudioFormatReader* get() const noexcept { return reader.get(); }
    juce::AudioFormatReader* operator->() const noexcept { return reader.get(); }
    explicit operator bool() const noexcept { return reader != nullptr; }

    // True when a read since opening got fewer bytes than it asked for.
    bool cameUpShort() const noexcept;

    // True when there is audio the reader really decodes: one channel or
    // more, 8, 16, 24 or 32 bits per sample, a rate an int holds, and at least
    // one frame unless the file itself declares none.
    // JUCE's WAV reader opens any width up to 32 bits but decodes only these,
    // and for the others reports success without filling the block.
    bool canDecode() const;

    // Reads samples and answers whether all of them really came from the file
    // and are finite: one NaN or infinity makes the loudness, the peak and any
    // gained copy meaningless.
    bool readComplete(juce::AudioBuffer<float>& destination, int startInDestination, int numSamples,
                      juce::int64 readerStart);

private:
    class Watch;
    std::unique_ptr<juce::AudioFormatReader> reader;
    Watch* watch = nullptr; // owned by the reader
    // A WAV file that says it holds no audio: its `fmt ` chunk is followed by
    // a `data` chunk of 0 bytes. JUCE's reader also reports no frames when it
    // found no data chunk, when `fmt ` came after it, or when a chunk without
    // its pad byte threw its walk off; those files hold audio that could not
    // be found.
    bool emptyByDeclaration = false;
};
