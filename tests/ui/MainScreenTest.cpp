#include "GuiTestSupport.h"
#include "common/Signals.h"
#include "common/WavFiles.h"
#include "ui/MainComponent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <iterator>
#include <limits>
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
    file.getParentDirectory().createDirectory();
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


TEST(MainScreenExport, WritesFileByFileInTableOrderAndResumesMeasuringOnceAfterwards)
{
    testwav::TempFolder temp;
    const auto b = writeTone(temp.file("b.wav"));
    const auto a = writeTone(temp.file("a.wav"));
    const auto broken = writeNotWav(temp.file("c.wav")); // sorts last, so the engine fails on it only at the end
    const auto brokenKey = broken.getFullPathName().toStdString();

    Screen s;
    auto& m = s.screen;
    auto& worker = m.analysisComponent.analysisThread;
    std::atomic<int> brokenResults { 0 };
    worker.onAnalysisComplete = [&, forward = worker.onAnalysisComplete](const std::string& path, int index,
                                                                          float lufs, float peak) {
        if (path == brokenKey)
            ++brokenResults;
        forward(path, index, lufs, peak);
    };

    s.list(pathsOf({ b, a, broken }));
    ASSERT_TRUE(testgui::pumpUntil([&] { return s.measured(a) && s.measured(b) && brokenResults == 1; }));
    m.buttonPodcast.setToggleState(true, juce::dontSendNotification);

    // A double click: the second request must not start the export again.
    m.exportClicked();
    AudioConverter* const first = m.converter.get();
    m.exportClicked();
    ASSERT_EQ(m.converter.get(), first);

    const auto out = temp.folder().getChildFile("Tarnvale");
    const std::vector<std::pair<juce::File, const char*>> expected {
        { a, "EBU R128" }, { a, "Podcast" }, { b, "EBU R128" }, { b, "Podcast" }, { broken, "EBU R128" }, { broken, "Podcast" },
    };
    const auto& tasks = m.converter->tasks;
    ASSERT_EQ(tasks.size(), expected.size());
    for (size_t i = 0; i < tasks.size(); ++i)
    {
        SCOPED_TRACE(i);
        const auto& [input, name] = expected[i];
        const auto key = input.getFullPathName().toStdString();
        EXPECT_EQ(tasks[i].inputFile, input);
        EXPECT_EQ(tasks[i].targetName, name);
        EXPECT_EQ(tasks[i].outputFile,
                  out.getChildFile(input.getFileNameWithoutExtension()
                                   + (juce::String(name) == "Podcast" ? "-Podcast.wav" : "-EBU_R128.wav")));
        EXPECT_EQ(tasks[i].targetLUFS, juce::String(name) == "Podcast" ? -16.0 : -23.0);
        EXPECT_EQ(tasks[i].targetTruePeak, -1.0);
        EXPECT_EQ(tasks[i].preAnalyzedLUFS, input == broken ? noResult : m.analysisComponent.lufsByFile[key]);
        EXPECT_EQ(tasks[i].preAnalyzedTruePeak, input == broken ? noResult : m.analysisComponent.truePeakByFile[key]);
    }

    ASSERT_TRUE(testgui::pumpUntil([&] { return !m.openButton.isEnabled(); }));
    for (auto* button : m.textButtons())
        EXPECT_FALSE(button->isEnabled());

    s.waitForExport();
    EXPECT_TRUE(s.status().startsWith("Error")) << s.status();
    for (auto* button : m.textButtons())
        EXPECT_TRUE(button->isEnabled());

    // Exactly the four good exports: nothing numbered from a second run,
    // nothing left for the file that failed.
    juce::StringArray written;
    for (const auto& f : out.findChildFiles(juce::File::findFiles, false))
        written.add(f.getFileName());
    written.sort(false);
    EXPECT_EQ(written, juce::StringArray({ "a-EBU_R128.wav", "a-Podcast.wav", "b-EBU_R128.wav", "b-Podcast.wav" }));

    // The end of the export queues the file without a result again, once.
    ASSERT_TRUE(testgui::pumpUntil([&] { return brokenResults == 2; }));
    testgui::pumpFor(800);
    EXPECT_EQ(brokenResults, 2);
}

namespace
{
// A screen on the desktop that notes whether something repainted all of it.
struct PaintCounter : MainComponent
{
    void paint(juce::Graphics& g) override
    {
        if (g.getClipBounds() == getLocalBounds())
            ++fullPaints;
        MainComponent::paint(g);
    }
    int fullPaints = 0;
};

struct EarlyReturn
{
    const char* what;
    std::function<void(MainComponent&, const testwav::TempFolder&, const juce::File&)> prepare;
    const char* message;
    bool repaints;
    bool createsDefaultFolder;
};
} // namespace

