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
    return [report = std::move(report)](std::int16_t, QByteArray& Description, std::int32_t,
                                        const QByteArray&, const QByteArray&, std::int32_t,
                                        bool&) { report(Description); };
}

} // namespace ServerConnection
