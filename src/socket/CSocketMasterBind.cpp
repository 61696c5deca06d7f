// CSocketMaster: bind, the blocking name resolutions, and the local host
// name and address.
#include "platform/runtime/RuntimeError.h"
#include "socket/CSocketMaster.h"
#include "socket/modSocketMaster.h"

#include <cstring>

using namespace modSocketMaster;

namespace {

QByteArray DottedText(std::uint32_t address) {
    unsigned char bytes[4];
    std::memcpy(bytes, &address, 4);
    return QByteArray::number(bytes[0]) + '.' + QByteArray::number(bytes[1]) + '.' +
           QByteArray::number(bytes[2]) + '.' + QByteArray::number(bytes[3]);
}

bool FirstAddress(const ws::hostent* entry, std::uint32_t& address) {
    if (entry == nullptr || entry->h_length != 4 || entry->h_addr_list == nullptr ||
        entry->h_addr_list[0] == nullptr)
        return false;
    std::memcpy(&address, entry->h_addr_list[0], 4);
    return true;
}

bool IsLoopback(const QByteArray& dotted) {
    const std::uint32_t address = ws::inet_addr(dotted.constData());
    unsigned char first = 0;
    std::memcpy(&first, &address, 1);
    return address != ws::INADDR_NONE && first == 127;
}

} // namespace

void CSocketMaster::Bind(const Variant& LocalPort, const Variant& LocalIP) {
    const auto self = shared_from_this();
    if (state != sckClosed)
        Raise(errInvalidOperation, InvalidOperationText, "CSocketMaster.Bind");
    if (BindInternal(LocalPort, LocalIP))
        state = sckOpen;
}

bool CSocketMaster::BindInternal(const Variant& port, const Variant& address, bool beforeConnect) {
    if (state == sckOpen)
        return true;
    std::int32_t portValue = localPort;
    if (!port.IsMissing()) {
        const std::optional<double> value = port.NumericValue();
        if (!value)
            Raise(errUnsupportedType, UnsupportedTypeText, "CSocketMaster.BindInternal");
        if (!(*value >= 0 && *value <= 65535))
            Raise(errArgumentOutOfRange, OutOfRangeText, "CSocketMaster.BindInternal");
        portValue = static_cast<std::int32_t>(Variant::RoundHalfEven(*value));
    }
    QByteArray text;
    if (!address.IsMissing())
        text = address.ToText();
    if (text.isEmpty()) {
        if (!beforeConnect) {
            text = GetLocalIP();
        } else {
            // The client side of a connect binds to the machine's first
            // address, except where that would break the connect: when the
            // machine's name does not resolve, or resolves to a loopback
            // address that no other host can answer. There the service picks.
            try {
                text = GetLocalIP();
            } catch (const RuntimeError&) {
            }
            if (text.isEmpty() || IsLoopback(text))
                text = "0.0.0.0";
        }
    }
    const Resolution resolved = ResolveAddressNow(text);
    if (resolved.error != 0)
        Raise(errArgumentOutOfRange, InvalidArgumentText, "CSocketMaster.BindInternal");
    if (!SocketExists())
        return false;
    ws::sockaddr_in local;
    local.sin_family = ws::AF_INET;
    local.sin_port = ws::htons(static_cast<std::uint16_t>(UnsignedToInteger(portValue)));
    local.sin_addr = resolved.address;
    if (ws::bind(socketHandle, &local, sizeof local) == ws::SOCKET_ERROR)
        RaiseServiceError(ws::WSAGetLastError(), "CSocketMaster.BindInternal");
    boundLocalIP = resolved.dotted;
    if (portValue != 0) {
        localPort = portValue;
    } else {
        const std::int32_t chosen = QueryBoundPort(socketHandle);
        if (chosen == -1)
            RaiseServiceError(ws::WSAGetLastError(), "CSocketMaster.BindInternal");
        boundLocalPort = chosen;
    }
    return true;
}

CSocketMaster::Resolution CSocketMaster::ResolveAddressNow(const QByteArray& host) {
    if (host.isEmpty())
        return {1, {}, ws::WSAEAFNOSUPPORT};
    const std::uint32_t address = ws::inet_addr(host.constData());
    if (address != ws::INADDR_NONE)
        return {address, host, 0};
    std::uint32_t found = 1;
    if (FirstAddress(ws::gethostbyname(host.constData()), found))
        return {found, DottedText(found), 0};
    const int error = ws::WSAGetLastError();
    return {1, {}, error != 0 ? error : ws::WSANO_DATA};
}

QByteArray CSocketMaster::GetLocalHostName() const {
    char name[256] = {};
    if (ws::gethostname(name, sizeof name) == ws::SOCKET_ERROR)
        RaiseServiceError(ws::WSAGetLastError(), "CSocketMaster.GetLocalHostName");
    return QByteArray(name, static_cast<qsizetype>(strnlen(name, sizeof name)));
}

QByteArray CSocketMaster::GetLocalIP() const {
    const QByteArray name = GetLocalHostName();
    std::uint32_t address = 1;
    if (!FirstAddress(ws::gethostbyname(name.constData()), address)) {
        const int error = ws::WSAGetLastError();
        RaiseServiceError(error != 0 ? error : ws::WSANO_DATA, "CSocketMaster.GetLocalIP");
    }
    return DottedText(address);
}

std::int32_t CSocketMaster::QueryBoundPort(ws::SOCKET socket) {
    ws::sockaddr_in local;
    int length = sizeof local;
    if (ws::getsockname(socket, &local, &length) == ws::SOCKET_ERROR)
        return -1;
    return IntegerToUnsigned(static_cast<std::int16_t>(ws::ntohs(local.sin_port)));
}
