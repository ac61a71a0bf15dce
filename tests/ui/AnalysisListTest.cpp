#include "GuiTestSupport.h"
#include "common/Signals.h"
#include "common/WavFiles.h"
#include "ui/AudioAnalysisComponent.h"
#include "ui/DragAndDropDemoTarget.h"
#include "ui/Palette.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace
{
constexpr float noResult = -999.0f;

// A ".wav" file that holds the worker just before it opens it, until
// release(). The file is not audio, so the worker then reports it as
// unreadable, and any later attempt goes straight through. This pins the
// worker in a known place without depending on how fast it measures.
class HeldFile
{
public:
    explicit HeldFile(const juce::File& f) : file(f) { file.replaceWithText("not audio at all"); }

    // A gate left closed would hold the worker until its wait runs out.
    ~HeldFile() { gate->released.signal(); }

    std::string path() const { return file.getFullPathName().toStdString(); }

    // Installs the hold on the worker; call it while the worker is stopped.
    void holdIn(AudioAnalysisThread& worker) const
    {
        worker.beforeOpening = [gate = gate, held = path()](const std::string& opening) {
            if (opening != held)
                return;
            gate->reached.signal();
            gate->released.wait(10000);
        };
    }

    // Lets the worker through, waiting for it to reach the file first.
    void release()
    {
        if (!gate->reached.wait(10000))
            ADD_FAILURE() << "the worker never reached " << path();
        gate->released.signal();
    }

private:
    struct Gate
    {
        juce::WaitableEvent reached { true };
        juce::WaitableEvent released { true };
    };

    juce::File file;
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();
};

class AnalysisListTest : public ::testing::Test
{
protected:
    // A stereo 1 kHz sine at the given peak level.
    std::string writeSine(const juce::String& name, double peakDb, double seconds = 3.0)
    {
        const auto file = temp.file(name);
        EXPECT_TRUE(testwav::write(file, testsig::sine(2, 48000.0, 1000.0, peakDb, seconds), 48000.0, 24));
        return file.getFullPathName().toStdString();
    }

    std::string writeNotAudio(const juce::String& name)
    {
        const auto file = temp.file(name);
        file.replaceWithText("not audio at all");
        return file.getFullPathName().toStdString();
    }

    static void add(AudioAnalysisComponent& panel, std::initializer_list<std::string> paths)
    {
        juce::StringArray array;
        for (const auto& p : paths)
            array.add(juce::String(p));
        panel.addList(array);
    }

    static bool hasResult(AudioAnalysisComponent& panel, const std::string& path)
    {
        return panel.lufsByFile.count(path) != 0 && panel.lufsByFile.at(path) != noResult;
    }

    // Waits until the worker has ended and every result it posted has arrived.
    // The panel's timer may unmark a file whose result is still on its way, so
    // the wait ends with a posted marker: the message queue is first in, first
    // out, and the results were posted before the worker ended.
    static bool settle(AudioAnalysisComponent& panel)
    {
        const bool idle = testgui::pumpUntil([&] {
            if (panel.analysisThread.isThreadRunning())
                return false;
            for (const auto& entry : panel.analyzingByFile)
                if (entry.second)
                    return false;
            return true;
        });
        auto flushed = std::make_shared<bool>(false);
        juce::MessageManager::callAsync([flushed] { *flushed = true; });
        return testgui::pumpUntil([&] { return *flushed; }) && idle;
    }

    // Waits until the worker has taken all but `left` of the queued tasks.
    static bool waitForQueueLength(AudioAnalysisComponent& panel, size_t left)
    {
        return testgui::pumpUntil([&] {
            const juce::ScopedLock lock(panel.analysisThread.queueLock);
            return panel.analysisThread.taskQueue.size() == left;
        });
    }

    static juce::Colour background(juce::Label* label) { return label->findColour(juce::Label::backgroundColourId); }

    testwav::TempFolder temp;
};
} // namespace

