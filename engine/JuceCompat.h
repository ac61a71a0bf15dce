#pragma once

#include <juce_audio_formats/juce_audio_formats.h>

#include <memory>

// JUCE 7.0.5 has no writer-options object: its WAV writer factory takes a raw
// stream pointer, adopts it only when it returns a writer, and leaves it to
// the caller otherwise. This wraps that contract in owning types: on success
// `stream` is moved into the writer, on failure it stays with the caller.
inline std::unique_ptr<juce::AudioFormatWriter> createWavWriter(std::unique_ptr<juce::OutputStream>& stream,
                                                                double sampleRate, unsigned int numChannels,
                                                                int bitsPerSample,
                                                                const juce::StringPairArray& metadata,
                                                                int qualityOptionIndex)
{
    if (stream == nullptr)
        return {};

    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer(
        wav.createWriterFor(stream.get(), sampleRate, numChannels, bitsPerSample, metadata, qualityOptionIndex));

    if (writer != nullptr)
        stream.release(); // owned by the writer from here on

    return writer;
}
