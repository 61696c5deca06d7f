// A file list control as the logic sees it: the names (without folder) of the
// files in Path that match Pattern, in alphabetical order, case ignored both
// in the order and in the pattern. A folder that does not exist lists nothing.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class FileListBox {
public:
    const QString& Path() const { return path_; }
    void SetPath(const QString& path);
    void SetPattern(const QString& pattern);

    int ListCount() const { return static_cast<int>(names_.size()); }
    // The i-th name from 0; empty text past the end, as the control answers.
    QByteArray List(int index) const;

private:
    void Refresh();

    QString path_;
    QString pattern_ = QStringLiteral("*.*");
    QList<QByteArray> names_;
};
