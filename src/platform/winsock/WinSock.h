// The socket service the socket object is written against: the Windows
// Sockets 1.1 calls it uses, with their results, error codes and asynchronous
// notifications, reproduced over POSIX non-blocking sockets and the Qt event
// loop. Handles are virtual (never the descriptor, never reused), IPv4 only.
//
// Every call that goes to the service sets the calling thread's last error,
// read by WSAGetLastError (0 on success); the byte-order and address-text
// conversions leave it alone. All calls belong to the UI thread.
// Nothing here ever runs caller code from inside a call: notifications are
// posted to a message window (MessageWindow.h) and delivered by the event loop.
#pragma once

#include "platform/winsock/MessageWindow.h"

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <functional>

namespace ws {

using SOCKET = std::int32_t;
using HANDLE = std::int32_t; // task handle of an asynchronous lookup; 0 = none

inline constexpr SOCKET INVALID_SOCKET = -1;
inline constexpr int SOCKET_ERROR = -1;
inline constexpr std::uint32_t INADDR_NONE = 0xFFFFFFFFu;

inline constexpr int AF_INET = 2;
inline constexpr int SOCK_STREAM = 1;
inline constexpr int SOCK_DGRAM = 2;
inline constexpr int IPPROTO_TCP = 6;
inline constexpr int IPPROTO_UDP = 17;

inline constexpr int SOL_SOCKET = 0xFFFF;
inline constexpr int SO_BROADCAST = 0x0020;
inline constexpr int SO_SNDBUF = 0x1001;
inline constexpr int SO_RCVBUF = 0x1002;
inline constexpr int SO_MAX_MSG_SIZE = 0x2003;

// listen: the longest queue the system allows (the service's SOMAXCONN, a
// macro of the system headers here).
inline constexpr int MAX_BACKLOG = 0x7FFFFFFF;

inline constexpr int MSG_PEEK = 2;
inline constexpr long FIONREAD = 0x4004667F;
inline constexpr long FIONBIO = static_cast<long>(0x8004667EL);

inline constexpr int SD_RECEIVE = 0;
inline constexpr int SD_SEND = 1;
inline constexpr int SD_BOTH = 2;

inline constexpr long FD_READ = 0x01;
inline constexpr long FD_WRITE = 0x02;
inline constexpr long FD_OOB = 0x04;
inline constexpr long FD_ACCEPT = 0x08;
inline constexpr long FD_CONNECT = 0x10;
inline constexpr long FD_CLOSE = 0x20;

inline constexpr int MAXGETHOSTSTRUCT = 1024;

// Windows Sockets error codes.
enum : int {
    WSAEINTR = 10004,
    WSAEACCES = 10013,
    WSAEFAULT = 10014,
    WSAEINVAL = 10022,
    WSAEMFILE = 10024,
    WSAEWOULDBLOCK = 10035,
    WSAEINPROGRESS = 10036,
    WSAEALREADY = 10037,
    WSAENOTSOCK = 10038,
    WSAEDESTADDRREQ = 10039,
    WSAEMSGSIZE = 10040,
    WSAEPROTOTYPE = 10041,
    WSAENOPROTOOPT = 10042,
    WSAEPROTONOSUPPORT = 10043,
    WSAESOCKTNOSUPPORT = 10044,
    WSAEOPNOTSUPP = 10045,
    WSAEPFNOSUPPORT = 10046,
    WSAEAFNOSUPPORT = 10047,
    WSAEADDRINUSE = 10048,
    WSAEADDRNOTAVAIL = 10049,
    WSAENETDOWN = 10050,
    WSAENETUNREACH = 10051,
    WSAENETRESET = 10052,
    WSAECONNABORTED = 10053,
    WSAECONNRESET = 10054,
    WSAENOBUFS = 10055,
    WSAEISCONN = 10056,
    WSAENOTCONN = 10057,
    WSAESHUTDOWN = 10058,
    WSAETOOMANYREFS = 10059,
    WSAETIMEDOUT = 10060,
    WSAECONNREFUSED = 10061,
    WSAELOOP = 10062,
    WSAENAMETOOLONG = 10063,
    WSAEHOSTDOWN = 10064,
    WSAEHOSTUNREACH = 10065,
    WSAENOTEMPTY = 10066,
    WSAEPROCLIM = 10067,
    WSAEUSERS = 10068,
    WSAEDQUOT = 10069,
    WSAESTALE = 10070,
    WSAEREMOTE = 10071,
    WSASYSNOTREADY = 10091,
    WSAVERNOTSUPPORTED = 10092,
    WSANOTINITIALISED = 10093,
    WSATYPE_NOT_FOUND = 10109,
    WSAHOST_NOT_FOUND = 11001,
    WSATRY_AGAIN = 11002,
    WSANO_RECOVERY = 11003,
    WSANO_DATA = 11004,
};

// The IPv4 socket address as the service lays it out: 16 bytes, port and
// address in network byte order.
struct sockaddr_in {
    std::int16_t sin_family = 0;
    std::uint16_t sin_port = 0;
    std::uint32_t sin_addr = 0;
    char sin_zero[8] = {};
};
static_assert(sizeof(sockaddr_in) == 16);

// The service's host entry (its own layout: 16-bit type and length). A lookup
// result is self-contained: every pointer points into the same buffer.
struct hostent {
    char* h_name;
    char** h_aliases;
    std::int16_t h_addrtype;
    std::int16_t h_length;
    char** h_addr_list; // each entry points at 4 bytes in network byte order
};

struct WSADATA {
    std::uint16_t wVersion = 0;
    std::uint16_t wHighVersion = 0;
};

// Service start-up and clean-up, counted as the service counts them.
int WSAStartup(std::uint16_t versionRequested, WSADATA* data);
int WSACleanup();
int WSAGetLastError();
void WSASetLastError(int error);

SOCKET socket(int af, int type, int protocol);
int closesocket(SOCKET s);
int bind(SOCKET s, const sockaddr_in* name, int namelen);
int connect(SOCKET s, const sockaddr_in* name, int namelen);
int listen(SOCKET s, int backlog);
SOCKET accept(SOCKET s, sockaddr_in* addr, int* addrlen);
int getsockname(SOCKET s, sockaddr_in* name, int* namelen);
int getpeername(SOCKET s, sockaddr_in* name, int* namelen);
int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen);
int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);
// FIONREAD: stream, the bytes queued (0 while listening); datagram, the
// size of the next datagram, which is what one recvfrom returns.
int ioctlsocket(SOCKET s, long cmd, std::uint32_t* argp);
int send(SOCKET s, const char* buf, int len, int flags);
int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr_in* to, int tolen);
int recv(SOCKET s, char* buf, int len, int flags);
int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr_in* from, int* fromlen);
int shutdown(SOCKET s, int how);

