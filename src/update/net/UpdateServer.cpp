#include "update/net/UpdateServer.h"

#include "BuildConfig.h"

#include <QtGlobal>

namespace {

QByteArray serverOption;

} // namespace

QByteArray UpdateServerHost() {
    if (!serverOption.isEmpty())
        return serverOption;
    const QByteArray host = qgetenv("KORU_SERVER");
    return host.isEmpty() ? QByteArray(KORU_SERVER_HOST) : host;
}

void SetUpdateServer(const QByteArray& server) {
    serverOption = server;
}
