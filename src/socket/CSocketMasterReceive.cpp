// CSocketMaster: the receive path. TCP data are read into the receive buffer
// one piece per read notification and taken from it by GetData / PeekData;
// UDP datagrams stay with the service until GetData / PeekData reads them.
#include "platform/runtime/RuntimeError.h"
#include "socket/CSocketMaster.h"
#include "socket/modSocketMaster.h"

#include <algorithm>
#include <cmath>

using namespace modSocketMaster;

namespace {
// Read size when the service reported no buffer size.
constexpr std::int32_t FallbackChunkSize = 8192;
} // namespace

std::int32_t CSocketMaster::RecvDataToBuffer() {
    const std::int32_t size = receiveChunkSize > 0 ? receiveChunkSize : FallbackChunkSize;
    char* piece = receiveBuffer.grow(size);
    const int received = ws::recv(socketHandle, piece, size, 0);
    receiveBuffer.trimBack(received > 0 ? size - received : size);
    if (received == ws::SOCKET_ERROR) {
        const int error = ws::WSAGetLastError();
        // Nothing to read after all: the service may say so for a notification
        // that was already on its way.
        if (error == ws::WSAEWOULDBLOCK)
            return 0;
        state = sckError;
        RaiseServiceError(error, "CSocketMaster.RecvDataToBuffer");
    }
    return received;
}

std::int32_t CSocketMaster::AvailableBytes() const {
    return protocol != sckTCP ? PendingByteCount()
                              : static_cast<std::int32_t>(receiveBuffer.size());
}

void CSocketMaster::GetData(Variant& data, Variant& varType, Variant& maxLen) {
    const auto self = shared_from_this();
    if (protocol == sckTCP) {
        if (state != sckConnected && !holdsAcceptedSocket)
            Raise(errWrongState, WrongStateText, "CSocketMaster.GetData");
    } else {
        if (state != sckOpen)
            Raise(errWrongState, WrongStateText, "CSocketMaster.GetData");
        if (PendingByteCount() <= 0)
            return;
    }
    TakeData(data, varType, maxLen, false);
}

void CSocketMaster::PeekData(Variant& data, Variant& varType, Variant& maxLen) {
    const auto self = shared_from_this();
    if (protocol == sckTCP) {
        if (state != sckConnected)
            Raise(errWrongState, WrongStateText, "CSocketMaster.PeekData");
    } else {
        if (state != sckOpen)
            Raise(errWrongState, WrongStateText, "CSocketMaster.PeekData");
        if (PendingByteCount() <= 0)
            return;
    }
    TakeData(data, varType, maxLen, true);
}

void CSocketMaster::TakeData(Variant& data, Variant& varType, Variant& maxLen, bool peek) {
    if (!maxLen.IsMissing()) {
        const std::optional<double> limit = maxLen.NumericValue();
        if (!limit)
            maxLen = Variant(AvailableBytes());
        else if (Variant::RoundHalfEven(*limit) < 0)
            Raise(errArgumentOutOfRange, OutOfRangeText,
                  peek ? "CSocketMaster.PeekData" : "CSocketMaster.GetData");
    }
    RecvData(data, peek, varType, maxLen);
}

void CSocketMaster::GetData(Variant& data, Variant& varType) {
    Variant maxLen = Variant::Missing();
    GetData(data, varType, maxLen);
}

void CSocketMaster::GetData(Variant& data) {
    Variant varType = Variant::Missing();
    GetData(data, varType);
}

void CSocketMaster::GetData(QByteArray& text) {
    Variant data(text);
    GetData(data);
    text = data.ToText();
}

void CSocketMaster::PeekData(Variant& data, Variant& varType) {
    Variant maxLen = Variant::Missing();
    PeekData(data, varType, maxLen);
}

void CSocketMaster::PeekData(Variant& data) {
    Variant varType = Variant::Missing();
    PeekData(data, varType);
}

void CSocketMaster::PeekData(QByteArray& text) {
    Variant data(text);
    PeekData(data);
    text = data.ToText();
}

std::int32_t CSocketMaster::RecvData(Variant& data, bool peek, Variant& varType, Variant& maxLen) {
    const std::int32_t available = AvailableBytes();
    std::int32_t kind = vbByteArray;
    if (!data.IsEmpty()) {
        kind = data.VarType();
    } else if (!varType.IsMissing()) {
        const std::optional<double> asked = varType.NumericValue();
        if (!asked || std::abs(*asked) > 2147483647.0)
            Raise(errUnsupportedType, UnsupportedTypeText, "CSocketMaster.RecvData");
        kind = static_cast<std::int32_t>(Variant::RoundHalfEven(*asked));
    }
    varType = Variant(kind);

    std::int32_t size = 0;
    if (kind == vbString || kind == vbByteArray) {
        if (maxLen.IsMissing()) {
            if (available == 0) {
                data = Variant::EmptyOf(kind);
                return 0;
            }
            size = available;
        } else {
            const double limit = Variant::RoundHalfEven(maxLen.NumericValue().value_or(0));
            if (limit == 0 || available == 0) {
                data = Variant::EmptyOf(kind);
                if (protocol == sckUDP) {
                    DiscardOneByte();
                    RaiseServiceError(ws::WSAEMSGSIZE, "CSocketMaster.RecvData");
                }
                return 0;
            }
            size = limit > available ? available : static_cast<std::int32_t>(limit);
        }
    } else if (Variant::FixedSize(kind) != 0) {
        size = Variant::FixedSize(kind);
        if (available < size)
            return 0;
    } else {
        Raise(errUnsupportedType, UnsupportedTypeText, "CSocketMaster.RecvData");
    }

    std::int32_t errorCode = 0;
    const QByteArray bytes = TakeReceivedBytes(size, peek, errorCode);
    if (kind == vbString)
        data = Variant(bytes);
    else if (kind == vbByteArray)
        data = Variant::ByteArray(bytes);
    else
        data = Variant::FromBytes(kind, bytes);
    if (errorCode != 0)
        RaiseServiceError(errorCode, "CSocketMaster.RecvData");
    return size;
}

QByteArray CSocketMaster::TakeReceivedBytes(std::int32_t size, bool peek, std::int32_t& errorCode) {
    if (protocol == sckTCP)
        return peek ? receiveBuffer.front(size) : receiveBuffer.take(size);
    QByteArray datagram(size, '\0');
    ws::sockaddr_in sender;
    int length = sizeof sender;
    if (ws::recvfrom(socketHandle, datagram.data(), size, peek ? ws::MSG_PEEK : 0, &sender,
                     &length) == ws::SOCKET_ERROR)
        errorCode = ws::WSAGetLastError();
    if (!peek)
        ++datagramsTaken;
    DecodeSocketAddress(sender, remotePort, remoteHostIP);
    return datagram;
}

std::int32_t CSocketMaster::PendingByteCount() const {
    std::uint32_t count = 0;
    if (ws::ioctlsocket(socketHandle, ws::FIONREAD, &count) == ws::SOCKET_ERROR)
        return 0;
    return static_cast<std::int32_t>(std::min<std::uint32_t>(count, 2147483647u));
}

void CSocketMaster::DiscardOneByte() {
    char scratch = 0;
    ws::recv(socketHandle, &scratch, 1, 0);
    ++datagramsTaken;
}
