#include "measure/AudioAnalysisThread.h"

#include "measure/LoudnessAnalyzer.h"
#include "measure/TruePeak.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <algorithm>
#include <limits>
#include <new>

AudioAnalysisThread::AudioAnalysisThread() : juce::Thread("AudioAnalysis") {}

AudioAnalysisThread::~AudioAnalysisThread()
{
    clearQueue();
    onAnalysisComplete = nullptr;
    if (isThreadRunning())
        stopThread(1000);
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

void AudioAnalysisThread::report(const AnalysisTask& task, float lufs, float truePeak)
{
    if (onAnalysisComplete)
        onAnalysisComplete(task.filePath, task.index, lufs, truePeak);
}

bool AudioAnalysisThread::analyzeFile(const AnalysisTask& task)
{
    juce::AudioFormatManager formatManager;
    formatManager.registerBasicFormats();

    const juce::File file(juce::String(task.filePath));
    std::unique_ptr<juce::AudioFormatReader> reader(formatManager.createReaderFor(file));
    if (reader == nullptr)
    {
        report(task, missingValue, missingValue);
        return true;
    }

    const auto numChannels = static_cast<int>(reader->numChannels);
    const auto lengthInSamples = reader->lengthInSamples;
    const int sampleRate = static_cast<int>(reader->sampleRate);

    // A reading of a file we could not hold, read or measure whole would be
    // a wrong number presented as a result: report it as missing instead.
    if (lengthInSamples < 0 || lengthInSamples > std::numeric_limits<int>::max())
    {
        report(task, missingValue, missingValue);
        return true;
    }

    auto analyzer = std::make_unique<LoudnessAnalyzer>(numChannels, sampleRate);
    if (!analyzer->isValid())
    {
        report(task, missingValue, missingValue);
        return true;
    }

    const int numSamples = static_cast<int>(lengthInSamples);
    juce::AudioBuffer<float> buffer;
    try
    {
        buffer.setSize(numChannels, numSamples);
    }
    catch (const std::bad_alloc&)
    {
        report(task, missingValue, missingValue);
        return true;
    }

    if (!reader->read(&buffer, 0, numSamples, 0, true, true))
    {
        report(task, missingValue, missingValue);
        return true;
    }

    juce::AudioBuffer<float> block;
    for (int position = 0; position < numSamples; position += blockSize)
    {
        if (threadShouldExit())
            break;

        const int n = std::min(blockSize, numSamples - position);
        block.setSize(numChannels, n, false, false, true);
        for (int ch = 0; ch < numChannels; ++ch)
            block.copyFrom(ch, 0, buffer, ch, position, n);
        analyzer->analyzeBuffer(block);
    }

    if (threadShouldExit())
        return false;

    const float lufs = analyzer->getIntegratedLoudness();
    const float truePeak = truePeakDecibels(analyzer->truePeakState, numChannels);
    report(task, lufs, truePeak);
    return true;
}
