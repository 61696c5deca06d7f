// KORU's state folder, the desktop's place for what a program remembers
// between runs: $XDG_STATE_HOME/koru, by default ~/.local/state/koru.
#pragma once

#include <QString>

namespace StateFolder {

// The path of `name` in it; empty when neither variable names a folder.
QString File(const QString& name);

} // namespace StateFolder
