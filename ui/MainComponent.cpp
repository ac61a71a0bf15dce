#include "ui/MainComponent.h"

#include "ui/Palette.h"

#include "BinaryData.h"

namespace
{
// The compiled-in targets, in the order of the toggles on screen and of the
// tasks made for each file. Suffixes are fixed texts, not derived from names.
struct Target
{
    const char* label;
    const char* statusText;
    const char* suffix;
    const char* name;
    double lufs;
    double truePeak;
};

constexpr int customRow = 10;

const Target targets[11] = {
    { "Netflix\n-27 LUFS -2 dBTP", "Netflix: -27 LUFS, -2 dBTP", "-Netflix.wav", "Netflix", -27.0, -2.0 },
    { "ARIB TR-B32\n-24 LUFS -2 dBTP", "ARIB TR-B32: -24 LUFS, -2 dBTP", "-ARIB_TR-B32.wav", "ARIB TR-B32", -24.0, -2.0 },
    { "OP-59\n-24 LUFS -2 dBTP", "OP-59: -24 LUFS, -2 dBTP", "-OP-59.wav", "OP-59", -24.0, -2.0 },
    { "TASA\n-24 LUFS -2 dBTP", "TASA: -24 LUFS, -2 dBTP", "-TASA.wav", "TASA", -24.0, -2.0 },
    { "ATSC A/85\n-24 LUFS -2 dBTP", "ATSC A/85: -24 LUFS, -2 dBTP", "-ATSC_A85.wav", "ATSC A/85", -24.0, -2.0 },
    { "EBU R128\n-23 LUFS -1 dBTP", "EBU R128: -23 LUFS, -1 dBTP", "-EBU_R128.wav", "EBU R128", -23.0, -1.0 },
    { "France TV\n-23 LUFS -3 dBTP", "France TV: -23 LUFS, -3 dBTP", "-FranceTV.wav", "France TV", -23.0, -3.0 },
    { "AGCOM 219\n-23 LUFS -1 dBTP", "AGCOM 219: -23 LUFS, -1 dBTP", "-AGCOM_219.wav", "AGCOM 219", -23.0, -1.0 },
    { "Podcast\n-16 LUFS -1 dBTP", "Podcast: -16 LUFS, -1 dBTP", "-Podcast.wav", "Podcast", -16.0, -1.0 },
    { "Streaming\n-14 LUFS -1 dBTP", "Streaming: -14 LUFS, -1 dBTP", "-Streaming.wav", "Streaming", -14.0, -1.0 },
    // Custom: the values come from the two editors.
    { "Custom LUFS", nullptr, "-Custom.wav", "Custom", 0.0, 0.0 },
};

constexpr float missingValue = -999.0f;

const juce::String idleStatus = "DRAG & DROP WAV files !";
const juce::String defaultDirectoryText = "DIRECTORY: /Tarnvale";

// What an editor shows while it is empty, or a text made only of those letters,
// counts as nothing typed.
bool isPlaceholder(const juce::String& text, const char* unit, const char* unitLetters)
{
    return text.isEmpty() || text == unit || text.containsOnly(unitLetters);
}

void setUpCustomEditor(juce::TextEditor& editor, const char* placeholder)
{
    editor.setInputRestrictions(0, "-0123456789.");
    editor.setTextToShowWhenEmpty(placeholder, greyTextBoxKavri);
    editor.setJustification(juce::Justification::centred);
    editor.setColour(juce::TextEditor::backgroundColourId, blackKavri);
    editor.setColour(juce::TextEditor::textColourId, whiteLightKavri);
    editor.setColour(juce::TextEditor::outlineColourId, blackFullKavri);
    editor.setColour(juce::TextEditor::focusedOutlineColourId, redKavri);
}
} // namespace

