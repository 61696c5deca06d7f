#include "update/windows/UpdateState.h"

#include "update/formats/VersionFiles.h"
#include "update/net/TransferEngine.h"

#include <limits>

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

bool UpdateState::StallTick() {
    if (responseLength != lastLength)
        stallTicks = 0;
    else if (stallTicks < std::numeric_limits<std::uint8_t>::max())
        ++stallTicks;
    lastLength = responseLength;
    return stallTicks > stallLimit;
}

bool UpdateState::CompareVersions(const QByteArray& offered) {
    remoteVersion = VersionFiles::VersionNumber(offered);
    return VersionFiles::IsNewer(localVersion, remoteVersion);
}
