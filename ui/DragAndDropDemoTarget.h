#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// Takes files dragged onto the window from the desktop. It covers the whole
// screen beneath the controls, keeps the paths dropped since the last collection for the main
// screen's timer to collect, and shows a tint and frame only while a drag hovers.
class DragAndDropDemoTarget : public juce::Component,
                              public juce::FileDragAndDropTarget
{
public:
    ~DragAndDropDemoTarget() override;

    void paint(juce::Graphics& g) override;

    bool isInterestedInFileDrag(const juce::StringArray& files) override;
    void fileDragEnter(const juce::StringArray& files, int x, int y) override;
    void fileDragMove(const juce::StringArray& files, int x, int y) override;
    void fileDragExit(const juce::StringArray& files) override;
    void filesDropped(const juce::StringArray& files, int x, int y) override;

    // Paths dropped or chosen in the Open dialog, until the timer collects them.
    juce::StringArray droppedFiles;
    // Switched off while a dialog is open or the analysis list is shown.
    bool acceptsFiles = true;
    bool isDragOver = false;
};