MainComponent::MainComponent()
{
    setSize(860, 587);
    setLookAndFeel(&look);

    backgroundImage = juce::ImageCache::getFromMemory(BinaryData::panel_texture_jpg, BinaryData::panel_texture_jpgSize);
    logoImage = juce::ImageCache::getFromMemory(BinaryData::logo_png, BinaryData::logo_pngSize);

    logoButton.setImages(false, true, true,
                         logoImage, 1.0f, juce::Colour(0x00000000),
                         juce::Image(), 0.6f, juce::Colour(0x4CB21213),
                         logoImage, 0.9f, juce::Colour(0x00000000),
                         0.0f);
    logoButton.setClickingTogglesState(false);

    openButton.setButtonText("OPEN");
    analyzeButton.setButtonText("ANALYZE");
    clearButton.setButtonText("CLEAR FILE LIST");
    directoryButton.setButtonText(defaultDirectoryText);
    exportButton.setButtonText("EXPORT");

    for (auto* toggle : targetButtons())
        toggle->setClickingTogglesState(true);

    const std::pair<juce::TextButton*, juce::Colour> offColours[] = {
        { &openButton, redKavri },         { &analyzeButton, greyWhiteKavri },
        { &clearButton, greyWhiteKavri },  { &directoryButton, greyWhiteKavri },
        { &exportButton, redKavri },
    };
    for (const auto& [button, offColour] : offColours)
    {
        button->setColour(juce::TextButton::textColourOffId, offColour);
        button->setColour(juce::TextButton::textColourOnId, greyWhiteKavri);
    }

    for (int row = 0; row < 11; ++row)
        createLabel(targetLabels[row], targets[row].label);
    createLabel(infoLabel, idleStatus);

    infoLabel.setColour(juce::Label::textColourId, greyWhiteKavri);
    logoButton.setColour(juce::TextButton::buttonColourId, transparentKavri);

    openButton.onClick = [this] { openClicked(); };
    analyzeButton.onClick = [this] { analyzeClicked(); };
    clearButton.onClick = [this] { clearClicked(); };
    exportButton.onClick = [this] { exportClicked(); };
    directoryButton.onClick = [this] { directoryClicked(); };
    logoButton.onClick = [] { juce::URL(homePageUrl).launchInDefaultBrowser(); };

    const auto toggles = targetButtons();
    for (int row = 0; row < customRow; ++row)
        toggles[static_cast<size_t>(row)]->onClick = [this, row] {
            infoLabel.setText(targets[row].statusText, juce::dontSendNotification);
        };
    buttonCustom.onClick = [this] {
        const auto lufs = customLufsEditor.getText().getFloatValue();
        const auto ceiling = customPeakEditor.getText().getFloatValue();
        infoLabel.setText("CUSTOM: " + juce::String(static_cast<double>(lufs), 1) + " LUFS, "
                              + juce::String(static_cast<double>(ceiling), 1) + " dBTP",
                          juce::dontSendNotification);
    };

    customLufsEditor.onReturnKey = [this] { customLufsEditor.giveAwayKeyboardFocus(); };
    customPeakEditor.onReturnKey = [this] { customPeakEditor.giveAwayKeyboardFocus(); };
    customLufsEditor.onFocusLost = [this] { cleanCustomText(customLufsEditor, "LUFS", " LUFS", -40.0f, -10.0f); };
    customPeakEditor.onFocusLost = [this] { cleanCustomText(customPeakEditor, "dBTP", " dBTP", -5.0f, 0.0f); };

    addAndMakeVisible(dropTarget);
    for (auto* button : { &openButton, &analyzeButton, &clearButton, &directoryButton, &exportButton })
        addAndMakeVisible(button);
    addAndMakeVisible(logoButton);
    for (auto* toggle : toggles)
        addAndMakeVisible(toggle);

    setUpCustomEditor(customLufsEditor, "LUFS");
    addAndMakeVisible(customLufsEditor);
    setUpCustomEditor(customPeakEditor, "dBTP");
    addAndMakeVisible(customPeakEditor);

    addAndMakeVisible(isrcList);
    addAndMakeVisible(analysisComponent);
    analysisComponent.setVisible(false);

    startTimer(200);

    buttonEBU.setToggleState(true, juce::dontSendNotification);
}

MainComponent::~MainComponent()
{
    stopTimer();
    if (converter != nullptr && converter->isThreadRunning())
        converter->stopThread(2000);
    if (analysisComponent.analysisThread.isThreadRunning())
        analysisComponent.analysisThread.stopThread(2000);
    analysisComponent.clearList();
    converter.reset();
    setLookAndFeel(nullptr);
}

std::array<juce::TextButton*, 11> MainComponent::targetButtons()
{
    return { &buttonNetflix, &buttonARIB,  &buttonOP59,    &buttonTASA,      &buttonATSC,  &buttonEBU,
             &buttonFranceTV, &buttonAGCOM, &buttonPodcast, &buttonStreaming, &buttonCustom };
}

