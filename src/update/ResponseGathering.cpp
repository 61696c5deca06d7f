#include "update/ResponseGathering.h"

#include "update/HttpResponse.h"

#include <limits>

namespace ResponseGathering {

namespace {

bool AcceptableStatus(int code) {
    return (code >= 200 && code < 300) || code == 404;
}

} // namespace

QByteArray CheckContentSize(UpdateState& state) {
    if (state.expectedLength != 0)
        return {};
    const std::int64_t expected = HttpResponse::ExpectedLength(state.responseBuffer);
    if (expected > std::numeric_limits<std::int32_t>::max())
        return "The server announced a file too large to take.";
    state.expectedLength = std::int32_t(expected);
    return {};
}

QByteArray GatherArrival(UpdateState& state, const QByteArray& data) {
    state.responseBuffer += data;
    if (QByteArray failure = CheckContentSize(state); !failure.isEmpty())
        return failure;
    if (state.expectedLength == 0)
        return {}; // the header block is still incomplete
    const int status = HttpResponse::StatusCode(state.responseBuffer);
    if (status == 0)
        return "The server's answer is not HTTP.";
    if (!AcceptableStatus(status))
        return HttpResponse::StatusLine(state.responseBuffer);
    if (state.responseBuffer.size() > state.expectedLength)
        return "The server sent more than it announced.";
    state.transferDone = state.responseBuffer.size() == state.expectedLength ? vbTrue : vbFalse;
    return {};
}

bool IsNotFound(const QByteArray& response) {
    return HttpResponse::StatusCode(response) == 404 ||
           HttpResponse::ContainsNotFound(HttpResponse::Body(response));
}

} // namespace ResponseGathering
