#include "support/TestFiles.h"

#include <QFile>
#include <gtest/gtest.h>

QByteArray ReadFile(const QString& path, const QByteArray& missing) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : missing;
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size()) << path.toStdString();
}
