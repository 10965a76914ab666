#pragma once

class QFont;

// The drill's own typeface list at its default size: a Chinese serif wherever one is installed.
QFont progressFont();
