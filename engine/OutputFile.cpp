#include "engine/OutputFile.h"

#include "engine/JuceCompat.h"
#include "measure/Blocks.h"

#include <algorithm>
#include <vector>

namespace OutputFile
{
namespace
{
const char* const cannotCreate = "Error: Cannot create output file";
const char* const cannotWrite = "Error: Cannot write output file";

// Small enough that a stop request is seen quickly and that the float writer's
// conversion block stays small; large enough to cost nothing per call.
constexpr int writeBlockSize = 65536;
constexpr int streamBufferSize = 16384;
} // namespace

juce::File chooseName(const juce::File& requested)
{
    if (!requested.exists())
        return requested;

    const auto base = requested.getFileNameWithoutExtension();
    const auto extension = requested.getFileExtension();
    const auto folder = requested.getParentDirectory();

    for (int k = 1; k <= maxNumberedNames; ++k)
    {
        auto candidate = folder.getChildFile(base + "_" + juce::String(k) + extension);
        if (!candidate.exists())
            return candidate;
    }
    return {};
}

Result write(const juce::AudioBuffer<float>& audio, const juce::AudioFormatReader& source, const juce::File& requested,
             const std::function<bool()>& shouldStop)
{
    Result result;

    // The writer takes as many channels from the buffer as the source has.
    if (audio.getNumChannels() != static_cast<int>(source.numChannels))
    {
        result.error = cannotCreate;
        return result;
    }

    const auto chosen = chooseName(requested);
    // A FileOutputStream opened on an existing file appends to it, so an
    // existing name must never reach it: look again right before opening.
    if (chosen == juce::File() || chosen.exists())
    {
        result.error = cannotCreate;
        return result;
    }

    auto fileStream = std::make_unique<juce::FileOutputStream>(chosen, streamBufferSize);
    if (!fileStream->openedOk())
    {
        // Folder missing or not writable; nothing was created. With no audio
        // there is nothing that failed to go out, and the missing file alone
        // fails the task.
        if (audio.getNumSamples() > 0)
            result.error = cannotWrite;
        return result;
    }

    // Something created the file between the look and the open: it is not
    // ours, so leave it exactly as it is.
    if (fileStream->getPosition() != 0)
    {
        result.error = cannotCreate;
        return result;
    }

    // From here on, the file at `chosen` is one we created.
    auto* status = fileStream.get(); // stays valid while the writer owns the stream
    std::unique_ptr<juce::OutputStream> stream(std::move(fileStream));
    auto writer = createWavWriter(stream, source.sampleRate, source.numChannels,
                                  static_cast<int>(source.bitsPerSample), source.metadataValues, 0);
    if (writer == nullptr)
    {
        result.error = cannotCreate;
        stream.reset();
        chosen.deleteFile();
        return result;
    }

    const int numChannels = audio.getNumChannels();
    const int numSamples = audio.getNumSamples();
    std::vector<const float*> channels(static_cast<size_t>(numChannels));

    bool stopped = false;
    bool ok = forEachBlock(numSamples, writeBlockSize, [&](juce::int64 start, int count) {
        if (shouldStop && shouldStop())
        {
            stopped = true;
            return false;
        }

        for (int ch = 0; ch < numChannels; ++ch)
            channels[static_cast<size_t>(ch)] = audio.getReadPointer(ch, static_cast<int>(start));
        return writer->writeFromFloatArrays(channels.data(), numChannels, count);
    });

    if (stopped)
    {
        writer.reset();
        chosen.deleteFile();
        result.abandoned = true;
        return result;
    }

    // Completing the header here, while the stream is still reachable, lets a
    // full disk show as a failed write rather than as a silently short file.
    // Repositioning for the header pushes out the last buffered bytes without
    // reporting a short write, so the file's size is checked as well.
    if (ok)
        ok = writer->flush() && status->getStatus().wasOk() && chosen.getSize() >= status->getPosition();

    if (!ok)
    {
        result.error = cannotWrite;
        writer.reset();
        chosen.deleteFile();
        return result;
    }

    writer.reset();
    result.file = chosen;
    return result;
}
} // namespace OutputFile
