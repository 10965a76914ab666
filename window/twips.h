#pragma once

// Converts a length in twips (1440 to the inch) to whole pixels at the given dots per inch:
// at 96 DPI, 15 twips make one pixel.
int twipsToPixels(int twips, double dotsPerInch);