std::array<juce::TextButton*, 16> MainComponent::textButtons()
{
    return { &openButton,    &directoryButton, &exportButton, &analyzeButton,  &clearButton,   &buttonNetflix,
             &buttonARIB,    &buttonOP59,      &buttonTASA,   &buttonATSC,     &buttonEBU,     &buttonFranceTV,
             &buttonAGCOM,   &buttonPodcast,   &buttonStreaming, &buttonCustom };
}

void MainComponent::createLabel(juce::Label& label, juce::String text)
{
    addAndMakeVisible(label);
    label.setText(text, juce::dontSendNotification);
    label.setJustificationType(juce::Justification::centred);
}

void MainComponent::cleanCustomText(juce::TextEditor& editor, const char* unitLetters, const char* unit,
                                    float lowest, float highest)
{
    const auto text = editor.getText();
    if (text.isEmpty() || text.containsOnly(unitLetters))
        return;

    // The sign typed is ignored: targets and ceilings are never above full scale.
    auto value = text.getFloatValue();
    value = juce::jmin(-value, value);
    value = juce::jmax(juce::jmin(value, highest), lowest);
    // Adding zero turns a negative zero into "0.0" rather than "-0.0".
    value += 0.0f;
    editor.setText(juce::String(static_cast<double>(value), 1) + unit);
}

void MainComponent::timerCallback()
{
    static bool wasProcessing = false;

    if (!isVisible())
        return;

    if (converter != nullptr)
    {
        if (converter->isConverting.load())
            infoLabel.setText(converter->statusText.get(), juce::dontSendNotification);

        const bool busy = converter->isConverting.load();
        if (wasProcessing && !busy)
            analysisComponent.startBackgroundAnalysis();
        wasProcessing = busy;

        for (auto* button : textButtons())
            button->setEnabled(!busy);
    }

    if (dropTarget.droppedFiles.isEmpty())
    {
        if (isrcList.listChanged)
        {
            showFileCount();
            isrcList.listChanged = false;
        }
        repaint();
        return;
    }

    pendingFiles.clear();
    pendingFiles.addArray(dropTarget.droppedFiles);
    dropTarget.droppedFiles.clear();

    isrcList.addList(pendingFiles);
    analysisComponent.addList(pendingFiles);

    showFileCount();
    repaint();
}

void MainComponent::showFileCount()
{
    infoLabel.setText(juce::String(static_cast<int>(isrcList.files.size())) + " WAV file(s)",
                      juce::dontSendNotification);
}

