#include "measure/AudioAnalysisThread.h"

#include "measure/LoudnessAnalyzer.h"
#include "measure/TruePeak.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <new>

namespace
{
// JUCE's WAV and AIFF readers fill whatever the file cannot deliver with
// silence and still report success, so a data chunk that claims more bytes
// than a truncated file holds would be measured as if it ended in digital
// silence. The readers only ever ask for bytes inside the data chunk, so a
// short read while samples are read means the audio is not all there.
class ShortReadWatch final : public juce::InputStream
{
public:
    explicit ShortReadWatch(std::unique_ptr<juce::InputStream> source) : in(std::move(source)) {}

    juce::int64 getTotalLength() override { return in->getTotalLength(); }
    bool isExhausted() override { return in->isExhausted(); }
    juce::int64 getPosition() override { return in->getPosition(); }
    bool setPosition(juce::int64 position) override { return in->setPosition(position); }

    int read(void* dest, int bytes) override
    {
        const int got = in->read(dest, bytes);
        if (got < bytes)
            cameUpShort = true;
        return got;
    }

    bool cameUpShort = false;

private:
    std::unique_ptr<juce::InputStream> in;
};

struct OpenedFile
{
    std::unique_ptr<juce::AudioFormatReader> reader;
    ShortReadWatch* watch = nullptr; // owned by the reader
};

// The same choice AudioFormatManager::createReaderFor(File) makes (the first
// format that claims the file's extension and opens it), with the watch
// between the reader and the file.
OpenedFile openFile(juce::AudioFormatManager& formats, const juce::File& file)
{
    OpenedFile opened;
    for (int i = 0; i < formats.getNumKnownFormats(); ++i)
    {
        auto* format = formats.getKnownFormat(i);
        if (!format->canHandleFile(file))
            continue;

        auto stream = file.createInputStream();
        if (stream == nullptr)
            continue;

        auto watch = std::make_unique<ShortReadWatch>(std::move(stream));
        auto* watchPointer = watch.get();
        // On failure the format deletes the stream it was given.
        opened.reader.reset(format->createReaderFor(watch.release(), true));
        if (opened.reader != nullptr)
        {
            // Header parsing may legitimately probe past the end.
            watchPointer->cameUpShort = false;
            opened.watch = watchPointer;
            return opened;
        }
    }
    return opened;
}
} // namespace

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

    const auto opened = openFile(formatManager, file);
    if (opened.reader == nullptr)
        return Outcome::unmeasurable;

    auto& reader = *opened.reader;
    const auto numChannels = static_cast<int>(reader.numChannels);
    const auto lengthInSamples = reader.lengthInSamples;
    if (lengthInSamples < 0 || lengthInSamples > std::numeric_limits<int>::max())
        return Outcome::unmeasurable;

    // Truncating a rate beyond int would be undefined; the meter could not
    // take such a rate anyway.
    const double rate = reader.sampleRate;
    if (!(rate >= 1.0 && rate <= static_cast<double>(std::numeric_limits<int>::max())))
        return Outcome::unmeasurable;

    auto analyzer = std::make_unique<LoudnessAnalyzer>(numChannels, static_cast<int>(rate));
    if (!analyzer->isValid())
        return Outcome::unmeasurable;

    const int numSamples = static_cast<int>(lengthInSamples);
    juce::AudioBuffer<float> block(numChannels, std::min(blockSize, numSamples));
    for (int position = 0; position < numSamples; position += blockSize)
    {
        if (threadShouldExit())
            return Outcome::abandoned;

        const int n = std::min(blockSize, numSamples - position);
        block.setSize(numChannels, n, false, false, true);
        if (!reader.read(&block, 0, n, position, true, true) || opened.watch->cameUpShort)
            return Outcome::unmeasurable;

        analyzer->analyzeBuffer(block);
    }

    if (threadShouldExit())
        return Outcome::abandoned;

    lufs = analyzer->getIntegratedLoudness();
    truePeak = truePeakDecibels(analyzer->truePeakState, numChannels);
    return Outcome::measured;
}
