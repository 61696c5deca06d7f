// The socket service's calls: start-up counting, the shared handle counter,
// byte order and address text, and the forwarding of every socket and lookup
// call to the two halves of the service.
#include "platform/winsock/WinSock.h"

#include "platform/winsock/HostLookupService.h"
#include "platform/winsock/ServiceHandle.h"
#include "platform/winsock/SocketService.h"
#include "platform/winsock/WsaError.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace ws {
namespace {

constexpr std::uint16_t HighestVersion = 0x0202;

int startCount = 0;
std::int32_t lastHandle = 0;
std::unique_ptr<SocketService> sockets;
std::unique_ptr<HostLookupService> lookups;

// The socket half, or nullptr (with WSANOTINITIALISED) before start-up.
SocketService* Sockets() {
    if (!sockets)
        Fail(WSANOTINITIALISED);
    return sockets.get();
}

HostLookupService* Lookups() {
    if (!lookups)
        Fail(WSANOTINITIALISED);
    return lookups.get();
}

std::uint16_t Swap(std::uint16_t v) {
    return static_cast<std::uint16_t>((v << 8) | (v >> 8));
}

} // namespace

std::int32_t NewServiceHandle() {
    if (lastHandle == INT32_MAX)
        return 0;
    return ++lastHandle;
}

int WSAStartup(std::uint16_t versionRequested, WSADATA* data) {
    const int major = versionRequested & 0xFF;
    const int minor = versionRequested >> 8;
    if (major < 1 || (major == 1 && minor < 1))
        return WSAVERNOTSUPPORTED;
    if (!data)
        return WSAEFAULT;
    const bool above = major > 2 || (major == 2 && minor > 2);
    data->wVersion = above ? HighestVersion : versionRequested;
    data->wHighVersion = HighestVersion;
    if (startCount++ == 0) {
        sockets = std::make_unique<SocketService>();
        lookups = std::make_unique<HostLookupService>();
    }
    return 0;
}

int WSACleanup() {
    if (startCount == 0)
        return Fail(WSANOTINITIALISED);
    if (--startCount == 0) {
        // Closes every socket and cancels every lookup; queued messages stay.
        lookups.reset();
        sockets.reset();
    }
    return Succeed(0);
}

SOCKET socket(int af, int type, int protocol) {
    SocketService* s = Sockets();
    return s ? s->Socket(af, type, protocol) : INVALID_SOCKET;
}

int closesocket(SOCKET s) {
    SocketService* service = Sockets();
    return service ? service->Close(s) : SOCKET_ERROR;
}

int bind(SOCKET s, const sockaddr_in* name, int namelen) {
    SocketService* service = Sockets();
    return service ? service->Bind(s, name, namelen) : SOCKET_ERROR;
}

int connect(SOCKET s, const sockaddr_in* name, int namelen) {
    SocketService* service = Sockets();
    return service ? service->Connect(s, name, namelen) : SOCKET_ERROR;
}

int listen(SOCKET s, int backlog) {
    SocketService* service = Sockets();
    return service ? service->Listen(s, backlog) : SOCKET_ERROR;
}

SOCKET accept(SOCKET s, sockaddr_in* addr, int* addrlen) {
    SocketService* service = Sockets();
    return service ? service->Accept(s, addr, addrlen) : INVALID_SOCKET;
}

int getsockname(SOCKET s, sockaddr_in* name, int* namelen) {
    SocketService* service = Sockets();
    return service ? service->Name(s, name, namelen, false) : SOCKET_ERROR;
}

int getpeername(SOCKET s, sockaddr_in* name, int* namelen) {
    SocketService* service = Sockets();
    return service ? service->Name(s, name, namelen, true) : SOCKET_ERROR;
}

int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen) {
    SocketService* service = Sockets();
    return service ? service->GetOption(s, level, optname, optval, optlen) : SOCKET_ERROR;
}

int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
    SocketService* service = Sockets();
    return service ? service->SetOption(s, level, optname, optval, optlen) : SOCKET_ERROR;
}