TEST(MainScreenExport, RequestsThatCannotRunSayWhyAndResumeMeasuring)
{
    const auto listOne = [](MainComponent& m, const testwav::TempFolder&, const juce::File& one) {
        m.dropTarget.droppedFiles.add(one.getFullPathName());
        m.timerCallback();
    };
    const auto custom = [listOne](const char* lufs, const char* peak) {
        return [=](MainComponent& m, const testwav::TempFolder& temp, const juce::File& one) {
            listOne(m, temp, one);
            m.customLufsEditor.setText(lufs);
            m.customPeakEditor.setText(peak);
            m.buttonCustom.setToggleState(true, juce::dontSendNotification);
        };
    };
    const char* placeholder = "Please enter CUSTOM LUFS and dBTP values";
    const char* invalid = "Invalid CUSTOM values (LUFS: -10 to -40, dBTP: 0 to -5)";

    const EarlyReturn cases[] = {
        // Nothing in the file list; the analysis list still has a file to measure.
        { "nothing listed", [](MainComponent& m, const testwav::TempFolder&, const juce::File& one) {
              juce::StringArray paths { one.getFullPathName() };
              m.analysisComponent.addList(paths);
          }, "Please select wav files", true, false },
        { "no target", [listOne](MainComponent& m, const testwav::TempFolder& temp, const juce::File& one) {
              listOne(m, temp, one);
              m.buttonEBU.setToggleState(false, juce::dontSendNotification);
          }, "Please select LUFS target", true, true },
        { "file where the folder goes", [listOne](MainComponent& m, const testwav::TempFolder& temp, const juce::File& one) {
              listOne(m, temp, one);
              temp.file("Tarnvale").replaceWithText("in the way");
          }, "Error export directory", false, false },
        { "custom loudness empty", custom("", "-1.0 dBTP"), placeholder, false, true },
        { "custom peak only its unit", custom("-23", " dBTP "), placeholder, false, true },
        { "custom loudness only unit letters", custom("SULF", "-1"), placeholder, false, true },
        { "custom loudness above range", custom("-9.9", "-1"), invalid, false, true },
        { "custom peak below range", custom("-20", "-5.1"), invalid, false, true },
        { "custom peak above full scale", custom("-20", "0.5"), invalid, false, true },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        testwav::TempFolder temp;
        const auto one = writeTone(temp.file("one.wav"));
        const auto key = one.getFullPathName().toStdString();
        // The worker holds before opening the file until a stop request, so
        // the file is still being measured when EXPORT is pressed.
        std::atomic<bool> holding { true };
        PaintCounter m;
        m.analysisComponent.analysisThread.beforeOpening = [&holding](const std::string&) {
            while (holding && !juce::Thread::currentThreadShouldExit())
                juce::Thread::sleep(1);
        };
        m.setVisible(true);
        m.addToDesktop(0);
        m.stopTimer();
        c.prepare(m, temp, one);
        // Let the window's first paints pass, however slow the machine is.
        for (int settled = 0; settled < 50; ++settled)
        {
            m.fullPaints = 0;
            testgui::pumpFor(150);
            if (m.fullPaints == 0)
                break;
        }
        ASSERT_EQ(m.analysisComponent.lufsByFile[key], noResult);

        m.exportClicked();
        holding = false;
        testgui::pumpFor(150);

        EXPECT_EQ(m.infoLabel.getText(), c.message);
        EXPECT_EQ(m.converter, nullptr);
        // Only a missing repaint is a fault: the timer repaints the whole
        // screen five times a second anyway, and X may expose it at any time.
        if (c.repaints)
        {
            EXPECT_GT(m.fullPaints, 0);
        }
        EXPECT_EQ(temp.file("Tarnvale").isDirectory(), c.createsDefaultFolder);
        // Measuring resumes: the interrupted file's value arrives.
        EXPECT_TRUE(testgui::pumpUntil([&] { return m.analysisComponent.lufsByFile[key] != noResult; }));
    }
}

