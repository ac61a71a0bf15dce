// The whole program as a person meets it, on a real X display: its window,
// its message loop and its threads, driven only by X events sent from outside
// the process (xdotool for the pointer and keys, a scripted drag-and-drop
// source, a window-manager close request). The screen's state is read from
// the component tree only to know when to go on.

#include "app/TarnvaleApplication.h"
#include "common/Signals.h"
#include "common/WavFiles.h"
#include "measure/CheckedReader.h"
#include "ui/MainComponent.h"

#include "GuiTestSupport.h"
#include "XDisplay.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace
{
constexpr int patience = 60000; // ms: generous, this machine is shared

struct ToolRun
{
    bool ended = false;
    int exitCode = -1;
    juce::String output;
};

// Runs a helper program to its end. The message loop keeps turning meanwhile:
// the program under test must answer the helper (a drop waits for its reply).
ToolRun runTool(const juce::StringArray& command)
{
    ToolRun run;
    juce::ChildProcess child;
    if (!child.start(command, juce::ChildProcess::wantStdOut | juce::ChildProcess::wantStdErr))
    {
        run.output = "cannot start " + command[0];
        return run;
    }
    run.ended = testgui::pumpUntil([&] { return !child.isRunning(); }, patience);
    if (!run.ended)
        child.kill();
    run.output = child.readAllProcessOutput();
    run.exitCode = static_cast<int>(child.getExitCode());
    return run;
}

juce::String tool(const juce::StringArray& command)
{
    const auto run = runTool(command);
    EXPECT_TRUE(run.ended && run.exitCode == 0) << command.joinIntoString(" ") << ": " << run.output;
    return run.output.trim();
}

juce::String str(int value)
{
    return juce::String(value);
}

// --- What a person does, as X events -------------------------------------

void click(juce::Point<int> at)
{
    tool({ "xdotool", "mousemove", str(at.x), str(at.y), "click", "1" });
}

void typeAndReturn(const juce::String& text)
{
    tool({ "xdotool", "type", "--delay", "40", "--", text });
    tool({ "xdotool", "key", "Return" });
}

// Leaves the pointer in a corner when a test ends, however it ends: the
// display and its pointer outlive this test and serve the ones after it.
struct PointerParkedAfterwards
{
    ~PointerParkedAfterwards()
    {
        juce::ChildProcess park;
        if (park.start(juce::StringArray { "xdotool", "mousemove", "0", "0" }, 0))
            park.waitForProcessToFinish(patience);
    }
};

void dropFiles(const juce::String& window, juce::Point<int> at, const juce::StringArray& paths)
{
    juce::StringArray command { "/usr/bin/python3", TARNVALE_XCLIENT, "drop", window, str(at.x), str(at.y) };
    command.addArray(paths);
    tool(command);
}

void requestClose(const juce::String& window)
{
    tool({ "/usr/bin/python3", TARNVALE_XCLIENT, "close", window });
}

// --- What the display shows ------------------------------------------------

// The process's main window, once it is up: the one that tells the display
// its resize limits. (While it is built, JUCE briefly shows a first window of
// the same title that it then replaces.)
juce::String findWindow(int pid)
{
    juce::String found;
    testgui::pumpUntil(
        [&] {
            const auto search = runTool({ "xdotool", "search", "--all", "--onlyvisible", "--pid", str(pid), "--name",
                                          "^Tarnvale$" });
            for (const auto& window : juce::StringArray::fromLines(search.output.trim()))
            {
                const auto hints = runTool({ "xprop", "-id", window, "WM_NORMAL_HINTS" }).output;
                if (hints.contains("minimum size: 688 by 469") && hints.contains("maximum size: 1720 by 1174"))
                    found = window;
            }
            return found.isNotEmpty();
        },
        patience);
    return found;
}

juce::Rectangle<int> windowBounds(const juce::String& window)
{
    juce::StringPairArray values;
    for (const auto& line : juce::StringArray::fromLines(tool({ "xdotool", "getwindowgeometry", "--shell", window })))
        values.set(line.upToFirstOccurrenceOf("=", false, false), line.fromFirstOccurrenceOf("=", false, false));
    return { values["X"].getIntValue(), values["Y"].getIntValue(), values["WIDTH"].getIntValue(),
             values["HEIGHT"].getIntValue() };
}

juce::Rectangle<int> displayBounds()
{
    const auto size = juce::StringArray::fromTokens(tool({ "xdotool", "getdisplaygeometry" }), false);
    return { 0, 0, size[0].getIntValue(), size[1].getIntValue() };
}

void expectCentredAtDesignSize(const juce::Rectangle<int>& window)
{
    const auto screen = displayBounds();
    EXPECT_EQ(window.getWidth(), 860);
    EXPECT_EQ(window.getHeight(), 587);
    EXPECT_NEAR(window.getX(), (screen.getWidth() - window.getWidth()) / 2, 1) << "not centred across";
    EXPECT_NEAR(window.getY(), (screen.getHeight() - window.getHeight()) / 2, 1) << "not centred down";
}

// Pictures for people to look at, next to the program's other screenshots.
juce::File screenshot(const juce::String& name, const juce::StringArray& importArguments)
{
    const juce::File folder(TARNVALE_SCREENSHOT_DIR);
    folder.createDirectory();
    const auto file = folder.getChildFile(name + ".png");
    file.deleteFile();
    juce::StringArray command { "/usr/bin/import" };
    command.addArray(importArguments);
    command.add(file.getFullPathName());
    tool(command);
    EXPECT_GT(file.getSize(), 0) << "no screenshot " << file.getFullPathName();
    std::cout << "screenshot: " << file.getFullPathName() << std::endl;
    return file;
}

juce::String cropOf(juce::Rectangle<int> area)
{
    return str(area.getWidth()) + "x" + str(area.getHeight()) + "+" + str(area.getX()) + "+" + str(area.getY());
}

// --- Files ------------------------------------------------------------------

struct Input
{
    juce::File file;
    double rate;
    int bits;
    juce::AudioBuffer<float> audio; // empty for the file that is no WAV
    std::vector<uint8_t> bytes;

    bool isWav() const { return audio.getNumChannels() > 0; }
};

Input writeInput(const juce::File& file, const juce::AudioBuffer<float>& audio, double rate, int bits)
{
    EXPECT_TRUE(testwav::write(file, audio, rate, bits)) << file.getFullPathName();
    return { file, rate, bits, audio, testwav::bytes(file) };
}

// Two real WAV files of different formats and one impostor. The impostor's
// name sorts last: the engine stops at the first task that fails, so every
// export of the two good files comes before it.
std::vector<Input> writeInputs(const juce::File& folder)
{
    auto tone = testsig::sine(1, 44100.0, 997.0, -18.0, 12.0);
    testsig::fadeEnds(tone, 44100.0, 0.01);

    std::vector<Input> inputs;
    inputs.push_back(writeInput(folder.getChildFile("a programme 48k 24-bit stereo.wav"),
                                testsig::programme(2, 48000.0, 20.0), 48000.0, 24));
    inputs.push_back(writeInput(folder.getChildFile("b tone 44k1 16-bit mono.wav"), tone, 44100.0, 16));

    const auto impostor = folder.getChildFile("c not a wav.wav");
    EXPECT_TRUE(impostor.replaceWithText("These are words, not samples.\n"));
    inputs.push_back({ impostor, 0.0, 0, {}, testwav::bytes(impostor) });
    return inputs;
}

struct Export
{
    bool complete = false;
    double rate = 0.0;
    int channels = 0;
    int bits = 0;
    juce::AudioBuffer<float> audio;
};

// Reads a written file back, noting whether every sample its header promises
// is really there.
Export readExport(const juce::File& file)
{
    juce::AudioFormatManager formats;
    formats.registerBasicFormats();
    CheckedReader reader(formats, file);
    Export result;
    if (!reader || !reader.canDecode() || reader->lengthInSamples > std::numeric_limits<int>::max())
        return result;
    const auto length = static_cast<int>(reader->lengthInSamples);
    result.rate = reader->sampleRate;
    result.channels = static_cast<int>(reader->numChannels);
    result.bits = static_cast<int>(reader->bitsPerSample);
    result.audio.setSize(result.channels, length);
    result.complete = reader.readComplete(result.audio, 0, length, 0);
    return result;
}

struct Target
{
    const char* suffix;
    double lufs;
    double truePeak;
};

void checkExport(const Input& input, const juce::File& output, const Target& target)
{
    SCOPED_TRACE(output.getFullPathName().toStdString());
    const auto result = readExport(output);
    ASSERT_TRUE(result.complete);
    EXPECT_EQ(result.rate, input.rate);
    EXPECT_EQ(result.channels, input.audio.getNumChannels());
    EXPECT_EQ(result.bits, input.bits);
    EXPECT_EQ(result.audio.getNumSamples(), input.audio.getNumSamples());

    const auto reading = testsig::measure(result.audio, result.rate);
    std::cout << output.getFileName() << ": " << reading.lufs << " LUFS, " << reading.truePeak << " dBTP (target "
              << target.lufs << " LUFS, " << target.truePeak << " dBTP)" << std::endl;
    EXPECT_LE(reading.truePeak, target.truePeak + 0.5);
    // The last limiting sits 1 dB under the ceiling; an export that stays
    // quiet with its peaks up there was held back by the ceiling, not missed.
    const bool heldBackByCeiling = reading.lufs < target.lufs - 0.5 && reading.truePeak >= target.truePeak - 2.0;
    if (!heldBackByCeiling)
    {
        EXPECT_NEAR(reading.lufs, target.lufs, 0.5);
    }
}

juce::StringArray fileNamesIn(const juce::File& folder)
{
    juce::StringArray names;
    for (const auto& file : folder.findChildFiles(juce::File::findFilesAndDirectories, false))
        names.add(file.getFileName());
    names.sort(false);
    return names;
}

// --- The screen -------------------------------------------------------------

juce::Point<int> centreOnScreen(const juce::Component& component)
{
    return component.getScreenBounds().getCentre();
}

bool waitFor(const std::function<bool()>& condition, const char* what)
{
    const bool happened = testgui::pumpUntil(condition, patience);
    if (!happened)
        ADD_FAILURE() << "waited in vain for " << what;
    return happened;
}

// The rows show a value, or "Error", for every listed file.
bool rowsShowValues(const AudioAnalysisComponent& list)
{
    if (list.lufsLabels.isEmpty())
        return false;
    for (int row = 0; row < list.lufsLabels.size(); ++row)
    {
        const auto lufs = list.lufsLabels[row]->getText();
        const auto peak = list.truePeakLabels[row]->getText();
        if (!((lufs.endsWith(" LUFS") && peak.endsWith(" dBTP")) || (lufs == "Error" && peak == "Error")))
            return false;
    }
    return true;
}

// What the analysis list shows must be what the file measures.
void expectRowsAgreeWithInputs(const AudioAnalysisComponent& list, const std::vector<Input>& inputs)
{
    ASSERT_EQ(list.files.size(), inputs.size());
    for (size_t row = 0; row < inputs.size(); ++row)
    {
        const auto& input = inputs[row];
        SCOPED_TRACE(input.file.getFileName().toStdString());
        EXPECT_EQ(list.files[row], input.file.getFullPathName().toStdString());
        const auto lufsText = list.lufsLabels[static_cast<int>(row)]->getText();
        const auto peakText = list.truePeakLabels[static_cast<int>(row)]->getText();
        if (!input.isWav())
        {
            EXPECT_EQ(lufsText, "Error");
            continue;
        }
        const auto reading = testsig::measure(input.audio, input.rate);
        EXPECT_NEAR(lufsText.getDoubleValue(), reading.lufs, 0.01) << lufsText;
        EXPECT_NEAR(peakText.getDoubleValue(), reading.truePeak, 0.01) << peakText;
    }
}

juce::JUCEApplicationBase* createTarnvale()
{
    return new TarnvaleApplication();
}
} // namespace

