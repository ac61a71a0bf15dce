// The X declarations JUCE keeps for code that talks to the display itself.
#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1

#include "XDisplay.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace testx
{
namespace
{
::Display* ownConnection = nullptr;
}

Connection::Connection()
{
    ownConnection = XOpenDisplay(nullptr);
    if (ownConnection == nullptr)
        return;
    for (const char* name : { "WM_PROTOCOLS", "WM_DELETE_WINDOW", "WM_TAKE_FOCUS", "_NET_WM_PING" })
        XInternAtom(ownConnection, name, False);
    XSync(ownConnection, False);
}

Connection::~Connection()
{
    if (ownConnection != nullptr)
        XCloseDisplay(ownConnection);
    ownConnection = nullptr;
}

bool Connection::isOpen() const
{
    return ownConnection != nullptr;
}

bool isViewable(unsigned long window)
{
    XWindowAttributes attributes {};
    return ownConnection != nullptr && XGetWindowAttributes(ownConnection, window, &attributes) != 0
           && attributes.map_state == IsViewable;
}

void readJuceEventsWithoutHandingThemOn()
{
    const juce::XWindowSystemUtilities::ScopedXLock lock;
    XSync(juce::XWindowSystem::getInstance()->getDisplay(), False);
}
} // namespace testx
