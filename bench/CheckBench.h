// Shared set-up of the update client's benchmarks: a VANTO folder copied from
// the sample, and a resolver that asks no name server.
#pragma once

#include "platform/App.h"
#include "platform/WinSock.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

inline void CopyTree(const QString& from, const QString& to) {
    QDirIterator files(from, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString source = files.next();
        const QString target = to + source.mid(from.size());
        QDir().mkpath(QFileInfo(target).path());
        QFile::copy(source, target);
    }
}

// The servers are named by dotted address; the machine's own name is not
// looked up, so the bind before each connect takes the wildcard address.
inline void UseOfflineResolver() {
    ws::SetHostResolver([](const QByteArray& name) {
        ws::HostLookup lookup;
        lookup.name = name;
        lookup.error = ws::WSAHOST_NOT_FOUND;
        return lookup;
    });
}

inline void UseSampleVantoFolder(const QString& home) {
    CopyTree(QStringLiteral(KORU_SAMPLE_DIR "/vanto"), home);
    App::SetPath(home);
}
