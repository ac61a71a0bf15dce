#pragma once

// The X display as these tests need it, beside what JUCE does with it.
namespace testx
{
// This process's own connection to the display, open while the object lives.
// It makes the atoms a window manager would have made: JUCE only looks them
// up when it connects, and without them it ignores a close request. Held open,
// it also keeps a server that resets when its last client leaves from
// forgetting them.
class Connection
{
public:
    Connection();
    ~Connection();
    bool isOpen() const;

    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
};

// Whether the server shows the window (mapped, and all its ancestors too),
// asked over the open Connection.
bool isViewable(unsigned long window);

// Has Xlib read everything the server has sent to JUCE's connection into its
// own queue, without handing any of it to JUCE: what the message thread does
// while it waits for a paint to finish.
void readJuceEventsWithoutHandingThemOn();
} // namespace testx