void MainComponent::exportClicked()
{
    // A second click before the next tick (a double click) would abandon the
    // running export and then write every finished file again under a
    // numbered name: while the engine works, EXPORT does nothing. The thread,
    // not the busy flag, is asked: the engine raises the flag only once its
    // thread has begun.
    if (converter != nullptr && converter->isThreadRunning())
        return;

    auto& worker = analysisComponent.analysisThread;
    if (worker.isThreadRunning())
        worker.stopThread(2000);

    const auto giveUp = [this](const juce::String& message, bool repaintScreen) {
        infoLabel.setText(message, juce::dontSendNotification);
        analysisComponent.startBackgroundAnalysis();
        if (repaintScreen)
            repaint();
    };

    if (isrcList.files.empty())
        return giveUp("Please select wav files", true);

    juce::File folder = exportDirectory;
    if (!folder.isDirectory())
    {
        const juce::File firstFile(juce::String(isrcList.isrcCodes.begin()->first));
        folder = juce::File(firstFile.getParentDirectory().getFullPathName() + "/Tarnvale/");
    }

    if (folder.existsAsFile())
    {
        infoLabel.setText("Error export directory", juce::dontSendNotification);
        if (converter != nullptr)
            converter->isConverting = false;
        analysisComponent.startBackgroundAnalysis();
        return;
    }

    if (!folder.exists())
        folder.createDirectory();

    std::vector<AudioConverter::ConversionTask> tasks;
    juce::File inputFile;
    juce::String basePath;

    const auto makeConversionTask = [&](const juce::String& suffix, const juce::String& name, double lufs,
                                        double truePeak) {
        AudioConverter::ConversionTask task;
        task.inputFile = inputFile;
        task.outputFile = juce::File(basePath + suffix);
        task.targetLUFS = lufs;
        task.targetTruePeak = truePeak;
        task.targetName = name;
        task.preAnalyzedLUFS = missingValue;
        task.preAnalyzedTruePeak = missingValue;

        const auto key = inputFile.getFullPathName().toStdString();
        const auto found = analysisComponent.lufsByFile.find(key);
        if (found != analysisComponent.lufsByFile.end() && found->second != missingValue)
        {
            task.preAnalyzedLUFS = found->second;
            task.preAnalyzedTruePeak = analysisComponent.truePeakByFile[key];
        }
        return task;
    };

    const auto toggles = targetButtons();
    for (const auto& entry : isrcList.isrcCodes)
    {
        inputFile = juce::File(juce::String(entry.first));
        basePath = folder.getFullPathName() + "/" + inputFile.getFileNameWithoutExtension();

        for (int row = 0; row < customRow; ++row)
            if (toggles[static_cast<size_t>(row)]->getToggleState())
                tasks.push_back(makeConversionTask(targets[row].suffix, targets[row].name, targets[row].lufs,
                                                   targets[row].truePeak));

        if (buttonCustom.getToggleState())
        {
            const auto lufsText = customLufsEditor.getText().trim();
            const auto peakText = customPeakEditor.getText().trim();
            if (isPlaceholder(lufsText, "LUFS", "LUFS ") || isPlaceholder(peakText, "dBTP", "dBTP "))
                return giveUp("Please enter CUSTOM LUFS and dBTP values", false);

            const float lufs = lufsText.getFloatValue();
            const float peak = peakText.getFloatValue();
            if (!(lufs >= -40.0f && lufs <= -10.0f && peak >= -5.0f && peak <= 0.0f))
                return giveUp("Invalid CUSTOM values (LUFS: -10 to -40, dBTP: 0 to -5)", false);

            tasks.push_back(makeConversionTask(targets[customRow].suffix, targets[customRow].name,
                                               static_cast<double>(lufs), static_cast<double>(peak)));
        }
    }

    if (tasks.empty())
        return giveUp("Please select LUFS target", true);

    converter = std::make_unique<AudioConverter>(tasks);
    converter->startThread();
}

void MainComponent::openClicked()
{
    dropTarget.acceptsFiles = false;
    fileChooser = std::make_unique<juce::FileChooser>("Select a Wave file(s) to convert...", juce::File(), "*.wav");
    fileChooser->launchAsync(juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectFiles
                                 | juce::FileBrowserComponent::canSelectMultipleItems,
                             [this](const juce::FileChooser& chooser) { openCompleted(chooser.getResults()); });
}

void MainComponent::openCompleted(const juce::Array<juce::File>& chosenFiles)
{
    // Unfiltered: the next tick keeps the WAV files that are not listed yet.
    for (const auto& file : chosenFiles)
        dropTarget.droppedFiles.add(file.getFullPathName());
    dropTarget.acceptsFiles = true;
}

void MainComponent::directoryClicked()
{
    dropTarget.acceptsFiles = false;
    fileChooser = std::make_unique<juce::FileChooser>("Select export directory...", juce::File(), juce::String());
    fileChooser->launchAsync(juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectDirectories,
                             [this](const juce::FileChooser& chooser) { directoryCompleted(chooser.getResult()); });
}

void MainComponent::directoryCompleted(const juce::File& chosenFolder)
{
    if (chosenFolder != juce::File() && chosenFolder.isDirectory())
    {
        exportDirectory = chosenFolder;
        directoryButton.setButtonText("DIRECTORY: /" + chosenFolder.getFileName());
    }
    else
    {
        // A cancel returns to the default folder, also after a folder was chosen.
        exportDirectory = juce::File();
        directoryButton.setButtonText(defaultDirectoryText);
    }
    dropTarget.acceptsFiles = true;
}

void MainComponent::analyzeClicked()
{
    if (isrcList.files.empty())
    {
        infoLabel.setText("No files to analyze", juce::dontSendNotification);
        return;
    }
    analysisComponent.setBounds(getLocalBounds());
    analysisComponent.setVisible(true);
    dropTarget.acceptsFiles = false;
}

void MainComponent::clearClicked()
{
    pendingFiles.clear();
    dropTarget.droppedFiles.clear();
    isrcList.clearList();
    analysisComponent.clearList();
    createLabel(infoLabel, idleStatus);
}