TEST_F(AnalysisListTest, MeasuresFilesAndShowsTwoDecimals)
{
    AudioAnalysisComponent panel;
    const auto quiet = writeSine("quiet.wav", -18.0);
    const auto loud = writeSine("loud.wav", -0.5);
    add(panel, { quiet, loud });

    EXPECT_EQ(panel.lufsLabels[0]->getText(), "Analyzing");
    EXPECT_EQ(panel.truePeakLabels[0]->getText(), ".");
    ASSERT_TRUE(settle(panel));

    EXPECT_NEAR(panel.lufsByFile[quiet], -18.0f, 0.1f);
    EXPECT_NEAR(panel.truePeakByFile[quiet], -18.0f, 0.1f);
    EXPECT_EQ(panel.lufsLabels[0]->getText(), juce::String(panel.lufsByFile[quiet], 2) + " LUFS");
    EXPECT_EQ(panel.truePeakLabels[0]->getText(), juce::String(panel.truePeakByFile[quiet], 2) + " dBTP");
    EXPECT_TRUE(panel.lufsLabels[0]->getText().matchesWildcard("-*.?? LUFS", false));
    EXPECT_EQ(background(panel.lufsLabels[0]), juce::Colour(0xFF326432));
    EXPECT_EQ(background(panel.truePeakLabels[0]), juce::Colour(0xFF325032));

    EXPECT_NEAR(panel.lufsByFile[loud], -0.5f, 0.1f);
    EXPECT_EQ(background(panel.lufsLabels[1]), juce::Colour(0xFF783232));
    EXPECT_EQ(background(panel.truePeakLabels[1]), juce::Colour(0xFF783232));
}

TEST_F(AnalysisListTest, ColoursFollowTheThresholdsAtTheirEdges)
{
    AudioAnalysisComponent panel;
    const std::string path = "/nowhere/row.wav";
    add(panel, { path });
    ASSERT_TRUE(settle(panel));

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();

    struct Case
    {
        float value;
        juce::uint32 argb;
    };
    const Case loudness[] = { { -inf, 0xFF646478 }, { -30.01f, 0xFF646478 }, { -30.0f, 0xFF325032 },
                              { -23.0f, 0xFF325032 }, { -20.0f, 0xFF326432 }, { -18.0f, 0xFF326432 },
                              { -16.0f, 0xFF646432 }, { -14.0f, 0xFF646432 }, { -12.0f, 0xFF785032 },
                              { -6.01f, 0xFF785032 }, { -6.0f, 0xFF783232 },  { 3.0f, 0xFF783232 },
                              { nan, 0xFF783232 } };
    for (const auto& c : loudness)
    {
        panel.updateAnalysisResult(path, 0, c.value, -10.0f);
        EXPECT_EQ(background(panel.lufsLabels[0]).getARGB(), c.argb) << "loudness " << c.value;
    }

    const Case truePeak[] = { { -inf, 0xFF325032 },  { -100.0f, 0xFF325032 }, { -6.0f, 0xFF505032 },
                              { -3.01f, 0xFF505032 }, { -3.0f, 0xFF644632 },   { -1.01f, 0xFF644632 },
                              { -1.0f, 0xFF783232 },  { 0.5f, 0xFF783232 },    { nan, 0xFF783232 } };
    for (const auto& c : truePeak)
    {
        panel.updateAnalysisResult(path, 0, -23.0f, c.value);
        EXPECT_EQ(background(panel.truePeakLabels[0]).getARGB(), c.argb) << "true peak " << c.value;
    }

    panel.updateAnalysisResult(path, 0, -23.0f, -1.0f);
    EXPECT_EQ(panel.lufsLabels[0]->getText(), "-23.00 LUFS");
    EXPECT_EQ(panel.truePeakLabels[0]->getText(), "-1.00 dBTP");
    panel.updateAnalysisResult(path, 0, -18.0f, -1.01f);
    EXPECT_EQ(panel.truePeakLabels[0]->getText(), "-1.01 dBTP");

    // An error leaves the colours of the last result in place.
    panel.updateAnalysisResult(path, 0, noResult, noResult);
    EXPECT_EQ(panel.lufsLabels[0]->getText(), "Error");
    EXPECT_EQ(panel.truePeakLabels[0]->getText(), "Error");
    EXPECT_EQ(background(panel.lufsLabels[0]).getARGB(), 0xFF326432u);
    EXPECT_EQ(background(panel.truePeakLabels[0]).getARGB(), 0xFF644632u);
}

