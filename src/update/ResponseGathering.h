// Gathering one HTTP response as it arrives, the same for both windows:
// every arrival is appended to responseBuffer, the expected length is fixed
// once the whole header block is in, and the response is judged as it grows.
#pragma once

#include "update/UpdateState.h"

#include <QByteArray>

namespace ResponseGathering {

// Appends `data` to responseBuffer and sets transferDone when the response
// has exactly its announced length. Answers why the transfer cannot succeed
// (an error status, more bytes than announced, an answer that is not HTTP),
// or an empty text while it still can.
QByteArray GatherArrival(UpdateState& state, const QByteArray& data);

// Fixes expectedLength from the header block once it has fully arrived;
// acts only while expectedLength is 0. Answers a failure when the announced
// length is too large to hold.
QByteArray CheckContentSize(UpdateState& state);

// The message a body becomes when the server does not have the file.
inline constexpr char notFoundMessage[] = "Update file not found on the server.";

// True when the complete response says the file is missing: a 404 status or
// "404 not found" in any case in its body.
bool IsNotFound(const QByteArray& response);

} // namespace ResponseGathering