std::uint16_t htons(std::uint16_t hostshort);
std::uint16_t ntohs(std::uint16_t netshort);
// Dotted text to an address in network byte order; INADDR_NONE when not dotted.
std::uint32_t inet_addr(const char* cp);
// The address as dotted text; valid until the thread's next call.
const char* inet_ntoa(std::uint32_t in);

// Blocking lookups. gethostbyname's result lives in thread-local storage
// until the thread's next call; nullptr on failure, with the error set.
hostent* gethostbyname(const char* name);
int gethostname(char* name, int namelen);

// Asks for `wMsg` to `hWnd` for each event of `lEvent`: wParam = socket,
// lParam = event | error << 16. lEvent 0 cancels.
int WSAAsyncSelect(SOCKET s, win::HWND hWnd, std::uint32_t wMsg, long lEvent);

// Starts a lookup whose completion posts `wMsg` to `hWnd` with wParam = the
// task handle and lParam = used length | error << 16, after writing the host
// entry into `buf`. Returns 0 when the lookup cannot be started.
HANDLE WSAAsyncGetHostByName(win::HWND hWnd, std::uint32_t wMsg, const char* name, char* buf,
                             int buflen);
int WSACancelAsyncRequest(HANDLE asyncTaskHandle);

// Resolver seam: every name lookup of the service (blocking and asynchronous)
// goes through it. The default asks the system; tests script it, so that no
// test ever sends a query. The resolver may be called on a worker thread.
struct HostLookup {
    int error = 0; // 0, or 11001..11004
    QByteArray name;
    QList<QByteArray> aliases;
    QList<std::uint32_t> addresses; // network byte order
};
using HostResolver = std::function<HostLookup(const QByteArray& name)>;
HostResolver SetHostResolver(HostResolver resolver); // returns the previous one; empty = system

// Host-name seam for gethostname; empty = the system's name.
void SetLocalHostName(const QByteArray& name);

// How long a connect may wait for an answer before it fails with
// WSAETIMEDOUT (21 s, as the service's default; tests shorten it). Returns the
// previous limit.
int SetConnectTimeout(int milliseconds);

} // namespace ws
