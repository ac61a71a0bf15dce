#include "engine/AudioConverter.h"

#include "engine/OutputFile.h"
#include "measure/CheckedReader.h"
#include "measure/LoudnessAnalyzer.h"
#include "measure/ParallelLoudness.h"
#include "measure/TruePeak.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

namespace
{
constexpr float notAnalysed = -999.0f;
constexpr int measureBlockSize = 4096;
constexpr int limiterBlockSize = 4096;
// Reading is split only so that a stop request is seen during long reads.
constexpr int readBlockBytes = 8 << 20;
constexpr int finalWaitMs = 500;

const char* const cannotRead = "Error: Cannot read input file";

enum class ReadOutcome
{
    read,
    failed,
    abandoned
};

// The whole input as floats. Anything we could not hold, read or measure is a
// failure: processing a partial or unmeasurable buffer would export a file
// that looks right and is not.
ReadOutcome readWholeFile(CheckedReader& input, juce::AudioBuffer<float>& buffer, const juce::Thread& thread)
{
    const auto numChannels = static_cast<int>(input->numChannels);
    int numSamples = 0;
    int meterRate = 0;
    if (!input.lengthAndRateFitInt(numSamples, meterRate))
        return ReadOutcome::failed;

    // Every task may need the meter (for the first or the corrective
    // measurement); formats it refuses are never measured by the background
    // worker either, so pre-analysed values for them cannot be genuine.
    if (!LoudnessAnalyzer(numChannels, meterRate).isValid())
        return ReadOutcome::failed;

    // Read in pieces of a few megabytes, whatever the channel count, so that a
    // stop request is seen well within the destructor's wait.
    const int readBlockSize = std::max(4096, readBlockBytes / (numChannels * static_cast<int>(sizeof(float))));

    try
    {
        buffer.setSize(numChannels, numSamples);
    }
    catch (const std::bad_alloc&)
    {
        return ReadOutcome::failed;
    }

    for (int start = 0; start < numSamples; start += readBlockSize)
    {
        if (thread.threadShouldExit())
            return ReadOutcome::abandoned;

        const int count = std::min(readBlockSize, numSamples - start);
        // A truncated file would otherwise come back padded with silence.
        if (!input.readComplete(buffer, start, count, start))
            return ReadOutcome::failed;
    }
    return ReadOutcome::read;
}

bool isSilentLoudness(float lufs)
{
    return std::isinf(lufs) || std::isnan(lufs);
}
} // namespace

AudioConverter::AudioConverter(const std::vector<ConversionTask>& tasksToRun)
    : juce::Thread("Converting..."), tasks(tasksToRun)
{
}

AudioConverter::~AudioConverter()
{
    if (isThreadRunning())
        stopThread(2000);
}

void AudioConverter::setStatus(const juce::String& text)
{
    statusText = text;
    if (onStatusChanged)
        onStatusChanged(text);
}

void AudioConverter::run()
{
    barAnimationCounter.store(0);
    isConverting.store(true);
    setStatus("...Starting LUFS Normalization...");

    const auto n = static_cast<int>(tasks.size());
    const double step = 1.0 / n;
    progress.store(0.05f);

    for (int i = 0; i < n; ++i)
    {
        if (threadShouldExit())
            return;

        const int k = i + 1;
        const auto& task = tasks[static_cast<size_t>(i)];
        barAnimationCounter.store(0);
        setStatus("Normalizing " + task.targetName + " (" + juce::String(k) + "/" + juce::String(n) + ")");

        const auto outcome = convertTask(task, k, n);
        if (outcome == TaskOutcome::abandoned)
            return;

        if (outcome == TaskOutcome::failed)
        {
            progress.store(static_cast<float>(failureProgress));
            setStatus("Error: failed for " + task.targetName + " / " + task.inputFile.getFileName());
            wait(finalWaitMs);
            isConverting.store(false);
            return;
        }

        progress.store(static_cast<float>(k * step));
    }

    setStatus("LUFS NORMALIZATION COMPLETE !");
    wait(finalWaitMs);
    isConverting.store(false);
}

