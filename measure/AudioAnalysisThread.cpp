#include "measure/AudioAnalysisThread.h"

#include "measure/Blocks.h"
#include "measure/CheckedReader.h"
#include "measure/LoudnessAnalyzer.h"
#include "measure/ParallelLoudness.h"
#include "measure/TruePeak.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <new>

AudioAnalysisThread::AudioAnalysisThread() : juce::Thread("AudioAnalysis") {}

AudioAnalysisThread::~AudioAnalysisThread()
{
    clearQueue();
    // The running worker reads the callback without a lock, so it is only
    // emptied once the thread has ended.
    if (isThreadRunning())
        stopThread(1000);
    onAnalysisComplete = nullptr;
}

void AudioAnalysisThread::addTask(const AnalysisTask& task)
{
    const juce::ScopedLock lock(queueLock);
    taskQueue.push_back(task);
}

bool AudioAnalysisThread::hasQueuedTasks()
{
    const juce::ScopedLock lock(queueLock);
    return !taskQueue.empty();
}

void AudioAnalysisThread::clearQueue()
{
    const juce::ScopedLock lock(queueLock);
    taskQueue.clear();
}

void AudioAnalysisThread::run()
{
    while (!threadShouldExit())
    {
        AnalysisTask task;
        {
            const juce::ScopedLock lock(queueLock);
            if (taskQueue.empty())
                return;
            task = taskQueue.front();
            taskQueue.erase(taskQueue.begin());
        }

        analyzeFile(task);
    }
}

void AudioAnalysisThread::analyzeFile(const AnalysisTask& task)
{
    float lufs = missingValue;
    float truePeak = missingValue;
    Outcome outcome = Outcome::unmeasurable;
    if (beforeOpening)
        beforeOpening(task.filePath);
    const juce::String path(task.filePath);
    try
    {
        // juce::File takes absolute paths only; anything else names no file.
        if (juce::File::isAbsolutePath(path))
            outcome = measureFile(juce::File(path), lufs, truePeak);
    }
    catch (const std::bad_alloc&)
    {
        outcome = Outcome::unmeasurable;
    }

    if (outcome == Outcome::abandoned)
        return;
    if (outcome == Outcome::unmeasurable)
        lufs = truePeak = missingValue;

    if (onAnalysisComplete)
        onAnalysisComplete(task.filePath, task.index, lufs, truePeak);
}

// The file is read block by block straight into the block buffer rather than
// whole into memory first: the samples the analyzer sees, and so the results,
// are the same, while memory stays at one block whatever the file's length.
// Long files are measured in chunks instead, each read by a reader of its own.
AudioAnalysisThread::Outcome AudioAnalysisThread::measureFile(const juce::File& file, float& lufs, float& truePeak)
{
    juce::AudioFormatManager formatManager;
    formatManager.registerBasicFormats();

    // Read block by block, the file's length needs no int; only the meter's
    // rate does.
    CheckedReader checked(formatManager, file);
    if (!checked.canDecode())
        return Outcome::unmeasurable;

    auto& reader = *checked.get();
    const auto numChannels = static_cast<int>(reader.numChannels);
    const auto numSamples = reader.lengthInSamples;
    const auto sampleRate = static_cast<int>(reader.sampleRate);

    // Long files: every core measures its own regions of the file, with the
    // single pass's results on any number of cores.
    const int threads = ParallelLoudness::availableThreads();
    if (ParallelLoudness::chunkLength(numChannels, sampleRate, numSamples) > 0)
    {
        const auto bits = reader.bitsPerSample;
        // Each chunk opens the file anew, with the same checks; a file that
        // changed in between no longer opens as the one being measured.
        const auto openReader = [file, numChannels, numSamples, sampleRate, bits]() -> ParallelLoudness::ReadSamples
        {
            struct Own
            {
                juce::AudioFormatManager formats;
                std::unique_ptr<CheckedReader> checked;
            };
            auto own = std::make_shared<Own>();
            own->formats.registerBasicFormats();
            own->checked = std::make_unique<CheckedReader>(own->formats, file);
            const auto* r = own->checked->get();
            if (!own->checked->canDecode() || static_cast<int>(r->numChannels) != numChannels
                || r->lengthInSamples != numSamples || static_cast<int>(r->sampleRate) != sampleRate
                || r->bitsPerSample != bits)
                return {};
            return [own](juce::AudioBuffer<float>& destination, int destinationStart, int count, juce::int64 start)
            { return own->checked->readComplete(destination, destinationStart, count, start); };
        };

        ParallelLoudness::Reading reading;
        const auto outcome = ParallelLoudness::measureStream(numChannels, sampleRate, numSamples, threads, openReader,
                                                             [this] { return threadShouldExit(); }, reading);
        if (outcome == ParallelLoudness::Outcome::abandoned || threadShouldExit())
            return Outcome::abandoned;
        if (outcome == ParallelLoudness::Outcome::failed)
            return Outcome::unmeasurable;
        lufs = reading.lufs;
        truePeak = reading.truePeak;
        return Outcome::measured;
    }

    auto analyzer = std::make_unique<LoudnessAnalyzer>(numChannels, sampleRate);
    if (!analyzer->isValid())
        return Outcome::unmeasurable;

    juce::AudioBuffer<float> block(numChannels, static_cast<int>(std::min<juce::int64>(blockSize, numSamples)));
    auto outcome = Outcome::measured;
    forEachBlock(numSamples, blockSize, [&](juce::int64 position, int n) {
        if (threadShouldExit())
            outcome = Outcome::abandoned;
        else
        {
            block.setSize(numChannels, n, false, false, true);
            if (checked.readComplete(block, 0, n, position))
                analyzer->analyzeBuffer(block);
            else
                outcome = Outcome::unmeasurable;
        }
        return outcome == Outcome::measured;
    });
    if (outcome != Outcome::measured)
        return outcome;

    if (threadShouldExit())
        return Outcome::abandoned;

    lufs = analyzer->getIntegratedLoudness();
    truePeak = truePeakDecibels(analyzer->truePeakState, numChannels);
    return Outcome::measured;
}
