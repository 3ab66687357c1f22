#!/usr/bin/python3
"""Prints what a screen reader finds in the running program, over the desktop
accessibility bus (AT-SPI): each focusable control's role and name, then the
labels, which a reader speaks when it reviews the window.

Start the program with the bus up and accessibility on, then run this with
Debian's python3 (which has pyatspi), e.g.:

    dbus-run-session -- bash -c '/usr/libexec/at-spi-bus-launcher --launch-immediately &
        sleep 1; QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 build/bin/ondiva & sleep 3;
        /usr/bin/python3 scripts/screenreader.py'

Options: --descriptions also prints each description; --app NAME looks for
another program than "ondiva"; --try also chooses the Windows pane's second
option and searches the articles for "a" (through the bus, as a screen
reader's user would), then prints the names again. Exits 1 when the program
is not on the bus or a focusable control has no name.
"""
import argparse
import sys
import time

import pyatspi
from gi.repository import GLib


def walk(node, depth=0):
    yield node, depth
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1)


def find(app, role, name):
    for node, _ in walk(app):
        if node.getRole() == role and node.name == name:
            return node
    raise SystemExit(f"screenreader: no {name!r}")


def exercise(app):
    """Chooses an option and runs a search, printing each name-changed event."""
    heard = []

    def listener(event):
        heard.append(f"{event.source.getRoleName():14} {event.source.name!r}")

    pyatspi.Registry.registerEventListener(listener, "object:property-change:accessible-name")
    option = find(app, pyatspi.ROLE_RADIO_BUTTON, "Software Win: tipo")
    option.queryAction().doAction(0)
    box = find(app, pyatspi.ROLE_TEXT, "Cerca un articolo per titolo")
    box.queryEditableText().setTextContents("a")
    box.queryComponent().grabFocus()
    time.sleep(0.5)
    pyatspi.Registry.generateKeyboardEvent(0xFF0D, None, pyatspi.KEY_SYM)  # Return

    deadline = time.time() + 3
    context = GLib.MainContext.default()
    while time.time() < deadline:  # deliver the events as they come in
        pyatspi.Registry.pumpQueuedEvents()
        if not context.iteration(False):
            time.sleep(0.05)
    pyatspi.Registry.deregisterEventListener(listener, "object:property-change:accessible-name")
    print("== names announced as changed: chose 'Software Win: tipo', searched the articles for 'a'")
    for line in heard:
        print(line)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", default="ondiva")
    parser.add_argument("--descriptions", action="store_true")
    parser.add_argument("--try", dest="exercise", action="store_true")
    args = parser.parse_args()

    desktop = pyatspi.Registry.getDesktop(0)
    apps = [a for a in desktop if a is not None and a.name == args.app]
    if not apps:
        print(f"screenreader: {args.app} is not on the accessibility bus", file=sys.stderr)
        return 1

    if args.exercise:
        exercise(apps[0])

    focusable, labels = [], []
    for node, _ in walk(apps[0]):
        states = node.getState()
        # A table's cells are its rows, read as the user moves through them.
        if not states.contains(pyatspi.STATE_SHOWING) or node.getRole() == pyatspi.ROLE_TABLE_CELL:
            continue
        entry = (node.getRoleName(), node.name, node.description)
        if states.contains(pyatspi.STATE_FOCUSABLE):
            focusable.append(entry)
        elif node.getRole() == pyatspi.ROLE_LABEL:
            labels.append(entry)

    unnamed = 0
    for title, entries in (("focusable controls", focusable), ("labels", labels)):
        print(f"== {title}: {len(entries)}")
        for role, name, description in entries:
            print(f"{role:14} {name!r}")
            if args.descriptions and description:
                print(f"{'':14}   {description}")
            unnamed += title.startswith("focusable") and not name
    if unnamed:
        print(f"screenreader: {unnamed} focusable controls without a name", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
