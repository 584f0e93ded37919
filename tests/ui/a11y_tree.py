#!/usr/bin/python3
"""Reads Sonavix's windows as a screen reader does (AT-SPI) and checks them.

Usage: a11y_tree.py PROGRAM [--report] [--play]
Starts PROGRAM itself (inside the caller's D-Bus session and X display), opens
the keyboard window through the button's accessible action, and counts the
interactive controls that show without an accessible name. With --report it
only prints the summary; otherwise it fails on a nameless control, on a
keyboard without 88 named keys, and with --play on a status line that does
not change while the melody plays.
"""
import os
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

INTERACTIVE = {
    "push button", "toggle button", "check box", "radio button", "combo box", "text",
    "entry", "table", "slider", "spin button", "list", "tree", "tree table", "page tab",
    "scroll bar", "password text", "menu item", "check menu item",
}


KEY_ROLES = ("push button", "toggle button", "check box")


def walk(node, depth=0):
    yield node, depth
    if depth > 30:
        return
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1)


def showing(node):
    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:  # a node gone while the tree is read
        return False


def find_app(pid, timeout=20.0):
    end = time.time() + timeout
    while time.time() < end:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            try:
                if app is not None and app.get_process_id() == pid:
                    if app.childCount > 0:
                        return app
            except Exception:
                pass
        time.sleep(0.3)
    return None


def windows(app):
    return [app.getChildAtIndex(i) for i in range(app.childCount)]


def nameless(window, all_states=False):
    """The interactive controls without a name (by default those that show)."""
    missing = []
    for node, _ in walk(window):
        role = node.getRoleName()
        if role in INTERACTIVE and role != "scroll bar" and (all_states or showing(node)):
            if not node.name.strip():
                missing.append(role)
    return missing


def keyboard_window(app):
    for w in windows(app):
        buttons = [n for n, _ in walk(w) if n.getRoleName() in KEY_ROLES]
        if len(buttons) >= 88:
            return w, buttons
    return None, []


def press(window, name):
    for node, _ in walk(window):
        if node.getRoleName() == "push button" and node.name.replace("&", "") == name:
            node.queryAction().doAction(0)
            return True
    return False


def main():
    program = sys.argv[1]
    report = "--report" in sys.argv
    play = "--play" in sys.argv
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    proc = subprocess.Popen([program], env=env)
    failures = []
    try:
        app = find_app(proc.pid)
        if app is None:
            print("FAIL: the program does not show on the accessibility bus")
            return 1
        time.sleep(1.5)
        main_window = windows(app)[0]
        for w in windows(app)[1:]:
            texts = [n.name for n, _ in walk(w) if n.getRoleName() == "label"]
            missing = nameless(w, True)
            print(f"other window {w.getRoleName()} {w.name!r}: {texts}; nameless: {missing}")
            if missing:
                failures.append("a message box has nameless controls")
            # The start-up's notice (no MIDI output here) is answered as a user would.
            if w.getRoleName() == "alert":
                press(w, "OK")
        time.sleep(0.5)
        # Hidden controls count: a frame shown later must not bring nameless ones.
        missing = nameless(main_window, True)
        print(f"main window {main_window.name!r}: {len(missing)} interactive controls (shown or hidden) without a name: {missing}")
        if missing:
            failures.append("main window has nameless controls")
        if not press(main_window, "Ton auf Klaviatur auswählen"):
            failures.append("no button \"Ton auf Klaviatur auswählen\" to open the keyboard")
        keyboard, buttons = None, []
        end = time.time() + 10
        while keyboard is None and time.time() < end:
            time.sleep(0.5)
            keyboard, buttons = keyboard_window(app)
        if keyboard is None:
            print("FAIL: keyboard window not found among",
                  [(w.name, w.getRoleName(), [n.getRoleName() for n, _ in walk(w)][:5]) for w in windows(app)])
            return 1
        missing = nameless(keyboard)
        keys = [b for b in buttons if b.name.startswith("Taste ")]
        print(f"keyboard window {keyboard.name!r}: {len(missing)} controls without a name, "
              f"{len(keys)} named keys, e.g. {[k.name for k in keys if k.name.startswith('Taste 41 ')]}")
        if keyboard.name != "Klaviatur":
            failures.append(f"keyboard window named {keyboard.name!r}")
        if missing:
            failures.append("keyboard window has nameless controls")
        if len(keys) != 88:
            failures.append(f"{len(keys)} named keys, not 88")
        # The voices window, opened through its menu item, with one voice taken over.
        for node, _ in walk(main_window):
            if node.getRoleName() == "menu item" and node.name == "Stimmen...":
                node.queryAction().doAction(0)
                break
        time.sleep(1.0)
        voices = [w for w in windows(app) if w.name == "Stimmen"]
        if not voices:
            failures.append("the voices window did not open")
        else:
            press(voices[0], "Aktuelle Einstellung übernehmen")
            time.sleep(0.5)
            missing = nameless(voices[0], True)
            cells = [n.name for n, _ in walk(voices[0]) if n.getRoleName() == "table cell"]
            print(f"voices window: {len(missing)} controls without a name: {missing}; "
                  f"cells: {cells[:4]}")
            if missing:
                failures.append("voices window has nameless controls")
        if play:
            status = [n for n, _ in walk(main_window) if n.getRoleName() in ("status bar", "label")
                      and n.description.startswith("Es erklingt")]
            if not status:
                failures.append("no status element")
            else:
                # What a screen reader is told: the name-changed events of the status line.
                announced = []

                def on_name(event):
                    try:
                        if event.source.description.startswith("Es erklingt"):
                            announced.append(event.source.name)
                    except Exception:
                        pass

                pyatspi.Registry.registerEventListener(on_name, "object:property-change:accessible-name")
                press(main_window, "Abspielen")
                context = GLib.MainContext.default()
                end = time.time() + 8
                while time.time() < end and len(announced) < 3:
                    context.iteration(False)
                    time.sleep(0.01)
                pyatspi.Registry.deregisterEventListener(on_name, "object:property-change:accessible-name")
                print(f"status line announced while playing: {announced[:3]}")
                if len([a for a in announced if a.startswith("Glied ")]) < 2:
                    failures.append("the status line did not announce the sounding members")
    finally:
        proc.terminate()
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
    for f in failures:
        print("FAIL:", f)
    return 0 if report or not failures else 1


if __name__ == "__main__":
    sys.exit(main())
