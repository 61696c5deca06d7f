// What both windows do on their socket object for a transfer: connect to the
// update server, send the request when connected, and take each arrival into
// the response being gathered.
#pragma once

#include "socket/CSocketMaster.h"
#include "update/ResponseGathering.h"

#include <QByteArray>
#include <functional>

namespace ServerConnection {

// Closes whatever the socket held and connects it to the server address
// ("host" or "host:port"), or to the proxy the environment names for it,
// whose login then goes with `response`'s request. Answers why that cannot
// be done, or an empty text.
QByteArray Connect(CSocketMaster& socket, const QByteArray& server, ResponseGathering& response);

// Sends the request for the shared state's requestPath (the Connect event),
// with the response's extra lines: a resumed archive's range, the proxy's login.
void SendRequest(CSocketMaster& socket, const ResponseGathering& response);

// Takes everything waiting into the response being gathered (the DataArrival
// event). Answers why the transfer cannot succeed, or an empty text.
QByteArray TakeArrival(CSocketMaster& socket, ResponseGathering& response);

// An Error event handler that passes the reason on: the windows report socket
// failures themselves, so no message box is asked for. A failed name lookup
// names the server it was for.
decltype(CSocketMaster::onError) ReportErrorTo(std::function<void(const QByteArray&)> report);

// The reason a socket error gives for a transfer to `server` ("host" or "host:port").
QByteArray ErrorReason(std::int16_t number, const QByteArray& description,
                       const QByteArray& server);

} // namespace ServerConnection
