#!/usr/bin/python3
"""What a desktop does to a window, sent from outside its process.

  xclient.py drop WINDOW X Y FILE...   drags FILEs onto WINDOW and drops them
                                       at root position X, Y (XDND, text/uri-list)
  xclient.py close WINDOW              asks WINDOW to close (WM_DELETE_WINDOW)

WINDOW is a decimal or 0x-hexadecimal X window id. Exit status 0 once the
target has confirmed the drop (XdndFinished) or the close request was sent.
"""

import select
import sys
import time
from urllib.parse import quote

from Xlib import X, display
from Xlib.protocol import event

TIMEOUT_SECONDS = 60


def fail(message):
    sys.stderr.write("xclient: " + message + "\n")
    sys.exit(1)


def send_client_message(d, target, message_type, values):
    data = list(values) + [0] * (5 - len(values))
    message = event.ClientMessage(window=target, client_type=message_type, data=(32, data))
    target.send_event(message, event_mask=0)
    d.flush()


def next_event(d, deadline):
    while d.pending_events() == 0:
        remaining = deadline - time.monotonic()
        if remaining <= 0:
            return None
        select.select([d.fileno()], [], [], remaining)
    return d.next_event()


def drop(d, target, x, y, paths):
    atom = d.intern_atom
    uri_list = atom("text/uri-list")
    selection = atom("XdndSelection")
    payload = "".join("file://" + quote(p) + "\r\n" for p in paths).encode()

    aware = target.get_full_property(atom("XdndAware"), X.AnyPropertyType)
    if aware is None:
        fail("window 0x%x does not take drops (no XdndAware)" % target.id)
    version = min(int(aware.value[0]), 5)

    # The data offered travels through a selection that only a window can own.
    source = d.screen().root.create_window(-10, -10, 1, 1, 0, X.CopyFromParent)
    source.set_selection_owner(selection, X.CurrentTime)
    d.flush()
    if d.get_selection_owner(selection) != source:
        fail("could not own XdndSelection")

    send_client_message(d, target, atom("XdndEnter"), [source.id, version << 24, uri_list])
    send_client_message(d, target, atom("XdndPosition"),
                        [source.id, 0, (x << 16) | y, X.CurrentTime, atom("XdndActionCopy")])

    accepted = served = dropped = False
    deadline = time.monotonic() + TIMEOUT_SECONDS
    while True:
        e = next_event(d, deadline)
        if e is None:
            fail("no answer from window 0x%x (accepted=%s, data served=%s, dropped=%s)"
                 % (target.id, accepted, served, dropped))

        if e.type == X.SelectionRequest:
            requestor = e.requestor
            prop = e.property if e.property != X.NONE else e.target
            if e.target == uri_list:
                requestor.change_property(prop, uri_list, 8, payload)
                served = True
            else:
                prop = X.NONE
            notify = event.SelectionNotify(time=e.time, requestor=requestor.id, selection=e.selection,
                                           target=e.target, property=prop)
            requestor.send_event(notify, event_mask=0)
            d.flush()
        elif e.type == X.ClientMessage and e.client_type == atom("XdndStatus"):
            if not e.data[1][1] & 1:
                fail("window 0x%x refused the drag" % target.id)
            accepted = True
        elif e.type == X.ClientMessage and e.client_type == atom("XdndFinished"):
            if not dropped:
                fail("finished before the drop")
            return

        # Drop only once the target has both accepted and read the list, the
        # way a person's drag lingers over a window before the button goes up.
        if accepted and served and not dropped:
            send_client_message(d, target, atom("XdndDrop"), [source.id, 0, X.CurrentTime])
            dropped = True


def close(d, target):
    protocols = d.intern_atom("WM_PROTOCOLS")
    send_client_message(d, target, protocols, [d.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime])
    # A round trip: the server has handled the request before we hang up.
    d.sync()


def main(argv):
    if len(argv) >= 6 and argv[1] == "drop":
        d = display.Display()
        drop(d, d.create_resource_object("window", int(argv[2], 0)), int(argv[3]), int(argv[4]), argv[5:])
    elif len(argv) == 3 and argv[1] == "close":
        d = display.Display()
        close(d, d.create_resource_object("window", int(argv[2], 0)))
    else:
        fail("usage: xclient.py drop WINDOW X Y FILE... | close WINDOW")
    d.close()


if __name__ == "__main__":
    main(sys.argv)
