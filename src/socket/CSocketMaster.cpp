// CSocketMaster: creation and release, properties, the Error event
// convention, and the handling of the module's notifications.
#include "socket/CSocketMaster.h"

#include "platform/runtime/MsgBox.h"
#include "platform/runtime/RuntimeError.h"
#include "socket/modSocketMaster.h"

using namespace modSocketMaster;

std::shared_ptr<CSocketMaster> CSocketMaster::Create() {
    return std::make_shared<CSocketMaster>(Token{});
}

CSocketMaster::CSocketMaster(Token) {
    InitiateProcesses();
}

CSocketMaster::~CSocketMaster() {
    try {
        CancelPendingLookups();
    } catch (...) {
    }
    if (!holdsAcceptedSocket) {
        try {
            DestroySocket();
        } catch (...) {
        }
    }
    // The routes hold this object's address: a socket that could not be closed,
    // or one this object held for an owner that never came, must not keep one.
    if (socketHandle != -1 && socketRoutes().Find(socketHandle) == this)
        UnregisterSocket(socketHandle);
    try {
        FinalizeProcesses();
    } catch (...) {
    }
}

void CSocketMaster::Raise(int number, const char* description, const char* source) {
    throw RuntimeError(number, description, source);
}

void CSocketMaster::RaiseServiceError(int code, const char* source) {
    throw RuntimeError(code, GetErrorDescription(code), source);
}

void CSocketMaster::RaiseError(std::int32_t code, const char* source) {
    state = sckError;
    QByteArray description = GetErrorDescription(code);
    bool cancelDisplay = true;
    RaiseEvent(onError, static_cast<std::int16_t>(code), description, 0, QByteArray(source),
               QByteArray(), 0, cancelDisplay);
    if (!cancelDisplay)
        MsgBox(GetErrorDescription(code), vbOKOnly, source);
}

void CSocketMaster::RemotePort(std::int32_t lngPort) {
    if (protocol == sckTCP && state != sckClosed)
        Raise(errInvalidOperation, InvalidOperationText, "CSocketMaster.RemotePort");
    if (lngPort < 0 || lngPort > 65535)
        Raise(errArgumentOutOfRange, OutOfRangeText, "CSocketMaster.RemotePort");
    remotePort = lngPort;
}

void CSocketMaster::RemoteHost(const QByteArray& strHost) {
    if (protocol == sckTCP && state != sckClosed)
        Raise(errInvalidOperation, InvalidOperationText, "CSocketMaster.RemoteHost");
    remoteHost = strHost;
}

void CSocketMaster::LocalPort(std::int32_t lngPort) {
    if (state != sckClosed)
        Raise(errInvalidOperation, InvalidOperationText, "CSocketMaster.LocalPort");
    if (lngPort < 0 || lngPort > 65535)
        Raise(errArgumentOutOfRange, OutOfRangeText, "CSocketMaster.LocalPort");
    localPort = lngPort;
}

void CSocketMaster::Protocol(std::int32_t enmProtocol) {
    if (state != sckClosed)
        Raise(errInvalidOperation, InvalidOperationText, "CSocketMaster.Protocol");
    protocol = enmProtocol;
}

QByteArray CSocketMaster::LocalHostName() const {
    return GetLocalHostName();
}

QByteArray CSocketMaster::LocalIP() const {
    if (state == sckOpen || state == sckListening)
        return boundLocalIP;
    return GetLocalIP();
}

std::int32_t CSocketMaster::BytesReceived() const {
    if (protocol != sckTCP)
        return PendingByteCount();
    return static_cast<std::int32_t>(receiveBuffer.size());
}

void CSocketMaster::WndProc(std::int32_t /*hwnd*/, std::int32_t uMsg, std::int32_t wParam,
                            std::int32_t lParam) {
    const auto self = shared_from_this();
    // An error raised while a notification is handled ends that handling; it
    // never reaches the event loop.
    try {
        if (static_cast<std::uint32_t>(uMsg) == WM_HOSTLOOKUP)
            OnHostResolved(wParam, HiWord(lParam));
        else if (static_cast<std::uint32_t>(uMsg) == WM_SOCKET)
            PostSocket(LoWord(lParam), HiWord(lParam));
    } catch (...) {
    }
}

void CSocketMaster::PostSocket(std::int32_t event, std::int32_t errorCode) {
    if (errorCode != 0) {
        RaiseError(errorCode, "CSocketMaster.PostSocket");
        return;
    }
    switch (event) {
    case ws::FD_CONNECT:
        if (state == sckConnecting) {
            // The peer's address, but not through DecodeSocketAddress: the host
            // name stays, so that a later Connect without arguments finds it.
            ws::sockaddr_in peer;
            int length = sizeof peer;
            if (ws::getpeername(socketHandle, &peer, &length) == 0) {
                remotePort = IntegerToUnsigned(static_cast<std::int16_t>(ws::ntohs(peer.sin_port)));
                remoteHostIP = StringFromPointer(ws::inet_ntoa(peer.sin_addr));
            }
            state = sckConnected;
            RaiseEvent(onConnect);
        }
        break;
    case ws::FD_WRITE:
        if (state == sckConnected && !sendBuffer.isEmpty())
            FlushSendBuffer();
        break;
    case ws::FD_READ:
        if (protocol == sckTCP) {
            if (state == sckConnected && RecvDataToBuffer() > 0)
                RaiseEvent(onDataArrival, static_cast<std::int32_t>(receiveBuffer.size()));
        } else if (state == sckOpen) {
            const ws::SOCKET socket = socketHandle;
            const std::uint32_t takenBefore = datagramsTaken;
            const std::int32_t count = PendingByteCount();
            if (count > 0)
                RaiseEvent(onDataArrival, count);
            // A datagram the handler left is dropped; one it took must not
            // cost the next one.
            if (socketHandle == socket && datagramsTaken == takenBefore)
                DiscardOneByte();
        }
        break;
    case ws::FD_ACCEPT:
        if (state == sckListening)
            AcceptConnectionRequest();
        break;
    case ws::FD_CLOSE:
        if (state == sckConnected) {
            state = sckClosing;
            RaiseEvent(onCloseSck);
        }
        break;
    default:
        break;
    }
}
