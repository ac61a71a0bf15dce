#pragma once

#include <juce_core/juce_core.h>

#include <functional>
#include <string>
#include <vector>

// Measures queued WAV files one at a time on a background thread and reports
// each file's integrated loudness (LUFS) and true peak (dBTP). The thread ends
// by itself when it finds its queue empty; the owner starts it again.
class AudioAnalysisThread : public juce::Thread
{
public:
    struct AnalysisTask
    {
        std::string filePath;
        int index = 0;
    };

    // Reported for both values when a file cannot be measured.
    static constexpr float missingValue = -999.0f;
    static constexpr int blockSize = 8192;

    AudioAnalysisThread();
    ~AudioAnalysisThread() override;

    void addTask(const AnalysisTask& task);
    bool hasQueuedTasks();
    void clearQueue();

    void run() override;

    std::vector<AnalysisTask> taskQueue;
    // Called on the worker thread, outside the queue lock. Replace it only
    // while the thread is stopped.
    std::function<void(const std::string&, int, float, float)> onAnalysisComplete;
    juce::CriticalSection queueLock;

    // Tests only: called on the worker thread with each file's path before the
    // file is opened, so a test can hold the worker at a known point. Set it
    // only while the thread is stopped; the screen leaves it empty.
    std::function<void(const std::string&)> beforeOpening;

private:
    enum class Outcome
    {
        measured,
        unmeasurable,
        abandoned
    };

    void analyzeFile(const AnalysisTask& task);
    Outcome measureFile(const juce::File& file, float& lufs, float& truePeak);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(AudioAnalysisThread)
};
