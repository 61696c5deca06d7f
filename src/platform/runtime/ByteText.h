// Byte text: the logic keeps network data, file contents and the log as bytes,
// one character per byte. Only the screen decodes them.
#pragma once

#include <QByteArray>
#include <QString>

// UTF-8 where the bytes are valid UTF-8, otherwise one character per byte.
QString DisplayText(const QByteArray& bytes);
