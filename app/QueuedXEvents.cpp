// The X declarations JUCE keeps for code that talks to the display itself.
#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1

#include "app/QueuedXEvents.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <vector>

#include <juce_events/native/juce_linux_EventLoopInternal.h>

QueuedXEventDispatcher::QueuedXEventDispatcher()
{
    startTimerHz(60);
}

QueuedXEventDispatcher::~QueuedXEventDispatcher()
{
    stopTimer();
}

void QueuedXEventDispatcher::timerCallback()
{
    auto* windowSystem = juce::XWindowSystem::getInstanceWithoutCreating();
    if (windowSystem == nullptr || windowSystem->getDisplay() == nullptr)
        return;

    auto* display = windowSystem->getDisplay();
    auto* x = juce::X11Symbols::getInstance();
    int queued = 0;
    {
        juce::XWindowSystemUtilities::ScopedXLock lock;
        queued = x->xEventsQueued(display, QueuedAlready);
    }
    // The same handler the socket would have woken: it takes every queued event.
    if (queued > 0)
        juce::LinuxEventLoopInternal::invokeEventLoopCallbackForFd(x->xConnectionNumber(display));
}
