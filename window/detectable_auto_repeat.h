#pragma once

// Asks the X server to stop sending the synthetic release that precedes each repeated press of a
// held key, so that only the real release reaches the program. Returns whether the server granted
// it; off X11 (or without Xlib) it does nothing and returns false.
bool requestDetectableAutoRepeat();
