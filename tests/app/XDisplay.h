#pragma once

// The X display, beside what JUCE does with it.
namespace testx
{
// Opens a connection of this process's own, kept until the process ends, and
// makes on it the atoms a window manager would have made: JUCE only looks them
// up when it connects, and without them it ignores a close request. Held open,
// the connection also keeps a server that resets when its last client leaves
// from forgetting them. False when there is no display.
bool holdWindowManagerAtoms();

// Has Xlib read all the server has sent to JUCE's connection into its own
// queue without handing any of it on, as a paint waiting for its end does.
void readJuceEventsWithoutHandingThemOn();
} // namespace testx
