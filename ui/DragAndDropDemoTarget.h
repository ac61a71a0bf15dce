#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// Takes files dragged onto the window. It keeps the last drop's paths for the
// main screen's timer to collect, and draws only while a drag hovers.
class DragAndDropDemoTarget : public juce::Component, public juce::FileDragAndDropTarget
{
public:
    ~DragAndDropDemoTarget() override = default;

    void paint(juce::Graphics& g) override;

    bool isInterestedInFileDrag(const juce::StringArray& files) override;
    void fileDragEnter(const juce::StringArray& files, int x, int y) override;
    void fileDragMove(const juce::StringArray& files, int x, int y) override;
    void fileDragExit(const juce::StringArray& files) override;
    void filesDropped(const juce::StringArray& files, int x, int y) override;

    juce::StringArray droppedFiles;
    bool acceptsFiles = true;
    bool isDragOver = false;
};
