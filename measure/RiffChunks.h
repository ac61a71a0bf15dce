#pragma once

#include <juce_core/juce_core.h>

#include <functional>

// The top-level chunks of a RIFF or RF64 WAVE stream, walked the way the
// format lays them out: every chunk padded to an even length, and RF64's data
// size taken from its ds64 chunk.
namespace RiffChunks
{
struct Chunk
{
    juce::String id;        // four characters
    juce::int64 dataStart = 0;
    juce::int64 size = 0;   // as declared (RF64 data: as ds64 declares); it may claim more than the stream holds
};

// Calls `visit` with each chunk in order, the stream positioned at the
// chunk's data, until it answers false or no further chunk header fits in the
// stream. Answers false when the stream is not a RIFF or RF64 WAVE stream.
bool forEach(juce::InputStream& wav, const std::function<bool(const Chunk&)>& visit);

// Reads a four-character tag; empty when the stream ends first or the bytes
// are not all printable ASCII, as every real tag is.
juce::String readTag(juce::InputStream& in);

// Where the next item starts after one whose data begins at `dataStart`.
inline juce::int64 paddedEnd(juce::int64 dataStart, juce::int64 size)
{
    return dataStart + size + (size & 1);
}
} // namespace RiffChunks
