// The runtime's lenient decimal reading, used for versions and lengths.
#pragma once

#include <QByteArray>

// Blanks, tabs and line feeds are skipped wherever they stand; then an
// optional sign and digits with at most one decimal point are read, stopping
// at the first character that cannot continue the number. No digits give 0.
double Val(const QByteArray& text);
