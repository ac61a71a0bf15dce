#include "measure/TruePeak.h"

#include <algorithm>
#include <cmath>

float truePeakDecibels(ebur128_state* truePeakState, int numChannels)
{
    float peak = 0.0f;

    if (truePeakState != nullptr)
    {
        for (int ch = 0; ch < numChannels; ++ch)
        {
            double value = 0.0;
            if (ebur128_true_peak(truePeakState, static_cast<unsigned int>(ch), &value) == EBUR128_SUCCESS)
                peak = std::max(static_cast<float>(value), peak);
        }
    }

    float dBTP = -100.0f;
    if (peak > 0.0f)
        dBTP = std::max(20.0f * std::log10(peak), -100.0f);
    return dBTP;
}