TEST(MainScreenExport, ChoosesTheFolderAndAcceptsCustomValuesAtTheirBounds)
{
    testwav::TempFolder temp;
    const auto upper = writeTone(temp.folder().getChildFile("B").getChildFile("one.wav"));
    const auto lower = writeTone(temp.folder().getChildFile("a").getChildFile("two.wav"));
    const auto chosen = temp.file("chosen");

    struct Case
    {
        const char* lufs;
        const char* peak;
        bool chooseThenDelete;
        double expectedLufs;
        double expectedPeak;
    };
    const Case cases[] = {
        { "-40", "-5", false, -40.0, -5.0 },
        { " -10.0 LUFS ", "0.0 dBTP", true, -10.0, 0.0 },
    };
    for (const auto& c : cases)
    {
        Screen s;
        auto& m = s.screen;
        s.list(pathsOf({ lower, upper }));
        if (c.chooseThenDelete)
        {
            ASSERT_TRUE(chosen.createDirectory());
            m.directoryCompleted(chosen);
            ASSERT_TRUE(chosen.deleteRecursively());
        }
        s.setCustom(c.lufs, c.peak);
        m.buttonEBU.setToggleState(false, juce::dontSendNotification);

        m.exportClicked();
        ASSERT_NE(m.converter, nullptr);
        ASSERT_EQ(m.converter->tasks.size(), 2u);
        // "/x/B/" sorts before "/x/a/": capitals come first in byte order.
        const auto folder = temp.folder().getChildFile("B").getChildFile("Tarnvale");
        EXPECT_EQ(m.converter->tasks[0].outputFile, folder.getChildFile("one-Custom.wav"));
        EXPECT_EQ(m.converter->tasks[1].outputFile, folder.getChildFile("two-Custom.wav"));
        EXPECT_EQ(m.converter->tasks[0].targetLUFS, c.expectedLufs);
        EXPECT_EQ(m.converter->tasks[0].targetTruePeak, c.expectedPeak);
        EXPECT_EQ(m.converter->tasks[0].targetName, "Custom");
        if (c.chooseThenDelete)
        {
            EXPECT_EQ(m.directoryButton.getButtonText(), "DIRECTORY: /chosen");
        }
        s.waitForExport();
        EXPECT_EQ(s.status(), "LUFS NORMALIZATION COMPLETE !");
        folder.deleteRecursively();
    }
}

TEST(MainScreenTeardown, StopsARunningExportAndMeasurementWithoutLeavingPartialFiles)
{
    testwav::TempFolder temp;
    const auto longInput = writeTone(temp.file("long.wav"), 240.0, -30.0);
    const auto measuredLater = writeTone(temp.file("later.wav"), 240.0, -30.0);
    const auto out = temp.folder().getChildFile("Tarnvale");

    auto m = std::make_unique<MainComponent>();
    m->setVisible(true);
    m->dropTarget.droppedFiles.add(longInput.getFullPathName());
    ASSERT_TRUE(testgui::pumpUntil([&] { return m->isrcList.files.size() == 1; }));
    for (auto* toggle : m->targetButtons())
        toggle->setToggleState(toggle != &m->buttonCustom, juce::dontSendNotification);
    m->exportClicked();
    ASSERT_NE(m->converter, nullptr);
    m->dropTarget.droppedFiles.add(measuredLater.getFullPathName());
    ASSERT_TRUE(testgui::pumpUntil([&] { return m->analysisComponent.analysisThread.isThreadRunning(); }));
    ASSERT_TRUE(m->converter->isThreadRunning());

    const auto start = std::chrono::steady_clock::now();
    m.reset();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 4.5);

    // Whatever was written before the stop is whole; the file in progress is gone.
    const auto input = testwav::read(longInput);
    for (const auto& f : out.findChildFiles(juce::File::findFiles, false))
    {
        SCOPED_TRACE(f.getFileName().toStdString());
        const auto written = testwav::read(f);
        ASSERT_TRUE(written.ok);
        EXPECT_EQ(written.audio.getNumSamples(), input.audio.getNumSamples());
    }
}