TEST(RealProgram, APersonDropsAnalysesAndExportsThroughTheScreen)
{
    testwav::TempFolder temp;
    // A space and a plus: the drop hands paths over as escaped URIs.
    const auto folder = temp.file("in put+1");
    ASSERT_TRUE(folder.createDirectory());
    const auto inputs = writeInputs(folder);

    const PointerParkedAfterwards parked;
    std::unique_ptr<juce::JUCEApplicationBase> app(juce::JUCEApplicationBase::createInstance());
    ASSERT_TRUE(app->initialiseApp());
    auto* screenPointer = dynamic_cast<MainComponent*>(
        dynamic_cast<TarnvaleApplication&>(*app).mainWindow->getContentComponent());
    ASSERT_NE(screenPointer, nullptr);
    auto& screen = *screenPointer;

    const auto window = findWindow(static_cast<int>(::getpid()));
    ASSERT_TRUE(window.isNotEmpty()) << "no window with the limits 688x469 to 1720x1174 showed";
    expectCentredAtDesignSize(windowBounds(window));

    juce::StringArray paths;
    for (const auto& input : inputs)
        paths.add(input.file.getFullPathName());
    // Onto the status line: the drop zone takes files wherever no control covers it.
    dropFiles(window, centreOnScreen(screen.infoLabel), paths);
    ASSERT_TRUE(waitFor([&] { return screen.infoLabel.getText() == "3 WAV file(s)"; }, "3 WAV file(s)"));

    auto& list = screen.analysisComponent;
    click(centreOnScreen(screen.analyzeButton));
    ASSERT_TRUE(waitFor([&] { return list.isShowing() && rowsShowValues(list); }, "the analysis list with values"));
    expectRowsAgreeWithInputs(list, inputs);
    screen.getPeer()->performAnyPendingRepaintsNow();
    screenshot("e2e-analysis-list", { "-window", window });
    click(centreOnScreen(*list.closeButton));
    ASSERT_TRUE(waitFor([&] { return !list.isVisible(); }, "the analysis list to close"));

    click(centreOnScreen(screen.buttonPodcast));
    ASSERT_TRUE(waitFor([&] { return screen.buttonPodcast.getToggleState(); }, "Podcast ticked"));
    EXPECT_EQ(screen.infoLabel.getText(), "Podcast: -16 LUFS, -1 dBTP");

    click(centreOnScreen(screen.customLufsEditor));
    // A person types once the caret shows.
    ASSERT_TRUE(waitFor([&] { return screen.customLufsEditor.hasKeyboardFocus(false); }, "the caret in the LUFS editor"));
    typeAndReturn("-20");
    ASSERT_TRUE(waitFor([&] { return screen.customLufsEditor.getText() == "-20.0 LUFS"; }, "-20.0 LUFS in the editor"));
    click(centreOnScreen(screen.customPeakEditor));
    ASSERT_TRUE(waitFor([&] { return screen.customPeakEditor.hasKeyboardFocus(false); }, "the caret in the dBTP editor"));
    typeAndReturn("-1.5");
    ASSERT_TRUE(waitFor([&] { return screen.customPeakEditor.getText() == "-1.5 dBTP"; }, "-1.5 dBTP in the editor"));
    click(centreOnScreen(screen.buttonCustom));
    ASSERT_TRUE(waitFor([&] { return screen.buttonCustom.getToggleState(); }, "Custom ticked"));
    EXPECT_EQ(screen.infoLabel.getText(), "CUSTOM: -20.0 LUFS, -1.5 dBTP");
    EXPECT_TRUE(screen.buttonEBU.getToggleState());

    click(centreOnScreen(screen.exportButton));
    // The run is over once its thread has ended and a tick has given the
    // buttons back.
    const auto exportEnded = [&] {
        return screen.converter != nullptr && !screen.converter->isThreadRunning() && screen.exportButton.isEnabled()
               && screen.infoLabel.getText() == screen.converter->statusText.get();
    };
    ASSERT_TRUE(waitFor(exportEnded, "the export to end"));
    // The impostor fails its first task, and the screen must say so.
    EXPECT_TRUE(screen.infoLabel.getText().startsWith("Error")) << screen.infoLabel.getText();
    screen.getPeer()->performAnyPendingRepaintsNow();
    screenshot("e2e-final-status", { "-window", "root", "-crop",
                                     cropOf(screen.infoLabel.getScreenBounds().expanded(8)), "+repage" });

    const Target targets[] = { { "-EBU_R128.wav", -23.0, -1.0 },
                               { "-Podcast.wav", -16.0, -1.0 },
                               { "-Custom.wav", -20.0, -1.5 } };
    const auto exports = folder.getChildFile("Tarnvale");
    juce::StringArray expectedNames;
    for (const auto& input : inputs)
        if (input.isWav())
            for (const auto& target : targets)
                expectedNames.add(input.file.getFileNameWithoutExtension() + target.suffix);
    expectedNames.sort(false);
    EXPECT_EQ(fileNamesIn(exports), expectedNames) << "the exports, and nothing for the impostor";

    for (const auto& input : inputs)
        if (input.isWav())
            for (const auto& target : targets)
                checkExport(input, exports.getChildFile(input.file.getFileNameWithoutExtension() + target.suffix),
                            target);

    for (const auto& input : inputs)
        EXPECT_TRUE(testwav::bytes(input.file) == input.bytes) << input.file.getFullPathName() << " was changed";

    requestClose(window);
    ASSERT_TRUE(waitFor([] { return juce::MessageManager::getInstance()->hasStopMessageBeenSent(); }, "closing to quit"));
    app->shutdownApp();
    app.reset();
}

