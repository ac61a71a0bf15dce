#include "common/Signals.h"
#include "common/WavFiles.h"
#include "engine/AudioConverter.h"

#include <gtest/gtest.h>

namespace
{
struct Info
{
    double sampleRate = 0.0;
    int bits = 0;
    juce::String isrc;
};

Info probe(const juce::File& file)
{
    Info info;
    AudioConverter::getFileInfo(file, info.sampleRate, info.bits, info.isrc);
    return info;
}

juce::File writeWithIsrc(const testwav::TempFolder& tmp, const juce::String& isrc, double rate, int bits)
{
    juce::StringPairArray metadata;
    if (isrc.isNotEmpty())
        metadata.set("ISRC", isrc);
    auto file = tmp.file("probe.wav");
    EXPECT_TRUE(testwav::write(file, testsig::sine(2, rate, 440.0, -20.0, 0.1), rate, bits, metadata));
    return file;
}
} // namespace

TEST(FileInfo, ReadsRateBitsAndKeepsOnlyCapitalsAndDigitsOfTheIsrc)
{
    testwav::TempFolder tmp;

    const auto plain = probe(writeWithIsrc(tmp, "US-S1Z-99-00001", 44100.0, 24));
    EXPECT_EQ(plain.sampleRate, 44100.0);
    EXPECT_EQ(plain.bits, 24);
    EXPECT_EQ(plain.isrc, "USS1Z9900001");

    // Lower-case letters are dropped, not upper-cased.
    EXPECT_EQ(probe(writeWithIsrc(tmp, "us-s1z-99-00001", 48000.0, 16)).isrc, "19900001");

    const auto none = probe(writeWithIsrc(tmp, {}, 96000.0, 32));
    EXPECT_EQ(none.sampleRate, 96000.0);
    EXPECT_EQ(none.bits, 32);
    EXPECT_TRUE(none.isrc.isEmpty());
}

TEST(FileInfo, UnopenableFileLeavesTheCallersValuesAlone)
{
    testwav::TempFolder tmp;
    const auto text = tmp.file("notes.wav");
    ASSERT_TRUE(text.replaceWithText("not a wave file"));

    for (const auto& file : { text, tmp.file("missing.wav") })
    {
        double rate = 0.0;
        int bits = 0;
        juce::String isrc;
        AudioConverter::getFileInfo(file, rate, bits, isrc);
        EXPECT_EQ(rate, 0.0);
        EXPECT_EQ(bits, 0);
        EXPECT_TRUE(isrc.isEmpty());
    }
}