int ioctlsocket(SOCKET s, long cmd, std::uint32_t* argp) {
    SocketService* service = Sockets();
    return service ? service->Ioctl(s, cmd, argp) : SOCKET_ERROR;
}

int send(SOCKET s, const char* buf, int len, int flags) {
    SocketService* service = Sockets();
    return service ? service->Send(s, buf, len, flags, nullptr, 0) : SOCKET_ERROR;
}

int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr_in* to, int tolen) {
    SocketService* service = Sockets();
    return service ? service->Send(s, buf, len, flags, to, tolen) : SOCKET_ERROR;
}

int recv(SOCKET s, char* buf, int len, int flags) {
    SocketService* service = Sockets();
    return service ? service->Receive(s, buf, len, flags, nullptr, nullptr) : SOCKET_ERROR;
}

int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr_in* from, int* fromlen) {
    SocketService* service = Sockets();
    return service ? service->Receive(s, buf, len, flags, from, fromlen) : SOCKET_ERROR;
}

int shutdown(SOCKET s, int how) {
    SocketService* service = Sockets();
    return service ? service->Shutdown(s, how) : SOCKET_ERROR;
}

int WSAAsyncSelect(SOCKET s, win::HWND hWnd, std::uint32_t wMsg, long lEvent) {
    SocketService* service = Sockets();
    return service ? service->AsyncSelect(s, hWnd, wMsg, lEvent) : SOCKET_ERROR;
}

HANDLE WSAAsyncGetHostByName(win::HWND hWnd, std::uint32_t wMsg, const char* name, char* buf,
                             int buflen) {
    HostLookupService* service = Lookups();
    return service ? service->Start(hWnd, wMsg, name, buf, buflen) : 0;
}

int WSACancelAsyncRequest(HANDLE asyncTaskHandle) {
    HostLookupService* service = Lookups();
    return service ? service->Cancel(asyncTaskHandle) : SOCKET_ERROR;
}

hostent* gethostbyname(const char* name) {
    if (!Lookups())
        return nullptr;
    if (!name) {
        Fail(WSAEFAULT);
        return nullptr;
    }
    const HostLookup result = HostLookupService::Resolve(QByteArray(name));
    if (result.error != 0) {
        Fail(result.error);
        return nullptr;
    }
    // Aligned storage for the entry, kept until the thread's next call.
    thread_local std::vector<std::max_align_t> storage;
    const int size = HostLookupService::WriteHostEntry(result, nullptr, 0);
    storage.resize(static_cast<std::size_t>(size) / sizeof(std::max_align_t) + 1);
    char* buf = reinterpret_cast<char*>(storage.data());
    HostLookupService::WriteHostEntry(result, buf, size);
    return Succeed(reinterpret_cast<hostent*>(buf));
}

int gethostname(char* name, int namelen) {
    if (!Lookups())
        return SOCKET_ERROR;
    const QByteArray local = HostLookupService::LocalHostName();
    if (!name || local.isEmpty() || namelen < local.size() + 1)
        return Fail(WSAEFAULT);
    std::memcpy(name, local.constData(), static_cast<std::size_t>(local.size()) + 1);
    return Succeed(0);
}

std::uint16_t htons(std::uint16_t hostshort) {
    return Swap(hostshort);
}

std::uint16_t ntohs(std::uint16_t netshort) {
    return Swap(netshort);
}

std::uint32_t inet_addr(const char* cp) {
    std::uint32_t address = INADDR_NONE;
    if (!HostLookupService::ParseAddress(cp, &address))
        return INADDR_NONE;
    return address;
}

const char* inet_ntoa(std::uint32_t in) {
    thread_local char text[16];
    const auto* b = reinterpret_cast<const unsigned char*>(&in);
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    return text;
}

int SetConnectTimeout(int milliseconds) {
    return SocketService::SetConnectTimeout(milliseconds);
}

} // namespace ws
