#pragma once

#include <juce_audio_formats/juce_audio_formats.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testwav
{
// A fresh folder under the system temp folder, deleted with everything in it
// when the object goes out of scope.
class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const juce::File& folder() const noexcept { return dir; }
    juce::File file(const juce::String& name) const { return dir.getChildFile(name); }

private:
    juce::File dir;
};

// Writes a WAV file through JUCE's writer (32 bits are written as float).
// Returns false when the file could not be written.
bool write(const juce::File& file, const juce::AudioBuffer<float>& buffer, double sampleRate, int bitsPerSample = 24,
           const juce::StringPairArray& metadata = {});

// Writes a canonical RIFF/WAVE file byte by byte, for formats JUCE's writer
// will not produce (32-bit integer PCM, odd channel counts, odd rates).
// formatTag 1 = integer PCM, 3 = IEEE float. Samples are interleaved and
// already encoded little-endian in `data`.
void writeRaw(const juce::File& file, int channels, uint32_t sampleRate, int bitsPerSample, int formatTag,
              const juce::MemoryBlock& data);

// A `fmt ` chunk's bytes for a plain (not extensible) format.
juce::MemoryBlock fmtChunk(int channels, uint32_t sampleRate, int bitsPerSample, int formatTag);

// One RIFF chunk: its four-character id and its bytes. An odd-length chunk
// gets its pad byte unless `pad` is false, as some broken writers do.
struct Chunk
{
    const char* id;
    juce::MemoryBlock bytes;
    bool pad = true;
};

// A LIST/INFO chunk's bytes: each item the way writers store it, the text
// with its terminating zero, padded to an even length.
juce::MemoryBlock infoChunk(const std::vector<std::pair<std::string, std::string>>& items);

// Adds a chunk at the end of a RIFF file and updates the RIFF size.
void appendChunk(const juce::File& file, const char* id, const juce::MemoryBlock& bytes);

// A RIFF/WAVE file holding exactly these chunks in this order.
void writeChunks(const juce::File& file, const std::vector<Chunk>& chunks);

// A named pipe. Whatever opens it for reading blocks until a writer comes;
// the destructor lets such a reader through and removes the pipe, so a test
// that finds something opening it fails instead of hanging.
class NamedPipe
{
public:
    explicit NamedPipe(const juce::File& file);
    ~NamedPipe();
    NamedPipe(const NamedPipe&) = delete;
    NamedPipe& operator=(const NamedPipe&) = delete;

    bool created() const noexcept { return ok; }
    const juce::File& file() const noexcept { return pipe; }

    // True when a reader was waiting in its open() and has been let through.
    bool letReadersThrough();

private:
    juce::File pipe;
    bool ok = false;
};

// 32-bit integer PCM from float samples (full scale = INT32_MAX).
void writeInt32(const juce::File& file, const juce::AudioBuffer<float>& buffer, uint32_t sampleRate);

// Cuts a file down to its first `bytes` bytes, leaving its header claiming more.
void truncate(const juce::File& file, int64_t bytes);

// Reads a whole WAV file back through JUCE.
struct Contents
{
    bool ok = false;
    double sampleRate = 0.0;
    int channels = 0;
    int bitsPerSample = 0;
    bool usesFloat = false;
    juce::StringPairArray metadata;
    juce::AudioBuffer<float> audio;
};
Contents read(const juce::File& file);

std::vector<uint8_t> bytes(const juce::File& file);
} // namespace testwav
