#pragma once

#include <juce_events/juce_events.h>

// Hands JUCE the X events that Xlib has already read from the server but JUCE
// has not yet seen.
//
// JUCE takes X events only when its connection's socket turns readable. Other
// X calls on the message thread (the wait for a finished shared-memory paint,
// any round trip) read whatever the server has sent meanwhile into Xlib's own
// queue; a click read that way leaves the socket empty and waits unseen until
// more traffic comes, which on a busy machine can be never. Once a frame this
// looks into that queue and lets JUCE empty it.
class QueuedXEventDispatcher : private juce::Timer
{
public:
    QueuedXEventDispatcher();
    ~QueuedXEventDispatcher() override;

private:
    void timerCallback() override;

    JUCE_DECLARE_NON_COPYABLE(QueuedXEventDispatcher)
};
