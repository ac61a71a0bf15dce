#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <map>
#include <string>
#include <vector>

// The list of added files: the program's list of work. One row per file with
// its name, its format (such as 44k-24b), an editor for its ISRC code and a
// remove button. The main screen reads `files`, the keys of `isrcCodes` and
// `listChanged`.
class ISRCListComponent : public juce::Component
{
public:
    ISRCListComponent();
    ~ISRCListComponent() override;

    void paint(juce::Graphics& g) override;
    void resized() override;

    // Adds one row per path that ends in ".wav" (any case) and is not listed yet.
    void addList(juce::StringArray& paths);
    void setupISRCEditor(juce::TextEditor* editor, const std::string& path);
    void clearList();

    // Full path -> ISRC text as shown in its editor. The keys are the listed files.
    std::map<std::string, std::string> isrcCodes;
    // Full paths in row order.
    std::vector<std::string> files;
    // Set when a row is removed; the main screen reads and clears it.
    bool listChanged = false;

    std::unique_ptr<juce::TextButton> closeButton;
    std::unique_ptr<juce::Viewport> viewport;
    // Shown by the viewport, which does not own it; parent of every row widget.
    std::unique_ptr<juce::Component> contentComponent;

    juce::OwnedArray<juce::Label> nameLabels;
    juce::OwnedArray<juce::Label> formatLabels;
    juce::OwnedArray<juce::TextEditor> isrcEditors;
    juce::OwnedArray<juce::TextButton> removeButtons;

private:
    void removeFile(const std::string& path);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(ISRCListComponent)
};