// Every target row, from its toggle's caption and status text to the task
// EXPORT makes of it. An empty file comes first: silence, whose copies are
// written like any other, so the file after it is exported too.
TEST(MainScreenTargets, EveryRowReachesItsCaptionStatusTextAndExportTask)
{
    const struct
    {
        juce::TextButton MainComponent::*toggle;
        const char* caption;
        const char* status;
        const char* suffix;
        const char* name;
        double lufs;
        double truePeak;
    } rows[] = {
        { &MainComponent::buttonNetflix, "Netflix\n-27 LUFS -2 dBTP", "Netflix: -27 LUFS, -2 dBTP", "-Netflix.wav", "Netflix", -27, -2 },
        { &MainComponent::buttonARIB, "ARIB TR-B32\n-24 LUFS -2 dBTP", "ARIB TR-B32: -24 LUFS, -2 dBTP", "-ARIB_TR-B32.wav", "ARIB TR-B32", -24, -2 },
        { &MainComponent::buttonOP59, "OP-59\n-24 LUFS -2 dBTP", "OP-59: -24 LUFS, -2 dBTP", "-OP-59.wav", "OP-59", -24, -2 },
        { &MainComponent::buttonTASA, "TASA\n-24 LUFS -2 dBTP", "TASA: -24 LUFS, -2 dBTP", "-TASA.wav", "TASA", -24, -2 },
        { &MainComponent::buttonATSC, "ATSC A/85\n-24 LUFS -2 dBTP", "ATSC A/85: -24 LUFS, -2 dBTP", "-ATSC_A85.wav", "ATSC A/85", -24, -2 },
        { &MainComponent::buttonEBU, "EBU R128\n-23 LUFS -1 dBTP", "EBU R128: -23 LUFS, -1 dBTP", "-EBU_R128.wav", "EBU R128", -23, -1 },
        { &MainComponent::buttonFranceTV, "France TV\n-23 LUFS -3 dBTP", "France TV: -23 LUFS, -3 dBTP", "-FranceTV.wav", "France TV", -23, -3 },
        { &MainComponent::buttonAGCOM, "AGCOM 219\n-23 LUFS -1 dBTP", "AGCOM 219: -23 LUFS, -1 dBTP", "-AGCOM_219.wav", "AGCOM 219", -23, -1 },
        { &MainComponent::buttonPodcast, "Podcast\n-16 LUFS -1 dBTP", "Podcast: -16 LUFS, -1 dBTP", "-Podcast.wav", "Podcast", -16, -1 },
        { &MainComponent::buttonStreaming, "Streaming\n-14 LUFS -1 dBTP", "Streaming: -14 LUFS, -1 dBTP", "-Streaming.wav", "Streaming", -14, -1 },
        { &MainComponent::buttonCustom, "Custom LUFS", "CUSTOM: -18.5 LUFS, -0.5 dBTP", "-Custom.wav", "Custom", -18.5, -0.5 },
    };

    testwav::TempFolder temp;
    const auto empty = temp.file("a empty.wav");
    ASSERT_TRUE(testwav::write(empty, juce::AudioBuffer<float>(2, 0), 48000.0, 24));
    const auto tone = writeTone(temp.file("b tone.wav"), 0.5);
    Screen s;
    auto& m = s.screen;
    s.list(pathsOf({ tone, empty }));
    ASSERT_TRUE(testgui::pumpUntil([&] { return s.measured(empty) && s.measured(tone); }));
    m.customLufsEditor.setText("-18.5 LUFS");
    m.customPeakEditor.setText("-0.5 dBTP");

    // Each click shows the row's values, turning it on or off; none unticks another.
    for (size_t i = 0; i < std::size(rows); ++i)
    {
        const auto& row = rows[i];
        SCOPED_TRACE(row.name);
        EXPECT_EQ(m.targetLabels[i].getText(), row.caption);
        auto& toggle = m.*row.toggle;
        const bool wasOn = toggle.getToggleState();
        for (bool expectedOn : { !wasOn, wasOn, true })
        {
            if (toggle.getToggleState() == expectedOn)
                continue;
            m.infoLabel.setText({}, juce::dontSendNotification);
            toggle.triggerClick();
            ASSERT_TRUE(testgui::pumpUntil([&] { return toggle.getToggleState() == expectedOn; }, 2000));
            EXPECT_EQ(s.status(), row.status);
        }
    }

    m.exportButton.triggerClick();
    ASSERT_TRUE(testgui::pumpUntil([&] { return m.converter != nullptr; }));
    const auto& tasks = m.converter->tasks;
    ASSERT_EQ(tasks.size(), 2 * std::size(rows));
    const auto out = temp.folder().getChildFile("Tarnvale");
    for (size_t i = 0; i < tasks.size(); ++i)
    {
        const auto& row = rows[i % std::size(rows)];
        const auto& input = i < std::size(rows) ? empty : tone;
        SCOPED_TRACE(juce::String(row.name) + " " + input.getFileName());
        EXPECT_EQ(tasks[i].inputFile, input);
        EXPECT_EQ(tasks[i].outputFile, out.getChildFile(input.getFileNameWithoutExtension() + row.suffix));
        EXPECT_EQ(tasks[i].targetName, row.name);
        EXPECT_EQ(tasks[i].targetLUFS, row.lufs);
        EXPECT_EQ(tasks[i].targetTruePeak, row.truePeak);
    }
    EXPECT_EQ(tasks[0].preAnalyzedLUFS, -std::numeric_limits<float>::infinity());
    EXPECT_EQ(tasks[0].preAnalyzedTruePeak, -100.0f);

    s.waitForExport();
    EXPECT_EQ(s.status(), "LUFS NORMALIZATION COMPLETE !");
    for (const auto& task : tasks)
    {
        const auto written = testwav::read(task.outputFile);
        ASSERT_TRUE(written.ok) << task.outputFile.getFullPathName();
        EXPECT_EQ(written.audio.getNumSamples() == 0, task.inputFile == empty);
    }
}

