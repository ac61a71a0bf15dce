#pragma once

#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_dsp/juce_dsp.h>

#include <atomic>
#include <functional>
#include <vector>

// The normalisation engine: a worker thread that takes export jobs one after
// another and writes one normalised WAV file per job. It pushes nothing; the
// screen polls the four published members below.
class AudioConverter : public juce::Thread
{
public:
    struct ConversionTask
    {
        juce::File inputFile;
        juce::File outputFile;
        double targetLUFS = 0.0;
        double targetTruePeak = 0.0;
        juce::String targetName;
        float preAnalyzedLUFS = -999.0f;
        float preAnalyzedTruePeak = -999.0f;
    };

    // A text shared between the engine and the screen. The lock is held only
    // for a reference-counted copy, never across any other call.
    class LockedString
    {
    public:
        LockedString& operator=(const juce::String& text)
        {
            const juce::SpinLock::ScopedLockType guard(lock);
            value = text;
            return *this;
        }

        // Reads the way every reader must: a copy taken under the lock.
        juce::String get() const
        {
            const juce::SpinLock::ScopedLockType guard(lock);
            return value;
        }

        mutable juce::SpinLock lock;
        juce::String value;
    };

    explicit AudioConverter(const std::vector<ConversionTask>& tasksToRun);
    ~AudioConverter() override;

    void run() override;

    // Pulls peaks above thresholdDb down with `limiter`, prepared afresh on
    // every call. Stops early when the thread is asked to stop; the caller then
    // abandons the buffer.
    void applyLimiting(juce::AudioBuffer<float>& buffer, float thresholdDb, double sampleRate);
    static void applyGainOnly(juce::AudioBuffer<float>& buffer, float gain);

    // Reads a file's sample rate, bits per sample and ISRC (capital letters
    // and digits only). Leaves all three untouched when the file won't open.
    static void getFileInfo(const juce::File& file, double& sampleRate, int& bitsPerSample, juce::String& isrc);

    std::atomic<float> progress { 0.0f };
    std::atomic<bool> isConverting { false };
    std::atomic<int> barAnimationCounter { 0 };
    LockedString statusText;

    std::vector<ConversionTask> tasks;
    juce::dsp::Compressor<float> limiter;
    int failureProgress = 6666;

    // Diagnostics only: called on the converter's thread right after every
    // status change, with the new text. Set it before startThread(); the
    // screen polls statusText and leaves this empty.
    std::function<void(const juce::String&)> onStatusChanged;

private:
    enum class TaskOutcome
    {
        written,
        failed,
        abandoned // a stop request came while the task ran
    };

    TaskOutcome convertTask(const ConversionTask& task, int taskNumber, int taskCount);

    // Integrated loudness and, when asked for, true peak of the whole buffer.
    // False when abandoned on a stop request.
    bool measureBuffer(const juce::AudioBuffer<float>& buffer, int sampleRate, float& loudness, float* truePeak);

    void setStatus(const juce::String& text);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(AudioConverter)
};
