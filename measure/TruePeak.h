#pragma once

#include <ebur128.h>

// The one way per-channel true peaks become a single dBTP value: the largest
// linear peak over the channels whose query succeeds, in dB, floored at -100
// (exactly -100 for digital silence or when no channel could be queried).
float truePeakDecibels(ebur128_state* truePeakState, int numChannels);
