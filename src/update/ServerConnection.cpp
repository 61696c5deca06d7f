#include "update/ServerConnection.h"

#include "platform/runtime/RuntimeError.h"
#include "platform/runtime/Variant.h"
#include "update/HttpResponse.h"
#include "update/UpdateState.h"

namespace ServerConnection {

QByteArray Connect(CSocketMaster& socket, const QByteArray& server) {
    socket.CloseSck();
    const int port = HttpResponse::ServerPort(server);
    if (port == 0)
        return "The server address " + server + " has no valid port.";
    try {
        socket.Connect(Variant(HttpResponse::ServerName(server)), Variant(std::int32_t(port)));
    } catch (const RuntimeError& e) {
        return e.Description();
    }
    return {};
}

void SendRequest(CSocketMaster& socket) {
    const UpdateState& state = SharedState();
    socket.SendData(Variant(HttpResponse::RequestText(state.serverHost, state.requestPath)));
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