TEST_F(AnalysisListTest, UnreadableFileShowsErrorAndIsQueuedAgain)
{
    AudioAnalysisComponent panel;
    const auto broken = writeNotAudio("broken.wav");
    const auto good = writeSine("good.wav", -23.0);
    add(panel, { broken, good });
    ASSERT_TRUE(settle(panel));

    EXPECT_EQ(panel.lufsLabels[0]->getText(), "Error");
    EXPECT_EQ(panel.truePeakLabels[0]->getText(), "Error");
    EXPECT_EQ(background(panel.lufsLabels[0]), greyDownKavri);
    EXPECT_EQ(panel.lufsByFile[broken], noResult);
    EXPECT_EQ(panel.truePeakByFile[broken], noResult);
    ASSERT_TRUE(hasResult(panel, good));
    const float measured = panel.lufsByFile[good];

    panel.startBackgroundAnalysis();
    EXPECT_TRUE(panel.analyzingByFile[broken]);
    EXPECT_FALSE(panel.analyzingByFile[good]);
    EXPECT_EQ(panel.lufsLabels[0]->getText(), "Analyzing");
    ASSERT_TRUE(settle(panel));
    EXPECT_EQ(panel.lufsLabels[0]->getText(), "Error");
    EXPECT_EQ(panel.lufsByFile[good], measured);
}

TEST_F(AnalysisListTest, ResultForARemovedFileChangesNothing)
{
    AudioAnalysisComponent panel;
    HeldFile held(temp.file("held.wav"));
    const auto kept = writeSine("kept.wav", -23.0);
    held.holdIn(panel.analysisThread);
    add(panel, { held.path(), kept });

    // The worker is inside the held file's measurement when its row goes.
    panel.removeButtons[0]->triggerClick();
    ASSERT_TRUE(testgui::pumpUntil([&] { return panel.files.size() == 1; }));
    held.release();
    ASSERT_TRUE(settle(panel));

    EXPECT_EQ(panel.lufsByFile.count(held.path()), 0u);
    EXPECT_EQ(panel.analyzingByFile.count(held.path()), 0u);
    EXPECT_TRUE(hasResult(panel, kept));

    // Driven directly, a late result for the removed path does nothing either.
    const auto keptText = panel.lufsLabels[0]->getText();
    panel.updateAnalysisResult(held.path(), 0, -10.0f, -1.0f);
    EXPECT_EQ(panel.lufsByFile.size(), 1u);
    EXPECT_EQ(panel.truePeakByFile.size(), 1u);
    EXPECT_EQ(panel.lufsLabels[0]->getText(), keptText);
}

// Nothing to assert: a result delivered to a destroyed panel would be a
// use-after-free, which this catches under a sanitizer or as a crash.
TEST_F(AnalysisListTest, ResultArrivingAfterThePanelIsGoneIsDropped)
{
    HeldFile held(temp.file("held.wav"));
    auto panel = std::make_unique<AudioAnalysisComponent>();
    held.holdIn(panel->analysisThread);
    add(*panel, { held.path() });

    // The worker posts its one result and ends before the panel is destroyed;
    // the posted call runs afterwards.
    held.release();
    ASSERT_TRUE(panel->analysisThread.waitForThreadToExit(10000));
    panel.reset();
    testgui::pumpFor(100);

    // Destroyed in the middle of a measurement: the worker is stopped first.
    panel = std::make_unique<AudioAnalysisComponent>();
    add(*panel, { writeSine("long.wav", -20.0, 60.0) });
    panel.reset();
    testgui::pumpFor(100);
}

