#include "engine/OutputFile.h"

#include "engine/JuceCompat.h"
#include "measure/Blocks.h"
#include "measure/RiffChunks.h"

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

bool appendChunk(const juce::File& file, const juce::MemoryBlock& chunk)
{
    juce::String container;
    {
        juce::FileInputStream in(file);
        if (!in.openedOk())
            return false;
        container = RiffChunks::readTag(in);
        in.setPosition(12);
        if (container == "RF64" && RiffChunks::readTag(in) != "ds64")
            return false;
    }
    if (container != "RIFF" && container != "RF64")
        return false;

    const auto length = file.getSize();
    const auto newLength = length + static_cast<juce::int64>(chunk.getSize());
    // A RIFF size is 32 bits; a file that outgrows it would need rewriting as RF64.
    if ((length & 1) != 0 || (container == "RIFF" && newLength - 8 > 0xffffffffLL))
        return false;

    {
        juce::FileOutputStream out(file); // opens at the end of the file
        if (!out.openedOk() || out.getPosition() != length || !out.write(chunk.getData(), chunk.getSize()))
            return false;
        const bool sized = container == "RF64"
                               ? out.setPosition(20) && out.writeInt64(newLength - 8)
                               : out.setPosition(4)
                                     && out.writeInt(static_cast<int>(static_cast<juce::uint32>(newLength - 8)));
        out.flush();
        if (!sized || !out.getStatus().wasOk())
            return false;
    }
    return file.getSize() == newLength;
}

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
             const InfoItems::List& infoItems, const std::function<bool()>& shouldStop)
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
    // JUCE's writer stores only the INFO types it knows, in an order of its
    // own, so the INFO chunk is added once its file is complete.
    auto writer = createWavWriter(stream, source.sampleRate, source.numChannels,
                                  static_cast<int>(source.bitsPerSample),
                                  InfoItems::withoutInfo(source.metadataValues), 0);
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
    const auto info = InfoItems::chunkFor(infoItems, source.metadataValues);
    if (!info.isEmpty() && !appendChunk(chosen, info))
    {
        result.error = cannotWrite;
        chosen.deleteFile();
        return result;
    }

    result.file = chosen;
    return result;
}
} // namespace OutputFile
