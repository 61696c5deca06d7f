#include "update/UpdateState.h"

#include <QtGlobal>

UpdateState& SharedState() {
    static UpdateState state;
    return state;
}

QByteArray UpdateServerHost() {
    const QByteArray host = qgetenv("KORU_SERVER");
    return host.isEmpty() ? QByteArray("update.koru.example") : host;
}
