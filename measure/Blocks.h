#pragma once

#include <juce_core/juce_core.h>

#include <algorithm>

// Walks `total` samples in blocks of at most `blockSize`, calling
// step(start, count) for each block until a step answers false. Positions are
// 64-bit: an int position stepped by a block overflows within one block of
// INT_MAX. Answers false when a step ended the walk.
template <typename Step>
bool forEachBlock(juce::int64 total, int blockSize, Step&& step)
{
    for (juce::int64 start = 0; start < total; start += blockSize)
        if (!step(start, static_cast<int>(std::min<juce::int64>(blockSize, total - start))))
            return false;
    return true;
}
