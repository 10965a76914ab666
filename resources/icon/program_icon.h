#pragma once

class QIcon;

// The program's icon with every drawn size (32, 48, 64, 128 and 256 px), from the resources
// under :/icons/ that this library embeds.
QIcon programIcon();
