"""What a screen reader gets from the player, through AT-SPI (Debian's python3-pyatspi).

  screen_reader.py tree          the player's tree, one object a line: role, "name", states, text
  screen_reader.py press NAME    presses the button named NAME through its action
  screen_reader.py menu open|close COMMAND...
                                 runs COMMAND (a click, a key) and says whether a menu of the
                                 player opened ("menu open") or closed ("menu closed"), as a
                                 screen reader hears it: by the menu's events, since Qt lists no
                                 pop-up among the application's children

Exits 2 when the player is not on the accessibility bus within 20 seconds.
"""
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

SHOWN_STATES = {pyatspi.STATE_CHECKED: "checked", pyatspi.STATE_SELECTED: "selected",
                pyatspi.STATE_ACTIVE: "active", pyatspi.STATE_FOCUSED: "focused"}
ROWS_SHOWN = 5


def player():
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name.lower() == "larkhaven":
                return app
        time.sleep(0.25)
    sys.exit(2)


def text_of(node):
    try:
        text = node.queryText()
        return text.getText(0, -1)
    except NotImplementedError:
        return None


def value_of(node):
    try:
        value = node.queryValue()
        return value.currentValue
    except NotImplementedError:
        return None


def describe(node):
    parts = [node.getRoleName(), '"%s"' % node.name]
    states = node.getState()
    parts += [word for state, word in SHOWN_STATES.items() if states.contains(state)]
    value = value_of(node)
    if value is not None:
        parts.append("value=%g" % value)
        if node.description:
            parts.append('"%s"' % node.description)
    text = text_of(node)
    if text and text != node.name:
        parts.append("text=" + repr(text))
    return " ".join(parts)


def walk(node, depth=0):
    print("  " * depth + describe(node))
    children = node.childCount
    shown = ROWS_SHOWN if node.getRoleName() in ("list", "table") else children
    for i in range(min(children, shown)):
        child = node.getChildAtIndex(i)
        if child is not None:
            walk(child, depth + 1)
    if children > shown:
        print("  " * (depth + 1) + "… %d more rows" % (children - shown))


def find(node, matches):
    if matches(node):
        return node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        found = find(child, matches) if child is not None else None
        if found is not None:
            return found
    return None


def menu_changes(command, opens=True):
    heard = []

    def listen(event):
        role = event.source.getRoleName() if event.source is not None else ""
        if opens and role in ("popup menu", "menu", "menu item") and event.detail1 == 1:
            heard.append(role)
            pyatspi.Registry.stop()
        elif not opens and role == "popup menu" and event.type.endswith("showing") and event.detail1 == 0:
            heard.append(role)
            pyatspi.Registry.stop()

    events = ["object:state-changed:showing", "object:state-changed:focused", "focus:"]
    pyatspi.Registry.registerEventListener(listen, *events)
    GLib.idle_add(lambda: subprocess.run(command) and False)
    GLib.timeout_add(5000, lambda: pyatspi.Registry.stop() or False)
    pyatspi.Registry.start()
    pyatspi.Registry.deregisterEventListener(listen, *events)
    return bool(heard)


def main():
    command = sys.argv[1]
    app = player()
    if command == "tree":
        for window in app:
            if window is not None and window.getState().contains(pyatspi.STATE_SHOWING):
                walk(window)
    elif command == "press":
        button = find(app, lambda n: n.name == sys.argv[2] and n.getRoleName() in ("push button", "toggle button"))
        if button is None:
            sys.exit("no button named " + sys.argv[2])
        button.queryAction().doAction(0)
        print("pressed")
    elif command == "menu":
        opens = sys.argv[2] == "open"
        changed = menu_changes(sys.argv[3:], opens)
        print(("menu open" if opens else "menu closed") if changed else "no change")

main()
