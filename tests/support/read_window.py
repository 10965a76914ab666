#!/usr/bin/python3
"""Prints what a screen reader learns of the typing drill's windows: one line per control that
describes what it shows, as DESCRIPTION<TAB>NAME, read over the AT-SPI accessibility bus.
Usage: read_window.py [PID], PID choosing one of several running programs."""
import sys

import pyatspi


def walk(node, out):
    if node.description:
        out.append(f"{node.description}\t{node.name}")
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child is not None:
            walk(child, out)


def main():
    pid = int(sys.argv[1]) if len(sys.argv) > 1 else None
    lines = []
    for app in pyatspi.Registry.getDesktop(0):
        if app is None or app.name != "typing-drill":
            continue
        if pid is None or app.get_process_id() == pid:
            walk(app, lines)
    print("\n".join(lines))
    return 0 if lines else 1


if __name__ == "__main__":
    sys.exit(main())
