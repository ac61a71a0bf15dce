#include "app/TarnvaleApplication.h"

#include "ui/MainComponent.h"

TarnvaleApplication::MainWindow::MainWindow(const juce::String& name)
    : juce::DocumentWindow(name,
                           juce::Desktop::getInstance().getDefaultLookAndFeel().findColour(
                               juce::ResizableWindow::backgroundColourId),
                           juce::DocumentWindow::allButtons, true)
{
}

void TarnvaleApplication::MainWindow::closeButtonPressed()
{
    juce::JUCEApplication::getInstance()->systemRequestedQuit();
}

TarnvaleApplication::~TarnvaleApplication()
{
    mainWindow.reset();
}

const juce::String TarnvaleApplication::getApplicationName()
{
    return JUCE_APPLICATION_NAME_STRING;
}

const juce::String TarnvaleApplication::getApplicationVersion()
{
    return JUCE_APPLICATION_VERSION_STRING;
}

bool TarnvaleApplication::moreThanOneInstanceAllowed()
{
    return true;
}

void TarnvaleApplication::initialise(const juce::String&)
{
    queuedXEvents = std::make_unique<QueuedXEventDispatcher>();
    auto window = std::make_unique<MainWindow>(getApplicationName());
    window->setUsingNativeTitleBar(true);
    // The window takes its first size, 860 x 587, from the screen.
    window->setContentOwned(new MainComponent(), true);
    window->setResizable(true, false);
    window->setResizeLimits(688, 469, 1720, 1174);
    window->centreWithSize(window->getWidth(), window->getHeight());
    window->setVisible(true);
    mainWindow = std::move(window);
}

void TarnvaleApplication::shutdown()
{
    mainWindow = nullptr;
    queuedXEvents = nullptr;
}

void TarnvaleApplication::anotherInstanceStarted(const juce::String&)
{
}

void TarnvaleApplication::systemRequestedQuit()
{
    juce::JUCEApplicationBase::quit();
}