TEST(MainScreenTargets, CustomEditorsTakeOnlyNumbersAndCleanThemUpWhenLeft)
{
    Screen s;
    auto& m = s.screen;
    struct Case
    {
        juce::TextEditor& editor;
        const char* typed;
        const char* shown;
    };
    const Case cases[] = {
        { m.customLufsEditor, "23", "-23.0 LUFS" },  { m.customLufsEditor, "-23", "-23.0 LUFS" },
        { m.customLufsEditor, "5", "-10.0 LUFS" },   { m.customLufsEditor, "55", "-40.0 LUFS" },
        { m.customLufsEditor, ".", "-10.0 LUFS" },   { m.customLufsEditor, "-18.0 LUFS", "-18.0 LUFS" },
        { m.customLufsEditor, "", "" },              { m.customLufsEditor, "LUFS", "LUFS" },
        { m.customPeakEditor, "3", "-3.0 dBTP" },    { m.customPeakEditor, "-3", "-3.0 dBTP" },
        { m.customPeakEditor, "7", "-5.0 dBTP" },    { m.customPeakEditor, "0", "0.0 dBTP" },
        { m.customPeakEditor, ".", "0.0 dBTP" },     { m.customPeakEditor, "-1.5 dBTP", "-1.5 dBTP" },
        { m.customPeakEditor, "", "" },              { m.customPeakEditor, "dBTP", "dBTP" },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.typed);
        c.editor.setText(c.typed);
        c.editor.onFocusLost();
        EXPECT_EQ(c.editor.getText(), c.shown);
    }

    // Typing goes through the input rules: letters and spaces never arrive.
    m.customLufsEditor.setText({});
    m.customLufsEditor.insertTextAtCaret("a-1 x8.5q");
    EXPECT_EQ(m.customLufsEditor.getText(), "-18.5");

    // Return leaves the editor, and leaving it cleans the text.
    m.addToDesktop(0);
    m.customLufsEditor.setText({});
    m.customLufsEditor.grabKeyboardFocus();
    ASSERT_TRUE(testgui::pumpUntil([&] { return m.customLufsEditor.hasKeyboardFocus(false); }, 3000));
    // setText tells the editor's value asynchronously; let that pass before typing,
    // as it would between a user's actions.
    testgui::pumpFor(50);
    for (auto key : { '2', '0' })
        m.customLufsEditor.keyPressed(juce::KeyPress(key, 0, static_cast<juce::juce_wchar>(key)));
    m.customLufsEditor.keyPressed(juce::KeyPress(juce::KeyPress::returnKey));
    EXPECT_TRUE(testgui::pumpUntil([&] { return !m.customLufsEditor.hasKeyboardFocus(false); }, 3000));
    EXPECT_EQ(m.customLufsEditor.getText(), "-20.0 LUFS");

    // The export reads the cleaned texts back.
    testwav::TempFolder temp;
    s.list(pathsOf({ writeTone(temp.file("one.wav")) }));
    m.customPeakEditor.setText("1.5");
    m.customPeakEditor.onFocusLost();
    m.buttonEBU.setToggleState(false, juce::dontSendNotification);
    m.buttonCustom.setToggleState(true, juce::dontSendNotification);
    m.exportClicked();
    ASSERT_NE(m.converter, nullptr);
    ASSERT_EQ(m.converter->tasks.size(), 1u);
    EXPECT_EQ(m.converter->tasks[0].targetLUFS, -20.0);
    EXPECT_FLOAT_EQ(static_cast<float>(m.converter->tasks[0].targetTruePeak), -1.5f);
    s.waitForExport();
}

