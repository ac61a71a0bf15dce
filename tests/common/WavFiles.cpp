#include "common/WavFiles.h"

#include <atomic>
#include <cmath>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testwav
{
TempFolder::TempFolder()
{
    // Test processes run side by side: a name that is merely unused now could
    // be taken by another process before we create it, and that process would
    // delete our files with its own folder. The process id and a random part
    // keep the names apart.
    static std::atomic<int> counter { 0 };
    const auto temp = juce::File::getSpecialLocation(juce::File::tempDirectory);
    do
    {
        dir = temp.getChildFile("tarnvale-test-" + juce::String(::getpid()) + "-" + juce::String(++counter) + "-"
                                + juce::String::toHexString(juce::Random::getSystemRandom().nextInt()));
    } while (dir.exists());
    dir.createDirectory();
}

TempFolder::~TempFolder()
{
    dir.deleteRecursively();
}

bool write(const juce::File& file, const juce::AudioBuffer<float>& buffer, double sampleRate, int bitsPerSample,
           const juce::StringPairArray& metadata)
{
    // JUCE's writer asserts that an ISRC has 12 characters, since it also puts
    // it in an axml chunk. Tests need other values too: those go into an INFO
    // item alone, where readers find them under the same key.
    auto toWriter = metadata;
    const auto isrc = metadata.getValue("ISRC", {});
    const bool isrcInInfoOnly = isrc.isNotEmpty() && isrc.length() != 12;
    if (isrcInInfoOnly)
        toWriter.remove(juce::StringRef("ISRC"));

    file.deleteFile();
    {
        auto stream = std::make_unique<juce::FileOutputStream>(file);
        if (!stream->openedOk())
            return false;

        juce::WavAudioFormat wav;
        std::unique_ptr<juce::AudioFormatWriter> writer(wav.createWriterFor(
            stream.get(), sampleRate, static_cast<unsigned int>(buffer.getNumChannels()), bitsPerSample, toWriter, 0));
        if (writer == nullptr)
            return false;
        stream.release(); // the writer owns it now

        if (!writer->writeFromAudioSampleBuffer(buffer, 0, buffer.getNumSamples()))
            return false;
    }

    if (isrcInInfoOnly)
        appendChunk(file, "LIST", infoChunk({ { "ISRC", isrc.toStdString() } }));
    return true;
}

juce::MemoryBlock infoChunk(const std::vector<std::pair<std::string, std::string>>& items)
{
    juce::MemoryOutputStream out;
    out.write("INFO", 4);
    for (const auto& [id, text] : items)
    {
        const auto size = text.size() + 1;
        out.write(id.data(), 4);
        out.writeInt(static_cast<int>(size));
        out.write(text.c_str(), size);
        if ((size & 1) != 0)
            out.writeByte(0);
    }
    return out.getMemoryBlock();
}

void appendChunk(const juce::File& file, const char* id, const juce::MemoryBlock& bytes)
{
    juce::MemoryBlock existing;
    file.loadFileAsData(existing);
    juce::MemoryOutputStream out;
    out.write(existing.getData(), existing.getSize());
    out.write(id, 4);
    out.writeInt(static_cast<int>(bytes.getSize()));
    out.write(bytes.getData(), bytes.getSize());
    if ((bytes.getSize() & 1) != 0)
        out.writeByte(0);
    out.setPosition(4);
    out.writeInt(static_cast<int>(out.getDataSize() - 8));
    file.replaceWithData(out.getData(), out.getDataSize());
}

juce::MemoryBlock fmtChunk(int channels, uint32_t sampleRate, int bitsPerSample, int formatTag)
{
    const auto blockAlign = static_cast<uint16_t>(channels * (bitsPerSample / 8));
    juce::MemoryOutputStream out;
    out.writeShort(static_cast<short>(formatTag));
    out.writeShort(static_cast<short>(channels));
    out.writeInt(static_cast<int>(sampleRate));
    out.writeInt(static_cast<int>(sampleRate * blockAlign));
    out.writeShort(static_cast<short>(blockAlign));
    out.writeShort(static_cast<short>(bitsPerSample));
    return out.getMemoryBlock();
}

void writeChunks(const juce::File& file, const std::vector<Chunk>& chunks)
{
    juce::MemoryOutputStream body;
    body.write("WAVE", 4);
    for (const auto& chunk : chunks)
    {
        body.write(chunk.id, 4);
        body.writeInt(static_cast<int>(chunk.bytes.getSize()));
        body.write(chunk.bytes.getData(), chunk.bytes.getSize());
        if (chunk.pad && (chunk.bytes.getSize() & 1) != 0)
            body.writeByte(0);
    }

    file.deleteFile();
    juce::FileOutputStream out(file);
    out.write("RIFF", 4);
    out.writeInt(static_cast<int>(body.getDataSize()));
    out.write(body.getData(), body.getDataSize());
}

void writeRaw(const juce::File& file, int channels, uint32_t sampleRate, int bitsPerSample, int formatTag,
              const juce::MemoryBlock& data)
{
    writeChunks(file, { { "fmt ", fmtChunk(channels, sampleRate, bitsPerSample, formatTag) }, { "data", data } });
}

void writeInt32(const juce::File& file, const juce::AudioBuffer<float>& buffer, uint32_t sampleRate)
{
    juce::MemoryOutputStream data;
    for (int i = 0; i < buffer.getNumSamples(); ++i)
        for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        {
            const double v = juce::jlimit(-1.0, 1.0, static_cast<double>(buffer.getSample(ch, i)));
            data.writeInt(static_cast<int>(std::lround(v * 2147483647.0)));
        }
    writeRaw(file, buffer.getNumChannels(), sampleRate, 32, 1, data.getMemoryBlock());
}

void truncate(const juce::File& file, int64_t bytesToKeep)
{
    juce::MemoryBlock all;
    file.loadFileAsData(all);
    all.setSize(static_cast<size_t>(bytesToKeep));
    file.replaceWithData(all.getData(), all.getSize());
}

Contents read(const juce::File& file)
{
    Contents c;
    // The WAV reader dereferences the stream it is given, so a missing file
    // must not reach it.
    auto stream = file.createInputStream();
    if (stream == nullptr)
        return c;
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatReader> reader(wav.createReaderFor(stream.release(), true));
    if (reader == nullptr)
        return c;
    c.sampleRate = reader->sampleRate;
    c.channels = static_cast<int>(reader->numChannels);
    c.bitsPerSample = static_cast<int>(reader->bitsPerSample);
    c.usesFloat = reader->usesFloatingPointData;
    c.metadata = reader->metadataValues;
    c.audio.setSize(c.channels, static_cast<int>(reader->lengthInSamples));
    c.ok = reader->read(&c.audio, 0, c.audio.getNumSamples(), 0, true, true);
    return c;
}

NamedPipe::NamedPipe(const juce::File& f) : pipe(f)
{
    ok = ::mkfifo(pipe.getFullPathName().toRawUTF8(), 0600) == 0;
}

NamedPipe::~NamedPipe()
{
    letReadersThrough();
    pipe.deleteFile();
}

bool NamedPipe::letReadersThrough()
{
    // Opening the writing end without blocking succeeds only while a reader
    // waits in its open(); closing it again gives that reader an empty pipe.
    const int fd = ::open(pipe.getFullPathName().toRawUTF8(), O_WRONLY | O_NONBLOCK);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

std::vector<uint8_t> bytes(const juce::File& file)
{
    juce::MemoryBlock block;
    file.loadFileAsData(block);
    const auto* p = static_cast<const uint8_t*>(block.getData());
    return std::vector<uint8_t>(p, p + block.getSize());
}
} // namespace testwav