namespace
{
// The real executable, started from here and killed if a check gives up on it.
class RunningProgram
{
public:
    RunningProgram()
    {
        char* argv[] = { const_cast<char*>(TARNVALE_PROGRAM), nullptr };
        if (posix_spawn(&pid, TARNVALE_PROGRAM, nullptr, nullptr, argv, environ) != 0)
            pid = 0;
    }

    ~RunningProgram()
    {
        if (running())
        {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

    bool running()
    {
        if (pid == 0 || exited)
            return false;
        exited = ::waitpid(pid, &status, WNOHANG) == pid;
        return !exited;
    }

    bool hasThread(const std::string& name) const
    {
        std::error_code error;
        for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error))
        {
            std::ifstream comm(task.path() / "comm");
            std::string line;
            if (std::getline(comm, line) && line == name)
                return true;
        }
        return false;
    }

    pid_t pid = 0;
    bool exited = false;
    int status = 0;
};
} // namespace

TEST(RealProgram, ClosingTheWindowDuringAnExportQuitsAtOnceAndLeavesNoPartialFile)
{
    // Where the controls sit, read from a screen of the same design size.
    juce::Point<int> dropPoint;
    juce::Point<int> exportPoint;
    {
        MainComponent probe;
        dropPoint = probe.infoLabel.getBounds().getCentre();
        exportPoint = probe.exportButton.getBounds().getCentre();
    }

    testwav::TempFolder temp;
    // Long enough that the export is surely still running when the close comes.
    const auto input = temp.file("long programme.wav");
    const int inputLength = 240 * 48000;
    ASSERT_TRUE(testwav::write(input, testsig::programme(2, 48000.0, inputLength / 48000.0), 48000.0, 24));
    const auto exports = temp.file("Tarnvale");

    const PointerParkedAfterwards parked;
    RunningProgram program;
    ASSERT_NE(program.pid, 0) << "cannot start " << TARNVALE_PROGRAM;
    const auto window = findWindow(program.pid);
    ASSERT_TRUE(window.isNotEmpty()) << "no window with the limits 688x469 to 1720x1174 showed";
    const auto bounds = windowBounds(window);
    expectCentredAtDesignSize(bounds);

    dropFiles(window, bounds.getPosition() + dropPoint, { input.getFullPathName() });
    // Listing the file starts its measurement on the worker thread.
    ASSERT_TRUE(waitFor([&] { return program.hasThread("AudioAnalysis"); }, "the file to be listed and measured"));

    click(bounds.getPosition() + exportPoint);
    ASSERT_TRUE(waitFor([&] { return program.hasThread("Converting..."); }, "the export to start"));
    // Close while the output is being written, the moment a partial file could remain.
    ASSERT_TRUE(waitFor([&] { return exports.getNumberOfChildFiles(juce::File::findFiles) > 0 || !program.hasThread("Converting..."); },
            "the export to write"));
    ASSERT_TRUE(program.hasThread("Converting...")) << "the export ended before the close";

    requestClose(window);
    const auto closedAt = juce::Time::getMillisecondCounter();
    while (program.running() && juce::Time::getMillisecondCounter() - closedAt < 5000)
        juce::Thread::sleep(5);
    ASSERT_FALSE(program.running()) << "still running 5 s after the close request";
    EXPECT_TRUE(WIFEXITED(program.status) && WEXITSTATUS(program.status) == 0) << "exit status " << program.status;

    // A file the export finished may stay; a shorter one, even with a tidy
    // header, is a partial file.
    for (const auto& file : exports.findChildFiles(juce::File::findFilesAndDirectories, false))
    {
        const auto left = readExport(file);
        EXPECT_TRUE(left.complete && left.audio.getNumSamples() == inputLength)
            << "partial file left: " << file.getFullPathName() << " (" << left.audio.getNumSamples() << " of "
            << inputLength << " samples)";
    }
}