TEST_F(AnalysisListTest, DotsGrowEverySixTicksAndWrapAfterEight)
{
    AudioAnalysisComponent panel;
    panel.stopTimer();
    ASSERT_EQ(panel.animationCounter, 0);

    HeldFile held(temp.file("held.wav"));
    held.holdIn(panel.analysisThread);
    add(panel, { held.path() });

    for (int tick = 1; tick <= 49; ++tick)
    {
        panel.timerCallback();
        const int expectedDots = tick >= 48 ? 1 : tick / 6 + 1;
        EXPECT_EQ(panel.lufsLabels[0]->getText(), "Analyzing") << "tick " << tick;
        EXPECT_EQ(panel.truePeakLabels[0]->getText(), juce::String::repeatedString(".", expectedDots))
            << "tick " << tick;
    }

    held.release();
    ASSERT_TRUE(settle(panel));
}

TEST_F(AnalysisListTest, CloseButtonHidesAndLetsTheFirstDropZoneAcceptAgain)
{
    juce::Component screen;
    juce::Component other;
    DragAndDropDemoTarget first;
    DragAndDropDemoTarget second;
    AudioAnalysisComponent panel;
    for (auto* child : std::initializer_list<juce::Component*> { &other, &first, &second, &panel })
        screen.addAndMakeVisible(child);
    first.acceptsFiles = false;
    second.acceptsFiles = false;

    panel.closeButton->triggerClick();
    ASSERT_TRUE(testgui::pumpUntil([&] { return !panel.isVisible(); }));
    EXPECT_TRUE(first.acceptsFiles);
    EXPECT_FALSE(second.acceptsFiles);

    // Without a parent it only hides.
    AudioAnalysisComponent alone;
    alone.closeButton->triggerClick();
    ASSERT_TRUE(testgui::pumpUntil([&] { return !alone.isVisible(); }));
}

TEST_F(AnalysisListTest, FilesAddedAgainAfterClearingAreMeasuredAgain)
{
    AudioAnalysisComponent panel;
    const auto a = writeSine("a.wav", -23.0);
    const auto b = writeSine("b.wav", -16.0);
    add(panel, { a, b });
    ASSERT_TRUE(settle(panel));
    const float first = panel.lufsByFile[a];

    panel.clearList();
    EXPECT_TRUE(panel.lufsByFile.empty());
    EXPECT_FALSE(panel.analysisThread.hasQueuedTasks());

    add(panel, { b, a });
    EXPECT_FALSE(hasResult(panel, a));
    ASSERT_TRUE(settle(panel));
    EXPECT_EQ(panel.lufsByFile[a], first);
    EXPECT_TRUE(hasResult(panel, b));
    EXPECT_EQ(panel.fileNameLabels[0]->getText(), "b.wav");
}

// A stop leaves the file in progress unreported and its queue to be dropped.
// Those files must not stay marked: the timer shows them as pending and the
// next start queues them again.
TEST_F(AnalysisListTest, InterruptedFilesArePendingAndQueuedAgain)
{
    AudioAnalysisComponent panel;
    panel.stopTimer();
    HeldFile held(temp.file("held.wav"));
    const auto b = writeSine("b.wav", -23.0);
    const auto c = writeSine("c.wav", -14.0);
    held.holdIn(panel.analysisThread);
    add(panel, { held.path(), b, c });
    ASSERT_TRUE(waitForQueueLength(panel, 2));

    panel.analysisThread.signalThreadShouldExit();
    held.release();
    ASSERT_TRUE(panel.analysisThread.waitForThreadToExit(10000));
    ASSERT_TRUE(panel.analysisThread.hasQueuedTasks());

    // The held file's result is still on its way; b and c will never get one.
    for (int tick = 0; tick < 8; ++tick)
        panel.timerCallback();
    EXPECT_FALSE(panel.analysisThread.hasQueuedTasks());
    for (int row = 1; row <= 2; ++row)
    {
        EXPECT_FALSE(panel.analyzingByFile[panel.files[static_cast<size_t>(row)]]);
        EXPECT_EQ(panel.lufsLabels[row]->getText(), "Pending...");
        EXPECT_EQ(panel.truePeakLabels[row]->getText(), "Pending...");
    }

    ASSERT_TRUE(testgui::pumpUntil([&] { return panel.lufsLabels[0]->getText() == "Error"; }));

    panel.startBackgroundAnalysis();
    EXPECT_EQ(panel.lufsLabels[1]->getText(), "Analyzing");
    ASSERT_TRUE(settle(panel));
    EXPECT_TRUE(hasResult(panel, b));
    EXPECT_TRUE(hasResult(panel, c));
    EXPECT_EQ(panel.lufsLabels[0]->getText(), "Error");
}

