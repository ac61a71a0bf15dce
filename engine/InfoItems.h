#pragma once

#include <juce_core/juce_core.h>

#include <vector>

// The items of a WAV file's LIST/INFO chunk, read the way RIFF lays them out.
// JUCE 7.0.5's reader skips neither the pad byte after an odd-length item nor
// an item of a type it does not know, so every item after one is misread; its
// writer stores only the types it knows. Exports therefore get their INFO
// chunk from here, every item of the input in the input's order.
namespace InfoItems
{
struct Item
{
    juce::String id; // four characters; a type JUCE knows in capitals, as its reader keys it
    juce::String text;
};
using List = std::vector<Item>;

// Every item of the RIFF (or RF64) WAVE stream's LIST/INFO chunks, in the
// order they lie in the stream. `foundInfo` tells whether the stream had a
// LIST/INFO chunk at all.
List read(juce::InputStream& wav, bool& foundInfo);

// Puts the file's INFO items, read correctly, in place of those a reader
// delivered in `metadata`. Items a reader made up by misreading are dropped;
// every other value is kept. Nothing changes when the file has no INFO chunk.
// Answers every item the file holds, for the export's INFO chunk.
List correct(juce::StringPairArray& metadata, const juce::File& file);

// The LIST/INFO chunk of an export, header included: `items` in their order,
// then the INFO values of `metadata` that none of them carries (an ISRC the
// reader found only in the axml chunk), each item laid out as JUCE's writer
// lays out the types it knows. Items without text are left out, as that
// writer does. Empty when nothing is left.
juce::MemoryBlock chunkFor(const List& items, const juce::StringPairArray& metadata);

// `metadata` for JUCE's writer, which must not write an INFO chunk of its
// own: without the INFO values, but with the ISRC still where the writer
// takes it for the axml chunk.
juce::StringPairArray withoutInfo(const juce::StringPairArray& metadata);
} // namespace InfoItems
