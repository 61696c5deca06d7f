// Copies a folder's files, sub-folders included, for tests that change them.
#pragma once

#include <QString>

void CopyTree(const QString& from, const QString& to);
