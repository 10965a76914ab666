#pragma once

class QSize;
class QWidget;

// Sizes the window to `preferred`, at most the screen's available area, and centres it there, so
// that no part is cut off down to 1024x600.
void fitToScreen(QWidget &window, const QSize &preferred);
