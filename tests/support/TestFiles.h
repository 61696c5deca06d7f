// Whole files in and out of a test's folders.
#pragma once

#include <QByteArray>
#include <QString>

// The file's bytes; `missing` when it cannot be read.
QByteArray ReadFile(const QString& path, const QByteArray& missing = "<missing>");

// Writes `bytes` over whatever the file held; a failure fails the test.
void WriteFile(const QString& path, const QByteArray& bytes);
