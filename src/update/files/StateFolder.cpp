#include "update/files/StateFolder.h"

#include <QFile>

QString StateFolder::File(const QString& name) {
    QString state = QFile::decodeName(qgetenv("XDG_STATE_HOME"));
    if (state.isEmpty()) {
        const QString home = QFile::decodeName(qgetenv("HOME"));
        if (home.isEmpty())
            return {};
        state = home + QStringLiteral("/.local/state");
    }
    return state + QStringLiteral("/koru/") + name;
}
