#pragma once

#include "app/QueuedXEvents.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class TarnvaleApplication : public juce::JUCEApplication
{
public:
    class MainWindow : public juce::DocumentWindow
    {
    public:
        explicit MainWindow(const juce::String& name);
        void closeButtonPressed() override;

    private:
        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(MainWindow)
    };

    TarnvaleApplication() = default;
    ~TarnvaleApplication() override;

    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;
    bool moreThanOneInstanceAllowed() override;
    void initialise(const juce::String& commandLine) override;
    void shutdown() override;
    void anotherInstanceStarted(const juce::String& commandLine) override;
    void systemRequestedQuit() override;

    std::unique_ptr<QueuedXEventDispatcher> queuedXEvents;
    std::unique_ptr<MainWindow> mainWindow;
};
