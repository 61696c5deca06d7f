#include "update/ServerConnection.h"

#include "platform/runtime/RuntimeError.h"
#include "platform/runtime/Variant.h"
#include "update/HttpResponse.h"
#include "update/ProxySettings.h"
#include "update/UpdateState.h"

namespace ServerConnection {

namespace {

// Where a transfer to `server` connects: the server, or the environment's proxy.
ProxySettings::Route RouteTo(const QByteArray& server) {
    return ProxySettings::FromProcessEnvironment().RouteFor(HttpResponse::ServerName(server),
                                                            HttpResponse::ServerPort(server));
}

} // namespace

QByteArray Connect(CSocketMaster& socket, const QByteArray& server, ResponseGathering& response) {
    socket.CloseSck();
    if (HttpResponse::ServerPort(server) == 0)
        return "The server address " + server + " has no valid port.";
    const ProxySettings::Route route = RouteTo(server);
    if (!route.problem.isEmpty())
        return route.problem;
    // The request goes the way the connection went: the proxy's login with it.
    response.SetProxyLogin(route.viaProxy && !route.authorization.isEmpty()
                               ? "Proxy-Authorization: " + route.authorization + "\r\n"
                               : QByteArray());
    try {
        socket.Connect(Variant(route.host), Variant(std::int32_t(route.port)));
    } catch (const RuntimeError& e) {
        return e.Description();
    }
    return {};
}

void SendRequest(CSocketMaster& socket, const ResponseGathering& response) {
    const UpdateState& state = SharedState();
    // The request line and Host stay the server's, through a proxy too.
    socket.SendData(Variant(
        HttpResponse::RequestText(state.serverHost, state.requestPath, response.RequestHeaders())));
}

QByteArray TakeArrival(CSocketMaster& socket, ResponseGathering& response) {
    QByteArray data;
    socket.GetData(data);
    return response.TakeArrival(data);
}

decltype(CSocketMaster::onError) ReportErrorTo(std::function<void(const QByteArray&)> report) {
    return [report = std::move(report)](std::int16_t Number, QByteArray& Description, std::int32_t,
                                        const QByteArray&, const QByteArray&, std::int32_t, bool&) {
        report(ErrorReason(Number, Description, SharedState().serverHost));
    };
}

QByteArray ErrorReason(std::int16_t number, const QByteArray& description,
                       const QByteArray& server) {
    // The socket's texts for a failed lookup do not say what was looked up.
    const bool lookupFailed = number >= 11001 && number <= 11004;
    if (!lookupFailed)
        return description;
    return "Cannot find the update server " + HttpResponse::ServerName(server) + " (" +
           description + ")";
}

} // namespace ServerConnection
