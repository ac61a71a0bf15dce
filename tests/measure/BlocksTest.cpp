#include "measure/Blocks.h"

#include <gtest/gtest.h>

#include <limits>

// Every loop that steps through a file goes through forEachBlock; lengths
// next to and past INT_MAX must be covered exactly once, with no position
// wrapping (an int position stepped past INT_MAX would).
TEST(Blocks, CoverLengthsNearAndPastIntMaxExactlyOnce)
{
    constexpr juce::int64 intMax = std::numeric_limits<int>::max();
    struct Case
    {
        juce::int64 total;
        int blockSize;
        juce::int64 blocks;
        juce::int64 lastStart;
        int lastCount;
    };
    const Case cases[] = {
        { 0, 8192, 0, -1, 0 },
        { 8193, 8192, 2, 8192, 1 },
        { intMax, 8192, 262144, 2147475456, 8191 },
        { 2147480000, 8192, 262144, 2147475456, 4544 },
        { 2147000000, 2097152, 1024, 2145386496, 1613504 },
        { intMax, 4096, 524288, 2147479552, 4095 },
        { 3000000000, 65536, 45777, 2999975936, 24064 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.total);
        juce::int64 blocks = 0;
        juce::int64 covered = 0;
        juce::int64 lastStart = -1;
        int lastCount = 0;
        const bool finished = forEachBlock(c.total, c.blockSize, [&](juce::int64 start, int count) {
            if (start != covered || count <= 0 || count > c.blockSize)
                return false;
            ++blocks;
            covered += count;
            lastStart = start;
            lastCount = count;
            return true;
        });
        EXPECT_TRUE(finished);
        EXPECT_EQ(covered, c.total);
        EXPECT_EQ(blocks, c.blocks);
        EXPECT_EQ(lastStart, c.lastStart);
        EXPECT_EQ(lastCount, c.lastCount);
    }
}

TEST(Blocks, AStepAnsweringFalseEndsTheWalk)
{
    int calls = 0;
    EXPECT_FALSE(forEachBlock(100000, 4096, [&](juce::int64, int) { return ++calls < 3; }));
    EXPECT_EQ(calls, 3);
}
