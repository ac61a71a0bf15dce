#pragma once

#include "measure/AudioAnalysisThread.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <map>
#include <string>
#include <vector>

// The analysis list: each listed file's name, integrated loudness and true
// peak. It owns the background worker that measures them and keeps the
// results that the export reads (`lufsByFile`, `truePeakByFile`).
class AudioAnalysisComponent : public juce::Component, public juce::Timer
{
public:
    AudioAnalysisComponent();
    ~AudioAnalysisComponent() override;

    void paint(juce::Graphics& g) override;
    void resized() override;
    // Every 200 ms: drops a stopped worker's queue and animates the rows
    // being measured.
    void timerCallback() override;

    // Adds one row per path that ends in ".wav" (any case) and is not listed
    // yet, then starts measuring.
    void addList(juce::StringArray& paths);
    // Queues every listed file that has no result and is not being measured.
    void startBackgroundAnalysis();
    // Stores and shows one result; the row is found by path, not by index.
    void updateAnalysisResult(const std::string& path, int index, float lufs, float truePeak);
    // Stops the worker and removes every row and result.
    void clearList();

    // Keyed by full path; its keys are the listed files.
    std::map<std::string, std::string> isrcByFile;
    // Full paths in row order.
    std::vector<std::string> files;
    // -999 = no result.
    std::map<std::string, float> lufsByFile;
    std::map<std::string, float> truePeakByFile;
    // Queued or being measured.
    std::map<std::string, bool> analyzingByFile;
    int animationCounter = 0;
    AudioAnalysisThread analysisThread;

    std::unique_ptr<juce::TextButton> closeButton;
    std::unique_ptr<juce::Viewport> viewport;
    // Shown by the viewport, which does not own it; parent of every row widget.
    std::unique_ptr<juce::Component> contentComponent;

    juce::OwnedArray<juce::Label> fileNameLabels;
    juce::OwnedArray<juce::Label> lufsLabels;
    juce::OwnedArray<juce::Label> truePeakLabels;
    juce::OwnedArray<juce::TextButton> removeButtons;

private:
    void installResultHandler();
    void removeFile(const std::string& path);
    void releaseInterruptedFiles();

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(AudioAnalysisComponent)
};
