// KORU's own window icon: the one SVG picture that is also installed.
#pragma once

#include <QIcon>

QIcon KoruIcon();
