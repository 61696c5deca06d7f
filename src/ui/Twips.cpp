#include "ui/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace {

double DotsPerInch() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->logicalDotsPerInch() : 96.0;
}

} // namespace

int TwipsToPixels(int twips) {
    return static_cast<int>(std::lround(twips * DotsPerInch() / 1440.0));
}

int PixelsToTwips(int pixels) {
    return static_cast<int>(std::lround(pixels * 1440.0 / DotsPerInch()));
}

QRect TwipsToPixels(const QRect& twips) {
    return {TwipsToPixels(twips.left()), TwipsToPixels(twips.top()), TwipsToPixels(twips.width()),
            TwipsToPixels(twips.height())};
}

QRect PixelsToTwips(const QRect& pixels) {
    return {PixelsToTwips(pixels.left()), PixelsToTwips(pixels.top()),
            PixelsToTwips(pixels.width()), PixelsToTwips(pixels.height())};
}
