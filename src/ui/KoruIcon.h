// KORU's own window icon, drawn at start-up.
#pragma once

#include <QIcon>

QIcon KoruIcon();
