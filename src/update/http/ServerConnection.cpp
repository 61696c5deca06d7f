#include "update/http/ServerConnection.h"

#include "platform/runtime/RuntimeError.h"
#include "platform/runtime/Variant.h"
#include "platform/winsock/WinSock.h"
#include "update/http/HttpRequest.h"
#include "update/http/ProxySettings.h"

namespace ServerConnection {

namespace {

// Where a transfer to `server` connects: the server, or the environment's proxy.
ProxySettings::Route RouteTo(const QByteArray& server) {
    return ProxySettings::FromProcessEnvironment().RouteFor(HttpRequest::ServerName(server),
                                                            HttpRequest::ServerPort(server));
}

TransferFailure NoConnection(QByteArray why) {
    return {TransferFailure::Kind::Connection, std::move(why)};
}

} // namespace

TransferFailure Connect(CSocketMaster& socket, const QByteArray& server,
                        ResponseGathering& response) {
    socket.CloseSck();
    if (HttpRequest::ServerPort(server) == 0)
        return NoConnection("The server address " + server + " has no valid port.");
    const ProxySettings::Route route = RouteTo(server);
    if (!route.problem.isEmpty())
        return NoConnection(route.problem);
    // The request goes the way the connection went: the proxy's login with it.
    response.SetProxyLogin(route.viaProxy && !route.authorization.isEmpty()
                               ? "Proxy-Authorization: " + route.authorization + "\r\n"
                               : QByteArray());
    try {
        socket.Connect(Variant(route.host), Variant(std::int32_t(route.port)));
    } catch (const RuntimeError& e) {
        return NoConnection(e.Description());
    }
    return {};
}

void SendRequest(CSocketMaster& socket, const QByteArray& server, const QByteArray& path,
                 const ResponseGathering& response) {
    // The request line and Host stay the server's, through a proxy too.
    socket.SendData(Variant(HttpRequest::RequestText(server, path, response.RequestHeaders())));
}

QByteArray ErrorReason(std::int16_t number, const QByteArray& description,
                       const QByteArray& server) {
    // The socket's texts for a failed lookup do not say what was looked up.
    const bool lookupFailed = number >= ws::WSAHOST_NOT_FOUND && number <= ws::WSANO_DATA;
    if (!lookupFailed)
        return description;
    return "Cannot find the update server " + HttpRequest::ServerName(server) + " (" + description +
           ")";
}

} // namespace ServerConnection
