#include "ui/DragAndDropDemoTarget.h"

#include "ui/Palette.h"

DragAndDropDemoTarget::~DragAndDropDemoTarget() = default;

void DragAndDropDemoTarget::paint(juce::Graphics& g)
{
    if (!isDragOver)
        return;

    g.fillAll(randomTransKavri);
    g.setColour(greyWhiteKavri);
    g.drawRect(getLocalBounds(), 12);
}

bool DragAndDropDemoTarget::isInterestedInFileDrag(const juce::StringArray&)
{
    // Any file or folder is welcome here; the main screen keeps only WAV files.
    return acceptsFiles;
}

void DragAndDropDemoTarget::fileDragEnter(const juce::StringArray&, int, int)
{
    isDragOver = true;
    repaint();
}

void DragAndDropDemoTarget::fileDragMove(const juce::StringArray&, int, int)
{
}

void DragAndDropDemoTarget::fileDragExit(const juce::StringArray&)
{
    isDragOver = false;
    repaint();
}

void DragAndDropDemoTarget::filesDropped(const juce::StringArray& files, int, int)
{
    // Appended, not replaced: a second drop within one tick, or a drop right
    // after the Open dialog's choice, must not lose the paths still waiting.
    droppedFiles.addArray(files);
    isDragOver = false;
    repaint();
}
