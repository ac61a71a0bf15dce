#include "engine/AudioConverter.h"

#include "engine/InfoItems.h"
#include "engine/OutputFile.h"
#include "measure/Blocks.h"
#include "measure/BufferMeter.h"
#include "measure/CheckedReader.h"
#include "measure/LoudnessAnalyzer.h"
#include "measure/ParallelLoudness.h"
#include "measure/TruePeak.h"

#include <algorithm>
#include <cmath>
#include <functional>
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
// Room kept under the ceiling when a limited export is pulled under it: the
// writer's rounding to integer samples can lift a peak by a fraction of a step.
constexpr double ceilingMarginDb = 0.005;

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
    // The whole file goes into one buffer, whose length is an int.
    if (!input.canDecode() || input->lengthInSamples > std::numeric_limits<int>::max())
        return ReadOutcome::failed;

    const auto numChannels = static_cast<int>(input->numChannels);
    const auto numSamples = static_cast<int>(input->lengthInSamples);
    const auto meterRate = static_cast<int>(input->sampleRate);

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

    auto outcome = ReadOutcome::read;
    forEachBlock(numSamples, readBlockSize, [&](juce::int64 start, int count) {
        if (thread.threadShouldExit())
            outcome = ReadOutcome::abandoned;
        // A truncated file would otherwise come back padded with silence.
        else if (!input.readComplete(buffer, static_cast<int>(start), count, start))
            outcome = ReadOutcome::failed;
        return outcome == ReadOutcome::read;
    });
    return outcome;
}

enum class Chunked
{
    measured,
    abandoned,
    notDone // a buffer too short to split, or a meter refused: measure in one pass
};

// Long buffers are measured in chunks on every core, with the single pass's
// results on any number of cores.
Chunked measureInChunks(const juce::AudioBuffer<float>& buffer, int sampleRate, ParallelLoudness::Measures measures,
                        const std::function<bool()>& shouldStop, ParallelLoudness::Reading& reading)
{
    if (ParallelLoudness::chunkLength(buffer.getNumChannels(), sampleRate, buffer.getNumSamples()) == 0)
        return Chunked::notDone;

    switch (ParallelLoudness::measureBuffer(buffer, sampleRate, measures, ParallelLoudness::availableThreads(),
                                            shouldStop, reading))
    {
        case ParallelLoudness::Outcome::measured: return Chunked::measured;
        case ParallelLoudness::Outcome::abandoned: return Chunked::abandoned;
        case ParallelLoudness::Outcome::failed: break;
    }
    return Chunked::notDone;
}

// The true peak of what will be written. False on a stop, or when the meter
// refuses the format.
bool finalTruePeak(const juce::AudioBuffer<float>& buffer, int sampleRate, const std::function<bool()>& shouldStop,
                   float& dBTP)
{
    ParallelLoudness::Reading reading;
    switch (measureInChunks(buffer, sampleRate, ParallelLoudness::Measures::truePeakOnly, shouldStop, reading))
    {
        case Chunked::measured: dBTP = reading.truePeak; return true;
        case Chunked::abandoned: return false;
        case Chunked::notDone: break;
    }
    return measureTruePeak(buffer, sampleRate, measureBlockSize, shouldStop, dBTP);
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

    // The output stage hands the reader's metadata to the writer, and every
    // INFO item to the output's INFO chunk.
    const auto infoItems = InfoItems::correct(reader->metadataValues, task.inputFile);

    const double sampleRate = reader->sampleRate;
    const int meterRate = static_cast<int>(sampleRate);

    // A measurement ends early on a stop request; otherwise only a format the
    // meter refuses, which reading has already ruled out, would end it.
    const auto stoppedOrFailed = [this] { return threadShouldExit() ? TaskOutcome::abandoned : TaskOutcome::failed; };

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
            return stoppedOrFailed();

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
        if (threadShouldExit())
            return TaskOutcome::abandoned;

        // The limiter sees sample values only, so peaks between the samples can
        // still end over the ceiling. What will be written is measured, and
        // pulled under the ceiling by its excess when it is over.
        float finalPeak = 0.0f;
        if (!finalTruePeak(buffer, meterRate, [this] { return threadShouldExit(); }, finalPeak))
            return stoppedOrFailed();
        if (static_cast<double>(finalPeak) > task.targetTruePeak - ceilingMarginDb)
            applyGainOnly(buffer, juce::Decibels::decibelsToGain(
                                      static_cast<float>(task.targetTruePeak - ceilingMarginDb - finalPeak), -100.0f));
    }

    if (threadShouldExit())
        return TaskOutcome::abandoned;

    const auto written = OutputFile::write(buffer, *reader.get(), task.outputFile, infoItems,
                                           [this] { return threadShouldExit(); });
    if (written.abandoned)
        return TaskOutcome::abandoned;
    if (written.error.isNotEmpty())
        setStatus(written.error);

    return written.file.existsAsFile() ? TaskOutcome::written : TaskOutcome::failed;
}

bool AudioConverter::measureBuffer(const juce::AudioBuffer<float>& buffer, int sampleRate, float& loudness,
                                   float* truePeak)
{
    const auto shouldStop = [this] { return threadShouldExit(); };
    ParallelLoudness::Reading reading;
    switch (measureInChunks(buffer, sampleRate,
                            truePeak != nullptr ? ParallelLoudness::Measures::loudnessAndTruePeak
                                                : ParallelLoudness::Measures::loudnessOnly,
                            shouldStop, reading))
    {
        case Chunked::abandoned: return false;
        case Chunked::measured:
            loudness = reading.lufs;
            if (truePeak != nullptr)
                *truePeak = reading.truePeak;
            return true;
        case Chunked::notDone: break;
    }

    // The corrective pass wants the loudness alone; skipping the true peak
    // saves most of a full pass.
    if (truePeak == nullptr)
        return measureIntegratedLoudness(buffer, sampleRate, measureBlockSize, shouldStop, loudness);

    const int numChannels = buffer.getNumChannels();
    const int numSamples = buffer.getNumSamples();
    auto analyzer = std::make_unique<LoudnessAnalyzer>(numChannels, sampleRate);

    const bool finished = forEachBlock(numSamples, measureBlockSize, [&](juce::int64 start, int count) {
        if (threadShouldExit())
            return false;

        // A view of the block, not a copy: the analyzer only reads it.
        const juce::AudioBuffer<float> block(const_cast<float* const*>(buffer.getArrayOfReadPointers()), numChannels,
                                             static_cast<int>(start), count);
        analyzer->analyzeBuffer(block);
        return true;
    });
    if (!finished)
        return false;

    loudness = analyzer->getIntegratedLoudness();
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
    forEachBlock(numSamples, limiterBlockSize, [&](juce::int64 start, int count) {
        // The calling thread's flag: false on threads JUCE doesn't run, and
        // never a stale request left on this object by an earlier stop.
        if (juce::Thread::currentThreadShouldExit())
            return false;

        auto block = whole.getSubBlock(static_cast<size_t>(start), static_cast<size_t>(count));
        limiter.process(juce::dsp::ProcessContextReplacing<float>(block));
        return true;
    });
}

void AudioConverter::applyGainOnly(juce::AudioBuffer<float>& buffer, float gain)
{
    if (buffer.hasBeenCleared())
        return;

    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        juce::FloatVectorOperations::multiply(buffer.getWritePointer(ch), gain, buffer.getNumSamples());
}
