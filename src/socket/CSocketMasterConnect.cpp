// CSocketMaster: socket creation and options, connect with the asynchronous
// host lookup, close and destroy.
#include "platform/runtime/RuntimeError.h"
#include "socket/CSocketMaster.h"
#include "socket/modSocketMaster.h"

#include <cstring>
#include <new>

using namespace modSocketMaster;

namespace {

// The first address of a host entry the service wrote into a lookup buffer.
// The entry's pointers are followed only where they stay inside the buffer.
bool FirstAddressInBuffer(const char* buffer, std::size_t size, std::uint32_t& address) {
    const auto start = reinterpret_cast<std::uintptr_t>(buffer);
    const auto inside = [&](const void* p, std::size_t n) {
        const auto at = reinterpret_cast<std::uintptr_t>(p);
        return at >= start && at - start <= size && size - (at - start) >= n;
    };
    ws::hostent entry;
    std::memcpy(&entry, buffer, sizeof entry);
    if (entry.h_length != 4 || !inside(entry.h_addr_list, sizeof(char*)))
        return false;
    const char* first = nullptr;
    std::memcpy(&first, entry.h_addr_list, sizeof first);
    if (first == nullptr || !inside(first, 4))
        return false;
    std::memcpy(&address, first, 4);
    return true;
}

} // namespace

void CSocketMaster::Connect(const Variant& RemoteHost, const Variant& RemotePort) {
    const auto self = shared_from_this();
    if (state != sckClosed)
        Raise(errInvalidOperation, InvalidOperationText, "CSocketMaster.Connect");
    if (!RemoteHost.IsMissing())
        remoteHost = RemoteHost.ToText();
    if (!RemotePort.IsMissing()) {
        const std::optional<double> value = RemotePort.NumericValue();
        if (!value)
            Raise(errUnsupportedType, UnsupportedTypeText, "CSocketMaster.Connect");
        const double whole = Variant::RoundHalfEven(*value);
        if (!(whole >= 1 && whole <= 65535))
            Raise(errArgumentOutOfRange, OutOfRangeText, "CSocketMaster.Connect");
        remotePort = static_cast<std::int32_t>(whole);
    }
    if (!SocketExists())
        return;
    if (protocol == sckUDP) {
        if (BindInternal())
            state = sckOpen;
        return;
    }
    const std::uint32_t address = ResolveIfHostname(remoteHost);
    if (address != 1)
        ConnectToIP(address, 0);
}

bool CSocketMaster::SocketExists() {
    if (socketHandle != -1)
        return true;
    const ws::SOCKET socket = protocol == sckTCP
                                  ? ws::socket(ws::AF_INET, ws::SOCK_STREAM, ws::IPPROTO_TCP)
                                  : ws::socket(ws::AF_INET, ws::SOCK_DGRAM, ws::IPPROTO_UDP);
    if (socket == ws::INVALID_SOCKET) {
        RaiseError(ws::WSAGetLastError(), "CSocketMaster.SocketExists");
        return false;
    }
    socketHandle = socket;
    ProcessOptions();
    return RegisterSocket(socket, this, true);
}

void CSocketMaster::ProcessOptions() {
    const auto option = [this](int name) {
        std::int32_t value = 0;
        int length = sizeof value;
        if (ws::getsockopt(socketHandle, ws::SOL_SOCKET, name, reinterpret_cast<char*>(&value),
                           &length) == ws::SOCKET_ERROR)
            RaiseServiceError(ws::WSAGetLastError(), "CSocketMaster.ProcessOptions");
        return value;
    };
    if (protocol != sckTCP) {
        const std::int32_t one = 1;
        ws::setsockopt(socketHandle, ws::SOL_SOCKET, ws::SO_BROADCAST,
                       reinterpret_cast<const char*>(&one), sizeof one);
        receiveChunkSize = sendChunkSize = option(ws::SO_MAX_MSG_SIZE);
    } else {
        receiveChunkSize = option(ws::SO_RCVBUF);
        sendChunkSize = option(ws::SO_SNDBUF);
    }
}