TEST(MainScreenCommands, DialogsListChosenFilesAndSwitchDropsOffUntilTheyClose)
{
    testwav::TempFolder temp;
    const auto first = writeTone(temp.file("first.wav"));
    const auto second = writeTone(temp.file("second.wav"));
    const auto listed = writeTone(temp.file("listed.wav"));
    Screen s;
    auto& m = s.screen;
    s.list(pathsOf({ listed }));

    m.openClicked();
    EXPECT_FALSE(m.dropTarget.acceptsFiles);
    m.fileChooser.reset(); // closes JUCE's own dialog box without a result
    m.openCompleted({});
    EXPECT_TRUE(m.dropTarget.acceptsFiles);
    EXPECT_TRUE(m.dropTarget.droppedFiles.isEmpty());

    m.openCompleted({ second, listed, first });
    EXPECT_EQ(m.dropTarget.droppedFiles, pathsOf({ second, listed, first }));
    m.timerCallback();
    const std::vector<std::string> rows { listed.getFullPathName().toStdString(), second.getFullPathName().toStdString(),
                                          first.getFullPathName().toStdString() };
    EXPECT_EQ(m.isrcList.files, rows);
    EXPECT_EQ(s.status(), "3 WAV file(s)");

    // The folder dialog: a folder is taken, a cancel or a file forgets the choice.
    m.directoryClicked();
    EXPECT_FALSE(m.dropTarget.acceptsFiles);
    m.fileChooser.reset();
    const auto mixes = temp.file("Mixes");
    ASSERT_TRUE(mixes.createDirectory());
    const std::pair<juce::File, const char*> results[] = {
        { mixes, "DIRECTORY: /Mixes" }, { juce::File(), "DIRECTORY: /Tarnvale" },
        { mixes, "DIRECTORY: /Mixes" }, { first, "DIRECTORY: /Tarnvale" },
    };
    for (const auto& [result, text] : results)
    {
        m.dropTarget.acceptsFiles = false;
        m.directoryCompleted(result);
        EXPECT_EQ(m.directoryButton.getButtonText(), text);
        EXPECT_EQ(m.exportDirectory, result == mixes ? mixes : juce::File());
        EXPECT_TRUE(m.dropTarget.acceptsFiles);
    }
}

TEST(MainScreenCommands, AnalyzeShowsTheListAndClearEmptiesEverythingEvenWhileMeasuring)
{
    testwav::TempFolder temp;
    Screen s;
    auto& m = s.screen;
    m.analyzeClicked();
    EXPECT_EQ(s.status(), "No files to analyze");
    EXPECT_FALSE(m.analysisComponent.isVisible());
    EXPECT_TRUE(m.dropTarget.acceptsFiles);

    const auto longFile = writeTone(temp.file("long.wav"), 600.0, -30.0);
    s.list(pathsOf({ longFile, writeTone(temp.file("short.wav")) }));
    m.analyzeClicked();
    EXPECT_TRUE(m.analysisComponent.isVisible());
    EXPECT_EQ(m.analysisComponent.getBounds(), m.getLocalBounds());
    EXPECT_FALSE(m.dropTarget.acceptsFiles);
    m.analysisComponent.closeButton->triggerClick();
    ASSERT_TRUE(testgui::pumpUntil([&] { return !m.analysisComponent.isVisible(); }));
    EXPECT_TRUE(m.dropTarget.acceptsFiles);

    // Clear while the long file is being measured, with an error on the status line.
    ASSERT_TRUE(m.analysisComponent.analysisThread.isThreadRunning());
    m.infoLabel.setText("Error: failed for Podcast / long.wav", juce::dontSendNotification);
    m.dropTarget.droppedFiles.add(temp.file("waiting.wav").getFullPathName());
    m.pendingFiles.add("pending.wav");
    m.clearClicked();
    EXPECT_FALSE(m.analysisComponent.analysisThread.isThreadRunning());
    EXPECT_EQ(s.status(), "DRAG & DROP WAV files !");
    EXPECT_TRUE(m.dropTarget.droppedFiles.isEmpty());
    EXPECT_TRUE(m.pendingFiles.isEmpty());
    testgui::pumpFor(500); // late results must not bring rows back
    EXPECT_TRUE(m.isrcList.files.empty());
    EXPECT_TRUE(m.analysisComponent.files.empty());
    EXPECT_TRUE(m.analysisComponent.lufsByFile.empty());
    EXPECT_TRUE(m.buttonEBU.getToggleState());
}
