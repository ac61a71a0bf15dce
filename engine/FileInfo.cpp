#include "engine/AudioConverter.h"

#include "engine/InfoItems.h"
#include "measure/CheckedReader.h"

void AudioConverter::getFileInfo(const juce::File& file, double& sampleRate, int& bitsPerSample, juce::String& isrc)
{
    // Called on the message thread: opening a named pipe would block it.
    if (!CheckedReader::isRegularFile(file))
        return;

    juce::AudioFormatManager formatManager;
    formatManager.registerBasicFormats();

    std::unique_ptr<juce::AudioFormatReader> reader(formatManager.createReaderFor(file));
    if (reader == nullptr)
        return;

    sampleRate = reader->sampleRate;
    bitsPerSample = static_cast<int>(reader->bitsPerSample);

    auto metadata = reader->metadataValues;
    InfoItems::correct(metadata, file);
    isrc = metadata.getValue("ISRC", {});
    if (isrc.isNotEmpty())
        isrc = isrc.retainCharacters("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
}
