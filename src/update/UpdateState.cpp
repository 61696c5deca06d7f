#include "update/UpdateState.h"

#include "BuildConfig.h"
#include "platform/runtime/Val.h"
#include "update/http/TransferEngine.h"
#include "update/texts/VersionFiles.h"

#include <QtGlobal>

namespace {

QByteArray serverOption;

} // namespace

UpdateState& SharedState() {
    static UpdateState state;
    return state;
}

void UpdateState::Follow(const TransferEngine& transfer) {
    const ResponseGathering& response = transfer.Response();
    requestPath = transfer.Path();
    responseLength = response.Received();
    expectedLength = response.Response().ExpectedLength();
    transferDone = response.Complete() ? vbTrue : vbFalse;
}

bool UpdateState::CompareVersions(const QByteArray& offered) {
    remoteVersion = float(Val(offered));
    return VersionFiles::IsNewer(localVersion, remoteVersion);
}

QByteArray UpdateServerHost() {
    if (!serverOption.isEmpty())
        return serverOption;
    const QByteArray host = qgetenv("KORU_SERVER");
    return host.isEmpty() ? QByteArray(KORU_SERVER_HOST) : host;
}

void SetUpdateServer(const QByteArray& server) {
    serverOption = server;
}
