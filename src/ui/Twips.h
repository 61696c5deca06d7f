// Twips (1/1440 inch) to pixels and back: 15 twips per pixel at 96 dots per
// inch, following the screen's logical resolution.
#pragma once

#include <QRect>

int TwipsToPixels(int twips);
int PixelsToTwips(int pixels);
QRect TwipsToPixels(const QRect& twips);
QRect PixelsToTwips(const QRect& pixels);