TEST_F(AnalysisListTest, StartAfterAStopQueuesUnfinishedFilesEvenWithAResultInFlight)
{
    AudioAnalysisComponent panel;
    panel.stopTimer();
    HeldFile held(temp.file("held.wav"));
    const auto b = writeSine("b.wav", -23.0);
    held.holdIn(panel.analysisThread);
    add(panel, { held.path(), b });
    ASSERT_TRUE(waitForQueueLength(panel, 1));

    panel.analysisThread.signalThreadShouldExit();
    held.release();
    ASSERT_TRUE(panel.analysisThread.waitForThreadToExit(10000));

    // Straight from the stop: the held file's result has not arrived yet, so
    // it is queued once more along with b; both end with a result and unmarked.
    panel.startBackgroundAnalysis();
    EXPECT_TRUE(panel.analyzingByFile[b]);
    ASSERT_TRUE(settle(panel));
    EXPECT_TRUE(hasResult(panel, b));
    EXPECT_EQ(panel.lufsLabels[0]->getText(), "Error");
    EXPECT_FALSE(panel.analysisThread.hasQueuedTasks());
}

// The worker ends when it finds its queue empty, but counts as running for a
// moment afterwards: files queued then are not started by their own start.
TEST_F(AnalysisListTest, FilesQueuedAsTheWorkerEndedByItselfAreStillMeasured)
{
    AudioAnalysisComponent panel;
    panel.stopTimer();
    const auto b = writeSine("b.wav", -23.0);
    add(panel, { b });
    ASSERT_TRUE(settle(panel));
    ASSERT_FALSE(panel.analysisThread.isThreadRunning());

    // The state such a start leaves: marked, queued, no worker started.
    panel.lufsByFile[b] = -999.0f;
    panel.truePeakByFile[b] = -999.0f;
    panel.analyzingByFile[b] = true;
    panel.analysisThread.addTask({ b, 0 });

    panel.timerCallback();
    ASSERT_TRUE(settle(panel));
    EXPECT_TRUE(hasResult(panel, b));
    EXPECT_FALSE(panel.analyzingByFile[b]);
    EXPECT_NEAR(panel.lufsByFile[b], -23.0f, 0.1f);
}

TEST_F(AnalysisListTest, SnapshotOfMeasuredErrorAndPendingRows)
{
    AudioAnalysisComponent panel;
    panel.stopTimer();
    panel.setSize(860, 587);
    HeldFile held(temp.file("unreadable take.wav"));
    const auto measured = writeSine("Interview take 3.wav", -18.0);
    const auto pending = writeSine("jingle.wav", -12.0);
    held.holdIn(panel.analysisThread);
    add(panel, { measured, held.path(), pending });

    ASSERT_TRUE(testgui::pumpUntil([&] { return hasResult(panel, measured); }));
    ASSERT_TRUE(waitForQueueLength(panel, 1));
    panel.analysisThread.signalThreadShouldExit();
    held.release();
    ASSERT_TRUE(panel.analysisThread.waitForThreadToExit(10000));
    panel.timerCallback();
    ASSERT_TRUE(testgui::pumpUntil([&] { return panel.lufsLabels[1]->getText() == "Error"; }));
    ASSERT_EQ(panel.lufsLabels[2]->getText(), "Pending...");

    const auto image = panel.createComponentSnapshot(panel.getLocalBounds());
    EXPECT_TRUE(testgui::saveSnapshot(image, "analysis-list-three-rows").existsAsFile());

    const auto cellCentre = [&](juce::Label* cell) {
        return panel.getLocalPoint(cell->getParentComponent(), cell->getBounds().getCentre().withX(cell->getX() + 2));
    };
    EXPECT_EQ(testgui::colourAt(image, cellCentre(panel.lufsLabels[0])), juce::Colour(0xFF326432));
}
