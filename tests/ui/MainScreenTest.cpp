#include "GuiTestSupport.h"
#include "common/Signals.h"
#include "common/WavFiles.h"
#include "ui/MainComponent.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

namespace
{
constexpr float noResult = -999.0f;

// A main screen as the window shows it: visible, so that its timer works.
struct Screen
{
    Screen() { screen.setVisible(true); }

    juce::String status() const { return screen.infoLabel.getText(); }

    void drop(const juce::StringArray& paths) { screen.dropTarget.filesDropped(paths, 10, 10); }

    // Drops the files and waits for the real timer to list them.
    void list(const juce::StringArray& paths)
    {
        const auto before = screen.isrcList.files.size();
        drop(paths);
        ASSERT_TRUE(testgui::pumpUntil([&] { return screen.isrcList.files.size() > before; }));
    }

    bool measured(const juce::File& file)
    {
        const auto found = screen.analysisComponent.lufsByFile.find(file.getFullPathName().toStdString());
        return found != screen.analysisComponent.lufsByFile.end() && found->second != noResult;
    }

    void waitForExport()
    {
        ASSERT_NE(screen.converter, nullptr);
        ASSERT_TRUE(testgui::pumpUntil([&] { return !screen.converter->isConverting.load(); }, 60000));
        testgui::pumpFor(250); // the tick that sees the falling edge
    }

    void setCustom(const juce::String& lufs, const juce::String& peak)
    {
        screen.customLufsEditor.setText(lufs);
        screen.customPeakEditor.setText(peak);
        screen.buttonCustom.setToggleState(true, juce::dontSendNotification);
    }

    MainComponent screen;
};

juce::File writeTone(const juce::File& file, double seconds = 1.0, double peakDb = -20.0)
{
    EXPECT_TRUE(testwav::write(file, testsig::sine(2, 48000.0, 1000.0, peakDb, seconds), 48000.0, 24));
    return file;
}

juce::File writeNotWav(const juce::File& file)
{
    file.replaceWithText("this is not audio");
    return file;
}

juce::StringArray pathsOf(std::initializer_list<juce::File> files)
{
    juce::StringArray paths;
    for (const auto& f : files)
        paths.add(f.getFullPathName());
    return paths;
}

std::vector<juce::String> outputNames(const std::vector<AudioConverter::ConversionTask>& tasks)
{
    std::vector<juce::String> names;
    for (const auto& t : tasks)
        names.push_back(t.outputFile.getFullPathName());
    return names;
}
} // namespace

TEST(MainScreen, StartsWithOnlyEbuTickedAndEverythingEmpty)
{
    Screen s;
    auto& m = s.screen;
    EXPECT_EQ(m.getWidth(), 860);
    EXPECT_EQ(m.getHeight(), 587);
    EXPECT_EQ(s.status(), "DRAG & DROP WAV files !");
    EXPECT_EQ(m.directoryButton.getButtonText(), "DIRECTORY: /Tarnvale");
    for (auto* toggle : m.targetButtons())
    {
        EXPECT_EQ(toggle->getToggleState(), toggle == &m.buttonEBU);
        EXPECT_TRUE(toggle->getButtonText().isEmpty());
    }
    EXPECT_TRUE(m.customLufsEditor.isEmpty());
    EXPECT_TRUE(m.customPeakEditor.isEmpty());
    EXPECT_EQ(m.customLufsEditor.getTextToShowWhenEmpty(), "LUFS");
    EXPECT_EQ(m.customPeakEditor.getTextToShowWhenEmpty(), "dBTP");
    EXPECT_FALSE(m.analysisComponent.isVisible());
    EXPECT_TRUE(m.isrcList.isVisible());
    EXPECT_EQ(m.targetLabels[5].getText(), "EBU R128\n-23 LUFS -1 dBTP");
    EXPECT_EQ(m.targetLabels[10].getText(), "Custom LUFS");

    // Bottom to top: a drop is taken over the labels and the status line but
    // never through a button, editor or shown list.
    std::vector<juce::Component*> expected;
    for (auto& label : m.targetLabels)
        expected.push_back(&label);
    for (juce::Component* c : std::initializer_list<juce::Component*> {
             &m.infoLabel, &m.dropTarget, &m.openButton, &m.analyzeButton, &m.clearButton, &m.directoryButton,
             &m.exportButton, &m.logoButton })
        expected.push_back(c);
    for (auto* toggle : m.targetButtons())
        expected.push_back(toggle);
    for (juce::Component* c : std::initializer_list<juce::Component*> { &m.customLufsEditor, &m.customPeakEditor,
                                                                         &m.isrcList, &m.analysisComponent })
        expected.push_back(c);
    const auto& children = m.getChildren();
    EXPECT_EQ(std::vector<juce::Component*>(children.begin(), children.end()), expected);
}

TEST(MainScreen, TimerTakesNewWavFilesIntoBothListsWithoutLosingAnyDrop)
{
    testwav::TempFolder temp;
    const auto listed = writeTone(temp.file("listed.wav"));
    const auto capitals = writeTone(temp.file("CAPITALS.WAV"));
    const auto other = writeTone(temp.file("other.aiff"));
    const auto second = writeTone(temp.file("second.wav"));
    Screen s;
    auto& m = s.screen;
    s.list(pathsOf({ listed }));
    EXPECT_EQ(s.status(), "1 WAV file(s)");

    // Two drops within one tick both arrive; another extension and a file
    // already listed are passed over.
    s.drop(pathsOf({ capitals, other, listed }));
    s.drop(pathsOf({ second }));
    m.timerCallback();
    EXPECT_EQ(s.status(), "3 WAV file(s)");
    const std::vector<std::string> expected { listed.getFullPathName().toStdString(),
                                              capitals.getFullPathName().toStdString(),
                                              second.getFullPathName().toStdString() };
    EXPECT_EQ(m.isrcList.files, expected);
    EXPECT_EQ(m.analysisComponent.files, expected);

    // Hidden, the screen leaves dropped paths where they are.
    const auto late = writeTone(temp.file("late.wav"));
    m.setVisible(false);
    s.drop(pathsOf({ late }));
    testgui::pumpFor(450);
    EXPECT_EQ(m.dropTarget.droppedFiles.size(), 1);
    m.setVisible(true);
    ASSERT_TRUE(testgui::pumpUntil([&] { return m.isrcList.files.size() == 4; }));

    // Every file gets measured in the background.
    EXPECT_TRUE(testgui::pumpUntil([&] { return s.measured(listed) && s.measured(late) && s.measured(second); }));

    // Removing the last rows shows the new count at the next tick.
    while (!m.isrcList.removeButtons.isEmpty())
    {
        const auto rows = m.isrcList.files.size();
        m.isrcList.removeButtons.getLast()->triggerClick();
        ASSERT_TRUE(testgui::pumpUntil([&] { return m.isrcList.files.size() < rows; }));
    }
    ASSERT_TRUE(testgui::pumpUntil([&] { return s.status() == "0 WAV file(s)"; }));
    EXPECT_FALSE(m.isrcList.listChanged);
}