AudioConverter::TaskOutcome AudioConverter::convertTask(const ConversionTask& task, int taskNumber, int taskCount)
{
    const juce::String prefix = "(" + juce::String(taskNumber) + "/" + juce::String(taskCount) + ") ";

    juce::AudioFormatManager formatManager;
    formatManager.registerBasicFormats();
    CheckedReader reader(formatManager, task.inputFile);
    if (!reader)
    {
        setStatus(cannotRead);
        return TaskOutcome::failed;
    }

    juce::AudioBuffer<float> buffer;
    switch (readWholeFile(reader, buffer, *this))
    {
        case ReadOutcome::read: break;
        case ReadOutcome::abandoned: return TaskOutcome::abandoned;
        case ReadOutcome::failed: setStatus(cannotRead); return TaskOutcome::failed;
    }

    const double sampleRate = reader->sampleRate;
    const int meterRate = static_cast<int>(sampleRate);

    float loudness = 0.0f;
    float truePeak = 0.0f;
    if (task.preAnalyzedLUFS != notAnalysed && task.preAnalyzedTruePeak != notAnalysed)
    {
        loudness = task.preAnalyzedLUFS;
        truePeak = task.preAnalyzedTruePeak;
        setStatus(prefix + "Using pre-analyzed: " + juce::String(loudness, 2) + " LUFS, " + juce::String(truePeak, 2)
                  + " dBTP");
    }
    else
    {
        setStatus(prefix + "Analyzing " + task.inputFile.getFileNameWithoutExtension() + "...");
        if (!measureBuffer(buffer, meterRate, loudness, &truePeak))
            return TaskOutcome::abandoned;
        setStatus(prefix + "Original: " + juce::String(loudness, 2) + " LUFS, " + juce::String(truePeak, 2) + " dBTP");
    }

    const bool silent = isSilentLoudness(loudness);
    float gainDb = 0.0f;
    if (silent)
        setStatus(prefix + "Silent file: no LUFS change");
    else
        gainDb = static_cast<float>(task.targetLUFS - static_cast<double>(loudness));

    // The true peak the gain alone would produce.
    const auto predictedPeak = static_cast<double>(truePeak + gainDb);

    if (!(task.targetTruePeak >= predictedPeak))
    {
        // A level below full scale: the overshoot plus 1.5 dB of headroom.
        const float threshold = -(static_cast<float>(predictedPeak - task.targetTruePeak) + 1.5f);
        setStatus(prefix + "Preventive limiting at " + juce::String(threshold, 1) + " dB");
        applyLimiting(buffer, threshold, sampleRate);
        if (threadShouldExit())
            return TaskOutcome::abandoned;
    }

    if (!silent)
    {
        if (std::abs(gainDb) > 0.001f)
        {
            setStatus(prefix + "Final LUFS correction: " + juce::String(gainDb, 2) + " dB");
            applyGainOnly(buffer, juce::Decibels::decibelsToGain(gainDb, -100.0f));
        }
        else
        {
            setStatus(prefix + "Perfect LUFS achieved!");
        }
    }

    // Limiting changed the loudness, so correct it once more and keep the
    // correction's peaks 1 dB clear of the ceiling.
    if (predictedPeak > task.targetTruePeak)
    {
        if (threadShouldExit())
            return TaskOutcome::abandoned;

        setStatus(prefix + "Final LUFS analysis...");
        float limitedLoudness = 0.0f;
        if (!measureBuffer(buffer, meterRate, limitedLoudness, nullptr))
            return TaskOutcome::abandoned;

        const auto correctionDb = static_cast<float>(task.targetLUFS - static_cast<double>(limitedLoudness));
        if (std::isfinite(correctionDb) && std::abs(correctionDb) > 0.01f)
        {
            setStatus(prefix + "Final LUFS correction: " + juce::String(correctionDb, 2) + " dB");
            applyGainOnly(buffer, juce::Decibels::decibelsToGain(correctionDb, -100.0f));
        }
        else
        {
            setStatus(prefix + "Perfect LUFS achieved!");
        }

        applyLimiting(buffer, static_cast<float>(task.targetTruePeak - 1.0), sampleRate);
    }

    if (threadShouldExit())
        return TaskOutcome::abandoned;

    const auto written = OutputFile::write(buffer, *reader.get(), task.outputFile, [this] { return threadShouldExit(); });
    if (written.abandoned)
        return TaskOutcome::abandoned;
    if (written.error.isNotEmpty())
        setStatus(written.error);

    return written.file.existsAsFile() ? TaskOutcome::written : TaskOutcome::failed;
}

