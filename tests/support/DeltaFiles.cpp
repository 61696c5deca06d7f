#include "support/DeltaFiles.h"

#include "support/TestFiles.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>

namespace DeltaFiles {

namespace {

// Runs a tool in `folder`; false when it fails or takes over a minute.
bool Run(const QString& folder, const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// Half the files compress (text-like), half do not (random), as in VANTO's archive.
QByteArray Content(QRandomGenerator& random, qint64 size) {
    QByteArray bytes(size, Qt::Uninitialized);
    if (random.bounded(2) == 0) {
        for (qint64 i = 0; i < size; ++i)
            bytes[i] = char(random.bounded(0, 256));
        return bytes;
    }
    static const char* const words[] = {"VANTO ", "archive ", "block ", "update ", "\n"};
    bytes.clear();
    while (bytes.size() < size)
        bytes += words[random.bounded(5)];
    return bytes.left(size);
}

bool Zip(const QString& folder, const QString& tree, const QString& archive) {
    return Run(folder + u'/' + tree, QStringLiteral("zip"),
               {QStringLiteral("-q"), QStringLiteral("-X"), QStringLiteral("-r"),
                QStringLiteral("../") + archive, QStringLiteral(".")});
}

} // namespace

bool MakeArchives(const QString& folder, qint64 bytes, int files) {
    QRandomGenerator random(17);
    const QDir dir(folder);
    dir.mkpath(QStringLiteral("old"));
    dir.mkpath(QStringLiteral("new"));
    for (int i = 0; i < files; ++i) {
        const QString name = QStringLiteral("/file%1.dat").arg(i, 3, 10, QChar(u'0'));
        const QByteArray content =
            Content(random, bytes / files / 2 + random.bounded(bytes / files) + 1);
        // The first two are added, every fourth changes, gone.dat is removed.
        if (i >= 2)
            WriteFile(folder + QStringLiteral("/old") + name, content);
        const bool changed = i % 4 == 1;
        WriteFile(folder + QStringLiteral("/new") + name,
                  changed ? Content(random, content.size()) : content);
    }
    WriteFile(folder + QStringLiteral("/old/gone.dat"), Content(random, bytes / files));
    return Zip(folder, QStringLiteral("old"), QStringLiteral("old.zip")) &&
           Zip(folder, QStringLiteral("new"), QStringLiteral("new.zip"));
}

bool MakeControl(const QString& folder, const QString& name) {
    return Run(
        folder, QStringLiteral("zsyncmake"),
        {QStringLiteral("-u"), name, QStringLiteral("-o"), name + QStringLiteral(".zsync"), name});
}

} // namespace DeltaFiles
