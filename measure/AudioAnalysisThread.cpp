#include "measure/AudioAnalysisThread.h"

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
    try
    {
        outcome = measureFile(juce::File(juce::String(task.filePath)), lufs, truePeak);
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
AudioAnalysisThread::Outcome AudioAnalysisThread::measureFile(const juce::File& file, float& lufs, float& truePeak)
{
    juce::AudioFormatManager formatManager;
    formatManager.registerBasicFormats();

    CheckedReader checked(formatManager, file);
    if (!checked)
        return Outcome::unmeasurable;

    auto& reader = *checked.get();
    const auto numChannels = static_cast<int>(reader.numChannels);
    int numSamples = 0;
    int sampleRate = 0;
    if (!checked.lengthAndRateFitInt(numSamples, sampleRate))
        return Outcome::unmeasurable;

    auto analyzer = std::make_unique<LoudnessAnalyzer>(numChannels, sampleRate);
    if (!analyzer->isValid())
        return Outcome::unmeasurable;

    // Long files on a machine with cores to spare: read ahead in chunks that
    // the other cores measure meanwhile, with the single pass's results.
    const int threads = ParallelLoudness::availableThreads();
    if (ParallelLoudness::chunkLength(numChannels, sampleRate, numSamples, threads) > 0)
    {
        ParallelLoudness::Reading reading;
        const auto outcome = ParallelLoudness::measureStream(
            numChannels, sampleRate, numSamples, threads,
            [&checked](juce::AudioBuffer<float>& destination, int destinationStart, int count, juce::int64 start)
            { return checked.readComplete(destination, destinationStart, count, start); },
            [this] { return threadShouldExit(); }, reading);
        if (outcome == ParallelLoudness::Outcome::abandoned || threadShouldExit())
            return Outcome::abandoned;
        if (outcome == ParallelLoudness::Outcome::failed)
            return Outcome::unmeasurable;
        lufs = reading.lufs;
        truePeak = reading.truePeak;
        return Outcome::measured;
    }

    juce::AudioBuffer<float> block(numChannels, std::min(blockSize, numSamples));
    for (int position = 0; position < numSamples; position += blockSize)
    {
        if (threadShouldExit())
            return Outcome::abandoned;

        const int n = std::min(blockSize, numSamples - position);
        block.setSize(numChannels, n, false, false, true);
        if (!checked.readComplete(block, 0, n, position))
            return Outcome::unmeasurable;

        analyzer->analyzeBuffer(block);
    }

    if (threadShouldExit())
        return Outcome::abandoned;

    lufs = analyzer->getIntegratedLoudness();
    truePeak = truePeakDecibels(analyzer->truePeakState, numChannels);
    return Outcome::measured;
}