// A click that comes while the message thread is reading the X connection for
// something else, such as the end of a paint, lands in Xlib's queue instead of
// on the socket that JUCE watches; nothing else may follow it there.
TEST(RealClicks, AClickReadWhileTheMessageThreadWasBusyStillClicks)
{
    // Last in this file: a window shown before the program's own would change
    // how that one comes up. Once a program has quit here the message loop
    // stands still for good, but ctest runs each test in a process of its own.
    if (juce::MessageManager::getInstance()->hasStopMessageBeenSent())
        GTEST_SKIP() << "the message loop was stopped by an earlier test; ctest runs each test alone";
    const PointerParkedAfterwards parked;
    const QueuedXEventDispatcher queuedXEvents;
    juce::TextButton button("click me");
    int clicks = 0;
    button.onClick = [&] { ++clicks; };
    button.setBounds(juce::Rectangle<int>(200, 100).withCentre(displayBounds().getCentre()));
    button.addToDesktop(0);
    button.setVisible(true);
    ASSERT_TRUE(waitFor([] { return runTool({ "xdotool", "search", "--onlyvisible", "--name", "^click me$" }).exitCode == 0; },
                        "the button on screen"));

    // Pressed and released while the message loop stands still.
    const auto at = centreOnScreen(button);
    juce::ChildProcess xdotool;
    ASSERT_TRUE(xdotool.start(juce::StringArray { "xdotool", "mousemove", str(at.x), str(at.y), "click", "1" }, 0));
    ASSERT_TRUE(xdotool.waitForProcessToFinish(patience) && xdotool.getExitCode() == 0);
    testx::readJuceEventsWithoutHandingThemOn();

    EXPECT_TRUE(waitFor([&] { return clicks == 1; }, "the click"));
    button.removeFromDesktop();
}

int main(int argc, char** argv)
{
    // The real application, registered before JUCE starts so that JUCE also
    // installs its forgiving X error handler (there is no window manager).
    juce::JUCEApplicationBase::createInstance = &createTarnvale;
    ::testing::InitGoogleTest(&argc, argv);
    // Before the first X connection of a program under test.
    if (!::testing::GTEST_FLAG(list_tests))
    {
        if (!testx::holdWindowManagerAtoms())
        {
            std::cerr << "no X display to run on (DISPLAY is '"
                      << juce::SystemStats::getEnvironmentVariable("DISPLAY", {}) << "')" << std::endl;
            return 1;
        }
    }
    const juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
