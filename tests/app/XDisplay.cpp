// The X declarations JUCE keeps for code that talks to the display itself.
#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1

#include "XDisplay.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace testx
{
bool holdWindowManagerAtoms()
{
    // A server that resets when its last client leaves turns new clients away
    // while it does, just after the previous test's clients have gone.
    static ::Display* const connection = [] {
        const auto giveUpAt = juce::Time::getMillisecondCounter() + 10000;
        auto* opened = XOpenDisplay(nullptr);
        while (opened == nullptr && juce::Time::getMillisecondCounter() < giveUpAt)
        {
            juce::Thread::sleep(10);
            opened = XOpenDisplay(nullptr);
        }
        return opened;
    }();
    if (connection == nullptr)
        return false;
    for (const char* name : { "WM_PROTOCOLS", "WM_DELETE_WINDOW", "WM_TAKE_FOCUS", "_NET_WM_PING" })
        XInternAtom(connection, name, False);
    XSync(connection, False);
    return true;
}

void readJuceEventsWithoutHandingThemOn()
{
    const juce::XWindowSystemUtilities::ScopedXLock lock;
    XSync(juce::XWindowSystem::getInstance()->getDisplay(), False);
}
} // namespace testx
