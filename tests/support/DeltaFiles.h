// Delta test material made at test time with the publisher's own tools: two
// zip archives where the second changes, adds and removes some files, and
// zsync control files from the real zsyncmake.
#pragma once

#include <QString>

namespace DeltaFiles {

// Makes `folder`/old.zip and `folder`/new.zip from about `bytes` in `files`
// files each (half of them compress); a quarter of them change.
bool MakeArchives(const QString& folder, qint64 bytes, int files = 24);
// zsyncmake's control file for `folder`/`name`, written beside it as name.zsync.
bool MakeControl(const QString& folder, const QString& name);

} // namespace DeltaFiles
