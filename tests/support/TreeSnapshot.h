// A folder's tree as the install tests compare it: each path with its mode
// and, for a file, its bytes; times left out, and the paths that start with
// one of `skipped` (.koru, scratch files) too.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <map>

using TreeSnapshot = std::map<QString, QByteArray>;

TreeSnapshot SnapshotOf(const QString& root, const QStringList& skipped);
