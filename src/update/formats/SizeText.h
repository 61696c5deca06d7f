// A byte count as the log shows it to people: in the largest decimal unit
// under it, one decimal, so that a few kilobytes never read "0.0 MB".
#pragma once

#include <QByteArray>

// "512 bytes", "4.1 KB", "10.4 MB", "1.2 GB".
QByteArray SizeText(qint64 bytes);
