// Linux errno, resolver and h_errno codes to the socket service's codes.
#include "platform/winsock/WsaError.h"

#include <cerrno>
#include <netdb.h>

namespace ws {
namespace {

thread_local int lastError = 0;

} // namespace

int WSAGetLastError() {
    return lastError;
}

void WSASetLastError(int error) {
    lastError = error;
}

int Fail(int error) {
    lastError = error;
    return SOCKET_ERROR;
}

int ErrorFromErrno(int errnum) {
    switch (errnum) {
    case 0:
        return 0;
    case EINTR:
        return WSAEINTR;
    case EBADF:
    case ENOTSOCK:
        return WSAENOTSOCK;
    case EACCES:
    case EPERM:
        return WSAEACCES;
    case EFAULT:
        return WSAEFAULT;
    case EINVAL:
        return WSAEINVAL;
    case EMFILE:
    case ENFILE:
        return WSAEMFILE;
    case EAGAIN:
    case EINPROGRESS: // a connect under way is "would block" to the service
        return WSAEWOULDBLOCK;
    case EALREADY:
        return WSAEALREADY;
    case EDESTADDRREQ:
        return WSAEDESTADDRREQ;
    case EMSGSIZE:
        return WSAEMSGSIZE;
    case EPROTOTYPE:
        return WSAEPROTOTYPE;
    case ENOPROTOOPT:
        return WSAENOPROTOOPT;
    case EPROTONOSUPPORT:
        return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT:
        return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP:
        return WSAEOPNOTSUPP;
    case EPFNOSUPPORT:
        return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT:
        return WSAEAFNOSUPPORT;
    case EADDRINUSE:
        return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
        return WSAEADDRNOTAVAIL;
    case ENETDOWN:
        return WSAENETDOWN;
    case ENETUNREACH:
        return WSAENETUNREACH;
    case ENETRESET:
        return WSAENETRESET;
    case ECONNABORTED:
        return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE: // the caller decides when it means "shut down" instead
        return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM:
        return WSAENOBUFS;
    case EISCONN:
        return WSAEISCONN;
    case ENOTCONN:
        return WSAENOTCONN;
    case ESHUTDOWN:
        return WSAESHUTDOWN;
    case ETOOMANYREFS:
        return WSAETOOMANYREFS;
    case ETIMEDOUT:
        return WSAETIMEDOUT;
    case ECONNREFUSED:
        return WSAECONNREFUSED;
    case ELOOP:
        return WSAELOOP;
    case ENAMETOOLONG:
        return WSAENAMETOOLONG;
    case EHOSTDOWN:
        return WSAEHOSTDOWN;
    case EHOSTUNREACH:
        return WSAEHOSTUNREACH;
    case ENOTEMPTY:
        return WSAENOTEMPTY;
    case EUSERS:
        return WSAEUSERS;
    case EDQUOT:
        return WSAEDQUOT;
    case ESTALE:
        return WSAESTALE;
    case EREMOTE:
        return WSAEREMOTE;
    default: // the service's code for a failure of the network subsystem
        return WSAENETDOWN;
    }
}

int DatagramErrorFromErrno(int errnum) {
    return errnum == ECONNREFUSED ? WSAECONNRESET : ErrorFromErrno(errnum);
}

int CloseErrorFromErrno(int errnum) {
    switch (errnum) {
    case ECONNRESET:
    case EPIPE:
        return WSAECONNRESET;
    case ETIMEDOUT:
    case EHOSTUNREACH:
    case ENETUNREACH:
        return WSAECONNABORTED;
    default:
        return ErrorFromErrno(errnum);
    }
}

int ConnectErrorFromErrno(int errnum) {
    // The connect notification's documented codes have no "no route to host".
    return errnum == EHOSTUNREACH ? WSAENETUNREACH : ErrorFromErrno(errnum);
}

int ErrorFromEai(int eai, int errnum) {
    switch (eai) {
    case 0:
        return 0;
    case EAI_NONAME:
        return WSAHOST_NOT_FOUND;
    case EAI_AGAIN:
        return WSATRY_AGAIN;
    case EAI_FAIL:
        return WSANO_RECOVERY;
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
        return WSANO_DATA;
    case EAI_MEMORY:
        return WSAENOBUFS;
    case EAI_FAMILY:
        return WSAEAFNOSUPPORT;
    case EAI_SOCKTYPE:
        return WSAESOCKTNOSUPPORT;
    case EAI_BADFLAGS:
        return WSAEINVAL;
    case EAI_SERVICE:
        return WSATYPE_NOT_FOUND;
    case EAI_SYSTEM:
        return ErrorFromErrno(errnum);
    default:
        return WSANO_RECOVERY;
    }
}

int ErrorFromHerrno(int herrno) {
    if (herrno >= HOST_NOT_FOUND && herrno <= NO_DATA)
        return WSAHOST_NOT_FOUND + (herrno - HOST_NOT_FOUND); // the same order, up to WSANO_DATA
    return WSANO_RECOVERY;
}

} // namespace ws
