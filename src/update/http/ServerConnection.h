// What a transfer does on its socket object: connect to the update server
// (or the environment's proxy for it), send the request, and name a socket
// error for the server it was about.
#pragma once

#include "socket/CSocketMaster.h"
#include "update/http/ResponseGathering.h"

#include <QByteArray>
#include <memory>

namespace ServerConnection {

// A window's socket object for its transfers, its events routed to the
// window's handlers. A failure goes to the error handler with its number and
// text; the window reports it where the user looks, so no message box is
// asked for.
template <class Window>
std::shared_ptr<CSocketMaster>
CreateSocket(Window& window, void (Window::*onConnect)(),
             void (Window::*onDataArrival)(std::int32_t), void (Window::*onCloseSck)(),
             void (Window::*onError)(std::int16_t, const QByteArray&)) {
    std::shared_ptr<CSocketMaster> socket = CSocketMaster::Create();
    socket->onConnect = [&window, onConnect] { (window.*onConnect)(); };
    socket->onDataArrival = [&window, onDataArrival](std::int32_t bytesTotal) {
        (window.*onDataArrival)(bytesTotal);
    };
    socket->onCloseSck = [&window, onCloseSck] { (window.*onCloseSck)(); };
    socket->onError = [&window, onError](std::int16_t Number, QByteArray& Description, std::int32_t,
                                         const QByteArray&, const QByteArray&, std::int32_t,
                                         bool&) { (window.*onError)(Number, Description); };
    return socket;
}

// Closes whatever the socket held and connects it to the server address
// ("host" or "host:port"), or to the proxy the environment names for it,
// whose login then goes with `response`'s request. Answers why that cannot
// be done, or no failure.
TransferFailure Connect(CSocketMaster& socket, const QByteArray& server,
                        ResponseGathering& response);

// Sends the request for `path` (the Connect event), with the response's
// extra lines: a resumed archive's range, the proxy's login.
void SendRequest(CSocketMaster& socket, const QByteArray& server, const QByteArray& path,
                 const ResponseGathering& response);

// The reason a socket error gives for a transfer to `server` ("host" or "host:port").
QByteArray ErrorReason(std::int16_t number, const QByteArray& description,
                       const QByteArray& server);

} // namespace ServerConnection
