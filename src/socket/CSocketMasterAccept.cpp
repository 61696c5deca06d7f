// CSocketMaster: listening, the connection requests it produces, and Accept,
// which hands an accepted connection to its owner together with whatever
// arrived while it waited in the module's accept registry.
#include "platform/runtime/RuntimeError.h"
#include "socket/CSocketMaster.h"
#include "socket/modSocketMaster.h"

using namespace modSocketMaster;

void CSocketMaster::Listen() {
    const auto self = shared_from_this();
    if (state != sckClosed && state != sckOpen)
        Raise(errInvalidOperation, InvalidOperationText, "CSocketMaster.Listen");
    if (!SocketExists())
        return;
    if (!BindInternal())
        return;
    if (ws::listen(socketHandle, backlog) == ws::SOCKET_ERROR)
        RaiseServiceError(ws::WSAGetLastError(), "CSocketMaster.Listen");
    state = sckListening;
}

void CSocketMaster::Backlog(std::int32_t lngBacklog) {
    if (state != sckClosed && state != sckOpen)
        Raise(errInvalidOperation, InvalidOperationText, "CSocketMaster.Backlog");
    if (lngBacklog < 1)
        Raise(errArgumentOutOfRange, OutOfRangeText, "CSocketMaster.Backlog");
    backlog = lngBacklog;
}

void CSocketMaster::AcceptConnectionRequest() {
    ws::sockaddr_in peer;
    int length = sizeof peer;
    const ws::SOCKET accepted = ws::accept(socketHandle, &peer, &length);
    if (accepted == ws::INVALID_SOCKET)
        RaiseServiceError(ws::WSAGetLastError(), "CSocketMaster.PostSocket");
    RegisterAccept(accepted);
    const std::int32_t savedPort = remotePort;
    const QByteArray savedHostIP = remoteHostIP;
    const QByteArray savedHost = remoteHost;
    ReadPeerAddress(accepted, remotePort, remoteHostIP, remoteHost);
    const auto finish = [&] {
        if (state == sckListening) {
            remotePort = savedPort;
            remoteHostIP = savedHostIP;
            remoteHost = savedHost;
        }
        if (IsAcceptRegistered(accepted)) {
            ws::closesocket(accepted);
            UnregisterSocket(accepted);
            UnregisterAccept(accepted);
        }
    };
    // A handler that raises still leaves no request waiting: nobody could
    // take it later, and its socket and holder would never be released.
    try {
        RaiseEvent(onConnectionRequest, accepted);
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

void CSocketMaster::Accept(std::int32_t requestID) {
    const auto self = shared_from_this();
    if (state != sckClosed)
        Raise(errInvalidOperation, InvalidOperationText, "CSocketMaster.Accept");
    protocol = sckTCP;
    socketHandle = requestID;
    ProcessOptions();
    if (!IsAcceptRegistered(requestID)) {
        if (IsSocketRegistered(requestID)) {
            // The socket is another object's: this one lets go of it again, so
            // that neither its CloseSck nor its release touches it.
            socketHandle = -1;
            sendChunkSize = 0;
            receiveChunkSize = 0;
            Raise(errWrongState, WrongStateText, "CSocketMaster.Accept");
        }
        holdsAcceptedSocket = true;
        state = sckConnected;
        RegisterSocket(requestID, this, false);
        return;
    }
    const std::shared_ptr<CSocketMaster> holder = GetAcceptObject(requestID);
    UnregisterAccept(requestID);
    ws::sockaddr_in local;
    int length = sizeof local;
    if (ws::getsockname(socketHandle, &local, &length) == ws::SOCKET_ERROR)
        RaiseServiceError(ws::WSAGetLastError(), "CSocketMaster.Accept");
    boundLocalPort = IntegerToUnsigned(static_cast<std::int16_t>(ws::ntohs(local.sin_port)));
    boundLocalIP = StringFromPointer(ws::inet_ntoa(local.sin_addr));
    ReadPeerAddress(socketHandle, remotePort, remoteHostIP, remoteHost);
    state = sckConnected;
    if (holder->BytesReceived() > 0) {
        QByteArray waiting;
        holder->GetData(waiting);
        receiveBuffer.append(waiting);
    }
    ChangeSocketRouteOwner(requestID, this);
    const ws::SOCKET socket = socketHandle;
    if (!receiveBuffer.isEmpty())
        RaiseEvent(onDataArrival, static_cast<std::int32_t>(receiveBuffer.size()));
    // The handler may have closed the object; a close the holder saw belongs
    // to this socket only.
    if (holder->State() == sckClosing && socketHandle == socket && state == sckConnected) {
        state = sckClosing;
        RaiseEvent(onCloseSck);
    }
}

bool CSocketMaster::ReadPeerAddress(ws::SOCKET socket, std::int32_t& port, QByteArray& address,
                                    QByteArray& host) {
    ws::sockaddr_in peer;
    int length = sizeof peer;
    if (ws::getpeername(socket, &peer, &length) != 0) {
        port = 0;
        address.clear();
        host.clear();
        return false;
    }
    DecodeSocketAddress(peer, port, address);
    host.clear();
    return true;
}

void CSocketMaster::DecodeSocketAddress(const ws::sockaddr_in& socketAddress, std::int32_t& port,
                                        QByteArray& address) {
    port = IntegerToUnsigned(static_cast<std::int16_t>(ws::ntohs(socketAddress.sin_port)));
    address = StringFromPointer(ws::inet_ntoa(socketAddress.sin_addr));
    remoteHost.clear();
}
