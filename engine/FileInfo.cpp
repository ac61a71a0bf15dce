#include "engine/AudioConverter.h"

void AudioConverter::getFileInfo(const juce::File& file, double& sampleRate, int& bitsPerSample, juce::String& isrc)
{
    juce::AudioFormatManager formatManager;
    formatManager.registerBasicFormats();

    std::unique_ptr<juce::AudioFormatReader> reader(formatManager.createReaderFor(file));
    if (reader == nullptr)
        return;

    sampleRate = reader->sampleRate;
    bitsPerSample = static_cast<int>(reader->bitsPerSample);

    isrc = reader->metadataValues.getValue("ISRC", {});
    if (isrc.isNotEmpty())
        isrc = isrc.retainCharacters("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
}
