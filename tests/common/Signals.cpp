#include "common/Signals.h"

#include "measure/LoudnessAnalyzer.h"
#include "measure/TruePeak.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>

namespace testsig
{
float dbToGain(double db)
{
    return static_cast<float>(std::pow(10.0, db / 20.0));
}

juce::AudioBuffer<float> sine(int channels, double sampleRate, double frequency, double peakDb, double seconds,
                              double phaseDegrees)
{
    const int n = static_cast<int>(std::llround(seconds * sampleRate));
    juce::AudioBuffer<float> buffer(channels, n);
    const double amp = std::pow(10.0, peakDb / 20.0);
    const double phase = phaseDegrees * juce::MathConstants<double>::pi / 180.0;
    const double w = 2.0 * juce::MathConstants<double>::pi * frequency / sampleRate;
    for (int i = 0; i < n; ++i)
    {
        const auto v = static_cast<float>(amp * std::sin(w * i + phase));
        for (int ch = 0; ch < channels; ++ch)
            buffer.setSample(ch, i, v);
    }
    return buffer;
}

juce::AudioBuffer<float> sineSegments(int channels, double sampleRate, const std::vector<Segment>& segments,
                                      double frequency)
{
    int total = 0;
    for (const auto& s : segments)
        total += static_cast<int>(std::llround(s.seconds * sampleRate));

    juce::AudioBuffer<float> buffer(channels, total);
    const double w = 2.0 * juce::MathConstants<double>::pi * frequency / sampleRate;
    int pos = 0;
    for (const auto& s : segments)
    {
        const int n = static_cast<int>(std::llround(s.seconds * sampleRate));
        const double amp = std::pow(10.0, s.peakDb / 20.0);
        for (int i = 0; i < n; ++i, ++pos)
        {
            const auto v = static_cast<float>(amp * std::sin(w * pos));
            for (int ch = 0; ch < channels; ++ch)
                buffer.setSample(ch, pos, v);
        }
    }
    return buffer;
}

juce::AudioBuffer<float> noise(int channels, double sampleRate, double rmsDb, double seconds, uint32_t seed)
{
    const int n = static_cast<int>(std::llround(seconds * sampleRate));
    juce::AudioBuffer<float> buffer(channels, n);
    std::mt19937 rng(seed);
    std::normal_distribution<float> dist(0.0f, dbToGain(rmsDb));
    for (int ch = 0; ch < channels; ++ch)
        for (int i = 0; i < n; ++i)
            buffer.setSample(ch, i, std::clamp(dist(rng), -1.0f, 1.0f));
    return buffer;
}

juce::AudioBuffer<float> programme(int channels, double sampleRate, double seconds, uint32_t seed)
{
    const int n = static_cast<int>(std::llround(seconds * sampleRate));
    juce::AudioBuffer<float> buffer(channels, n);
    buffer.clear();
    std::mt19937 rng(seed);
    std::normal_distribution<float> white(0.0f, 1.0f);
    std::uniform_real_distribution<double> level(-32.0, -12.0);
    std::uniform_real_distribution<double> length(0.2, 1.5);

    // Bursts of filtered noise at varying levels, separated by short gaps.
    int pos = 0;
    while (pos < n)
    {
        const int burst = std::min(n - pos, static_cast<int>(length(rng) * sampleRate));
        const float gain = dbToGain(level(rng));
        float lowpass[64] = {};
        for (int i = 0; i < burst; ++i)
        {
            const float env = std::min(1.0f, std::min(i, burst - i) / static_cast<float>(0.01 * sampleRate) + 0.001f);
            for (int ch = 0; ch < channels; ++ch)
            {
                lowpass[ch % 64] = 0.7f * lowpass[ch % 64] + 0.3f * white(rng);
                buffer.setSample(ch, pos + i, gain * env * 2.0f * lowpass[ch % 64]);
            }
        }
        pos += burst + static_cast<int>(0.1 * sampleRate);
    }

    // Sparse transients near full scale: a high crest factor.
    std::uniform_int_distribution<int> where(0, std::max(0, n - 64));
    const int clicks = std::max(1, static_cast<int>(seconds));
    for (int c = 0; c < clicks; ++c)
    {
        const int at = where(rng);
        for (int i = 0; i < 32 && at + i < n; ++i)
        {
            const float v = 0.9f * std::exp(-0.2f * static_cast<float>(i)) * (i % 2 == 0 ? 1.0f : -1.0f);
            for (int ch = 0; ch < channels; ++ch)
                buffer.setSample(ch, at + i, juce::jlimit(-1.0f, 1.0f, buffer.getSample(ch, at + i) + v));
        }
    }
    return buffer;
}

void fadeEnds(juce::AudioBuffer<float>& buffer, double sampleRate, double fadeSeconds)
{
    const int fade = std::min(buffer.getNumSamples() / 2, static_cast<int>(fadeSeconds * sampleRate));
    const int n = buffer.getNumSamples();
    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
    {
        buffer.applyGainRamp(ch, 0, fade, 0.0f, 1.0f);
        buffer.applyGainRamp(ch, n - fade, fade, 1.0f, 0.0f);
    }
}

Reading measure(const juce::AudioBuffer<float>& buffer, double sampleRate, int blockSize)
{
    const int channels = buffer.getNumChannels();
    auto analyzer = std::make_unique<LoudnessAnalyzer>(channels, static_cast<int>(sampleRate));
    for (int pos = 0; pos < buffer.getNumSamples(); pos += blockSize)
    {
        const int count = std::min(blockSize, buffer.getNumSamples() - pos);
        juce::AudioBuffer<float> block(channels, count);
        for (int ch = 0; ch < channels; ++ch)
            block.copyFrom(ch, 0, buffer, ch, pos, count);
        analyzer->analyzeBuffer(block);
    }
    return { analyzer->getIntegratedLoudness(), truePeakDecibels(analyzer->truePeakState, channels) };
}
} // namespace testsig
