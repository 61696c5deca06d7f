#include "update/jobs/UpdateState.h"

#include "platform/runtime/Val.h"
#include "update/formats/VersionFiles.h"
#include "update/net/TransferEngine.h"

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
