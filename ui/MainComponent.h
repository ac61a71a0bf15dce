#pragma once

#include "engine/AudioConverter.h"
#include "ui/AudioAnalysisComponent.h"
#include "ui/DragAndDropDemoTarget.h"
#include "ui/ISRCListComponent.h"
#include "ui/Look.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <memory>

// The program's one screen: command buttons, the eleven target toggles with
// their labels, the custom-target editors, the status line and progress bar,
// and the two file lists. It polls the export engine on a 200 ms timer.
//
// The members are public so that the layout, the tests and the lists' owners
// can reach them; their declaration order is the construction order, and the
// teardown relies on it (the lists outlive the look-and-feel and the engine).
class MainComponent : public juce::Component, public juce::Timer
{
public:
    MainComponent();
    ~MainComponent() override;

    void paint(juce::Graphics& g) override;
    void resized() override;
    void timerCallback() override;

    void createLabel(juce::Label& label, juce::String text);

    // Button handlers, reachable so that a test can drive them as a click would.
    void exportClicked();
    void openClicked();
    void directoryClicked();
    void analyzeClicked();
    void clearClicked();
    // What the two dialogs do once the user has chosen (nothing, on a cancel).
    void openCompleted(const juce::Array<juce::File>& chosenFiles);
    void directoryCompleted(const juce::File& chosenFolder);

    // The eleven toggles in target-table order.
    std::array<juce::TextButton*, 11> targetButtons();
    // The sixteen text buttons an export disables, in declaration order.
    std::array<juce::TextButton*, 16> textButtons();

    // The maker's page, opened by the logo.
    static constexpr const char* homePageUrl = "https://tarnvale.example/";

    ISRCListComponent isrcList;
    AudioAnalysisComponent analysisComponent;
    juce::StringArray pendingFiles;
    Look look;
    juce::Image logoImage;
    std::unique_ptr<AudioConverter> converter;
    juce::ColourGradient backgroundGradient;
    juce::ColourGradient panelGradient;
    juce::ImageButton logoButton;
    juce::TextButton openButton;
    juce::TextButton directoryButton;
    juce::TextButton exportButton;
    juce::TextButton analyzeButton;
    juce::TextButton clearButton;
    juce::TextButton buttonNetflix;
    juce::TextButton buttonARIB;
    juce::TextButton buttonOP59;
    juce::TextButton buttonTASA;
    juce::TextButton buttonATSC;
    juce::TextButton buttonEBU;
    juce::TextButton buttonFranceTV;
    juce::TextButton buttonAGCOM;
    juce::TextButton buttonPodcast;
    juce::TextButton buttonStreaming;
    juce::TextButton buttonCustom;
    juce::TextEditor customLufsEditor;
    juce::TextEditor customPeakEditor;
    juce::Label targetLabels[11];
    juce::Label infoLabel;
    std::unique_ptr<juce::FileChooser> fileChooser;
    DragAndDropDemoTarget dropTarget;
    juce::File exportDirectory;
    juce::Image backgroundImage;
    int designWidth = 860;
    int designHeight = 587;

private:
    void showFileCount();
    void cleanCustomText(juce::TextEditor& editor, const char* unitLetters, const char* unit, float lowest,
                         float highest);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(MainComponent)
};
