// CSocketMaster: the send path. Values become bytes at the back of the send
// buffer; TCP hands the buffer to the service piece by piece until it is full
// and resumes on the next write notification, UDP sends it as one datagram.
#include "platform/runtime/RuntimeError.h"
#include "socket/CSocketMaster.h"
#include "socket/modSocketMaster.h"

using namespace modSocketMaster;

void CSocketMaster::SendData(const Variant& data) {
    const auto self = shared_from_this();
    if (protocol != sckTCP) {
        if (!SocketExists())
            return;
        if (!BindInternal())
            return;
        state = sckOpen;
    } else if (state != sckConnected) {
        Raise(errWrongState, WrongStateText, "CSocketMaster.SendData");
    }
    const std::optional<QByteArray> bytes = data.ByteImage();
    if (!bytes)
        Raise(errUnsupportedType, UnsupportedTypeText, "CSocketMaster.SendData");
    if (bytes->isEmpty())
        return;
    const bool wasEmpty = sendBuffer.isEmpty();
    sendBuffer.append(*bytes);
    if (wasEmpty)
        FlushSendBuffer();
}

void CSocketMaster::FlushSendBuffer() {
    if (protocol != sckTCP)
        SendBufferedDataUDP();
    else
        SendBufferedData();
}

void CSocketMaster::SendBufferedData() {
    const ws::SOCKET socket = socketHandle;
    std::uint32_t sent = 0; // the events carry it as a 32-bit signed count
    int last = 0;
    // A handler may close the object, or close and reconnect it: the loop
    // goes on only while the socket it started with is still the object's.
    while (!sendBuffer.isEmpty() && last != ws::SOCKET_ERROR && socketHandle == socket) {
        const qsizetype waiting = sendBuffer.size();
        const qsizetype piece =
            sendChunkSize > 0 && waiting > sendChunkSize ? qsizetype{sendChunkSize} : waiting;
        last = ws::send(socketHandle, sendBuffer.data(), static_cast<int>(piece), 0);
        if (last != ws::SOCKET_ERROR) {
            sent += static_cast<std::uint32_t>(last);
            if (last >= sendBuffer.size()) {
                sendBuffer.clear();
                RaiseEvent(onSendProgress, static_cast<std::int32_t>(sent), 0);
                sent = 0;
                RaiseEvent(onSendComplete);
            } else {
                sendBuffer.removeFront(last);
            }
            continue;
        }
        const int error = ws::WSAGetLastError();
        if (error == ws::WSAEWOULDBLOCK) {
            if (sent > 0)
                RaiseEvent(onSendProgress, static_cast<std::int32_t>(sent),
                           static_cast<std::int32_t>(sendBuffer.size()));
        } else {
            RaiseError(error, "CSocketMaster.SendBufferedData");
        }
    }
}

void CSocketMaster::SendBufferedDataUDP() {
    const Resolution destination = ResolveAddressNow(remoteHost);
    if (destination.error != 0) {
        sendBuffer.clear();
        if (destination.error == ws::WSAEAFNOSUPPORT)
            RaiseServiceError(destination.error, "CSocketMaster.SendBufferedDataUDP");
        Raise(errArgumentOutOfRange, InvalidArgumentText, "CSocketMaster.SendBufferedDataUDP");
    }
    ws::sockaddr_in target;
    target.sin_family = ws::AF_INET;
    target.sin_port = ws::htons(static_cast<std::uint16_t>(UnsignedToInteger(remotePort)));
    target.sin_addr = destination.address;
    const QByteArray datagram = sendBuffer.take(sendBuffer.size());
    if (ws::sendto(socketHandle, datagram.constData(), static_cast<int>(datagram.size()), 0,
                   &target, sizeof target) == ws::SOCKET_ERROR)
        RaiseError(ws::WSAGetLastError(), "CSocketMaster.SendBufferedDataUDP");
}
