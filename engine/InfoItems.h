#pragma once

#include <juce_core/juce_core.h>

// The items of a WAV file's LIST/INFO chunk, read the way RIFF lays them out.
// JUCE 7.0.5's reader skips neither the pad byte after an odd-length item nor
// an item of a type it does not know, so every item after one is misread and
// never reaches the writer, although the writer would store it.
namespace InfoItems
{
// The INFO items of the RIFF (or RF64) WAVE stream that JUCE's WAV writer
// stores, under the keys its reader uses (e.g. "IART", "ICMT", "ISRC").
// `foundInfo` tells whether the stream had a LIST/INFO chunk at all.
juce::StringPairArray read(juce::InputStream& wav, bool& foundInfo);

// Puts the file's INFO items, read correctly, in place of those a reader
// delivered in `metadata`. Items a reader made up by misreading are dropped;
// every other value is kept. Nothing changes when the file has no INFO chunk.
void correct(juce::StringPairArray& metadata, const juce::File& file);
} // namespace InfoItems