bool AudioConverter::measureBuffer(const juce::AudioBuffer<float>& buffer, int sampleRate, float& loudness,
                                   float* truePeak)
{
    const int numChannels = buffer.getNumChannels();
    const int numSamples = buffer.getNumSamples();

    // Long buffers are measured in chunks on every core, with the single
    // pass's results. Should that fail (a meter refused for lack of memory),
    // the single pass below still has its say.
    const int threads = ParallelLoudness::availableThreads();
    if (ParallelLoudness::chunkLength(numChannels, sampleRate, numSamples, threads) > 0)
    {
        ParallelLoudness::Reading reading;
        const auto measures = truePeak != nullptr ? ParallelLoudness::Measures::loudnessAndTruePeak
                                                  : ParallelLoudness::Measures::loudnessOnly;
        const auto outcome = ParallelLoudness::measureBuffer(buffer, sampleRate, measures, threads,
                                                             [this] { return threadShouldExit(); }, reading);
        if (outcome == ParallelLoudness::Outcome::abandoned)
            return false;
        if (outcome == ParallelLoudness::Outcome::measured)
        {
            loudness = reading.lufs;
            if (truePeak != nullptr)
                *truePeak = reading.truePeak;
            return true;
        }
    }

    // True peak only when it is asked for: it is most of the meter's work.
    auto analyzer = std::make_unique<LoudnessAnalyzer>(numChannels, sampleRate, truePeak != nullptr);

    for (int start = 0; start < numSamples; start += measureBlockSize)
    {
        if (threadShouldExit())
            return false;

        // A view of the block, not a copy: the analyzer only reads it.
        const juce::AudioBuffer<float> block(const_cast<float* const*>(buffer.getArrayOfReadPointers()), numChannels,
                                             start, std::min(measureBlockSize, numSamples - start));
        analyzer->analyzeBuffer(block);
    }

    loudness = analyzer->getIntegratedLoudness();
    if (truePeak != nullptr)
        *truePeak = truePeakDecibels(analyzer->truePeakState, numChannels);
    return true;
}

void AudioConverter::applyLimiting(juce::AudioBuffer<float>& buffer, float thresholdDb, double sampleRate)
{
    const auto numChannels = buffer.getNumChannels();
    const auto numSamples = buffer.getNumSamples();

    limiter.prepare({ sampleRate, static_cast<juce::uint32>(limiterBlockSize), static_cast<juce::uint32>(numChannels) });
    limiter.setThreshold(thresholdDb);
    limiter.setRatio(100.0f);
    limiter.setAttack(0.01f);
    limiter.setRelease(40.0f);

    juce::dsp::AudioBlock<float> whole(buffer);
    for (int start = 0; start < numSamples; start += limiterBlockSize)
    {
        // The calling thread's flag: false on threads JUCE doesn't run, and
        // never a stale request left on this object by an earlier stop.
        if (juce::Thread::currentThreadShouldExit())
            return;

        auto block = whole.getSubBlock(static_cast<size_t>(start),
                                       static_cast<size_t>(std::min(limiterBlockSize, numSamples - start)));
        limiter.process(juce::dsp::ProcessContextReplacing<float>(block));
    }
}

void AudioConverter::applyGainOnly(juce::AudioBuffer<float>& buffer, float gain)
{
    if (buffer.hasBeenCleared())
        return;

    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        juce::FloatVectorOperations::multiply(buffer.getWritePointer(ch), gain, buffer.getNumSamples());
}
