// The file a delta update starts from: the chosen target when it holds
// something, else the last archive KORU saved, remembered in KORU's state
// folder with its size and modification time and trusted only while both
// still match (a file changed since is not the archive it was).
#pragma once

#include <QString>

namespace SeedArchive {

// The seed for a download into `target`; empty when there is none.
QString For(const QString& target);
// Remembers `path` as the last archive saved.
void Remember(const QString& path);

} // namespace SeedArchive
