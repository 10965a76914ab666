#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>

// The sizes, in pixels, at which the program icon is drawn; 32 is the window icon.
inline const QList<int> smileySizes = {32, 48, 64, 128, 256};

// The yellow smiling face at size × size pixels. At 32 px it is pixel art in at most 16 colours
// (an indexed image); larger sizes are the same shapes drawn smooth, as 32-bit ARGB.
QImage drawSmiley(int size);

// The same face as a scalable SVG document.
QByteArray smileySvg();
