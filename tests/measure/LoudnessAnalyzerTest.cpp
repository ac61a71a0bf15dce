#include "common/Signals.h"
#include "measure/LoudnessAnalyzer.h"

#include <gtest/gtest.h>

TEST(LoudnessAnalyzer, StereoSineReadsItsPeakLevel)
{
    const auto signal = testsig::sine(2, 48000.0, 1000.0, -23.0, 20.0);
    const auto reading = testsig::measure(signal, 48000.0);
    EXPECT_NEAR(reading.lufs, -23.0, 0.1);
    EXPECT_NEAR(reading.truePeak, -23.0, 0.2);
}
