#pragma once

#include "typing_drill.h"

#include <Qt>

class QKeyEvent;

// The Windows virtual-key code of a Qt key, independent of Shift and Caps Lock: "A" to "Z" are
// 65 to 90, the digits 48 to 57, shifted US-layout symbols give the code of their key. Keypad
// keys need Qt::KeypadModifier to be told apart. A key without a code gives 0.
KeyCode virtualKeyCode(int qtKey, Qt::KeyboardModifiers modifiers);

// The virtual-key code of the key a key event reports.
KeyCode virtualKeyCode(const QKeyEvent &event);
