#!/usr/bin/python3
"""Prints what a screen reader learns of the typing drill's window: one line per control that
describes what it shows, as DESCRIPTION<TAB>NAME, read over the AT-SPI accessibility bus."""
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
    lines = []
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "typing-drill":
            walk(app, lines)
    print("\n".join(lines))
    return 0 if lines else 1


if __name__ == "__main__":
    sys.exit(main())