std::uint32_t CSocketMaster::ResolveIfHostname(const QByteArray& host) {
    const std::uint32_t address = ws::inet_addr(host.constData());
    if (address != ws::INADDR_NONE)
        return address;
    state = sckResolvingHost;
    if (AllocateLookupBuffer() == nullptr) {
        state = sckError;
        throw RuntimeError(RuntimeErrors::outOfMemory, "CSocketMaster.ResolveIfHostname");
    }
    const ws::HANDLE task = StartHostLookup(host, lookupBuffer, this);
    if (task != 0) {
        pendingLookups.insert(task);
        return 1;
    }
    const int error = ws::WSAGetLastError();
    FreeLookupBuffer();
    RaiseError(error, "CSocketMaster.ResolveIfHostname");
    return 1;
}

void CSocketMaster::OnHostResolved(std::int32_t taskHandle, std::int32_t errorCode) {
    if (state != sckResolvingHost)
        return;
    if (!pendingLookups.remove(taskHandle))
        return;
    UnregisterLookup(taskHandle);
    if (errorCode != 0) {
        FreeLookupBuffer();
        ConnectToIP(1, errorCode);
        return;
    }
    state = sckHostResolved;
    std::uint32_t address = 1;
    const bool found = FirstAddressInBuffer(lookupBuffer, ws::MAXGETHOSTSTRUCT, address);
    FreeLookupBuffer();
    // A host entry without an address is reported as such, not connected to.
    ConnectToIP(found ? address : 1, found ? 0 : ws::WSANO_DATA);
}

void CSocketMaster::ConnectToIP(std::uint32_t address, std::int32_t errorCode) {
    if (errorCode != 0) {
        RaiseError(errorCode, "CSocketMaster.ConnectToIP");
        return;
    }
    if (!BindInternal(Variant::Missing(), Variant::Missing(), true))
        return;
    state = sckConnecting;
    ws::sockaddr_in target;
    target.sin_family = ws::AF_INET;
    target.sin_port = ws::htons(static_cast<std::uint16_t>(UnsignedToInteger(remotePort)));
    target.sin_addr = address;
    if (ws::connect(socketHandle, &target, sizeof target) != ws::SOCKET_ERROR)
        return;
    const int error = ws::WSAGetLastError();
    if (error == ws::WSAEWOULDBLOCK)
        return;
    if (error == ws::WSAEADDRNOTAVAIL)
        RaiseServiceError(error, "CSocketMaster.ConnectToIP");
    RaiseError(error, "CSocketMaster.ConnectToIP");
}

char* CSocketMaster::AllocateLookupBuffer() {
    if (lookupBuffer == nullptr) {
        lookupMemory.reset(new (std::nothrow) char[ws::MAXGETHOSTSTRUCT]);
        lookupBuffer = lookupMemory.get();
    }
    return lookupBuffer;
}

void CSocketMaster::FreeLookupBuffer() {
    lookupMemory.reset();
    lookupBuffer = nullptr;
}

void CSocketMaster::CancelPendingLookups() {
    for (const ws::HANDLE task : std::as_const(pendingLookups)) {
        ws::WSACancelAsyncRequest(task);
        UnregisterLookup(task);
    }
    FreeLookupBuffer();
}

void CSocketMaster::DestroySocket() {
    if (socketHandle == -1)
        return;
    if (ws::closesocket(socketHandle) == ws::SOCKET_ERROR) {
        const int error = ws::WSAGetLastError();
        state = sckError;
        RaiseServiceError(error, "CSocketMaster.DestroySocket");
    }
    UnregisterSocket(socketHandle);
    socketHandle = -1;
}

void CSocketMaster::CloseSck() {
    const auto self = shared_from_this();
    if (socketHandle == -1)
        return;
    state = sckClosing;
    CancelPendingLookups();
    DestroySocket();
    boundLocalPort = 0;
    remoteHostIP.clear();
    receiveBuffer.clear();
    sendBuffer.clear();
    sendChunkSize = 0;
    receiveChunkSize = 0;
    state = sckClosed;
}
