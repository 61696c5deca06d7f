// The translation of Linux, resolver and h_errno codes into the service's
// codes, with the overrides of particular calls.
#include "platform/winsock/WsaError.h"

// After the service's header: the system's macros must not reach its names.
#include <cerrno>
#include <gtest/gtest.h>
#include <netdb.h>

namespace {

struct Mapping {
    int errnum;
    int expected;
};

TEST(WsaErrorTest, LinuxErrorsMapToTheServiceCodes) {
    const Mapping table[] = {
        {EINTR, 10004},
        {EBADF, 10038},
        {ENOTSOCK, 10038},
        {EACCES, 10013},
        {EPERM, 10013},
        {EFAULT, 10014},
        {EINVAL, 10022},
        {EMFILE, 10024},
        {ENFILE, 10024},
        {EAGAIN, 10035},
        {EINPROGRESS, 10035},
        {EALREADY, 10037},
        {EDESTADDRREQ, 10039},
        {EMSGSIZE, 10040},
        {EPROTOTYPE, 10041},
        {ENOPROTOOPT, 10042},
        {EPROTONOSUPPORT, 10043},
        {ESOCKTNOSUPPORT, 10044},
        {EOPNOTSUPP, 10045},
        {EPFNOSUPPORT, 10046},
        {EAFNOSUPPORT, 10047},
        {EADDRINUSE, 10048},
        {EADDRNOTAVAIL, 10049},
        {ENETDOWN, 10050},
        {ENETUNREACH, 10051},
        {ENETRESET, 10052},
        {ECONNABORTED, 10053},
        {ECONNRESET, 10054},
        {EPIPE, 10054},
        {ENOBUFS, 10055},
        {ENOMEM, 10055},
        {EISCONN, 10056},
        {ENOTCONN, 10057},
        {ESHUTDOWN, 10058},
        {ETOOMANYREFS, 10059},
        {ETIMEDOUT, 10060},
        {ECONNREFUSED, 10061},
        {ELOOP, 10062},
        {ENAMETOOLONG, 10063},
        {EHOSTDOWN, 10064},
        {EHOSTUNREACH, 10065},
        {ENOTEMPTY, 10066},
        {EUSERS, 10068},
        {EDQUOT, 10069},
        {ESTALE, 10070},
        {EREMOTE, 10071},
        {0, 0},
    };
    for (const Mapping& m : table)
        EXPECT_EQ(ws::ErrorFromErrno(m.errnum), m.expected) << "errno " << m.errnum;
}

TEST(WsaErrorTest, ContextsOverrideTheTable) {
    EXPECT_EQ(ws::DatagramErrorFromErrno(ECONNREFUSED), ws::WSAECONNRESET);
    EXPECT_EQ(ws::DatagramErrorFromErrno(EMSGSIZE), ws::WSAEMSGSIZE);
    const Mapping close[] = {{ECONNRESET, 10054},
                             {EPIPE, 10054},
                             {ETIMEDOUT, 10053},
                             {EHOSTUNREACH, 10053},
                             {ENETUNREACH, 10053}};
    for (const Mapping& m : close)
        EXPECT_EQ(ws::CloseErrorFromErrno(m.errnum), m.expected) << "errno " << m.errnum;
    EXPECT_EQ(ws::ConnectErrorFromErrno(ECONNREFUSED), ws::WSAECONNREFUSED);
    EXPECT_EQ(ws::ConnectErrorFromErrno(EHOSTUNREACH), ws::WSAENETUNREACH);
    EXPECT_EQ(ws::ConnectErrorFromErrno(ETIMEDOUT), ws::WSAETIMEDOUT);
}

TEST(WsaErrorTest, ResolverCodesMapToTheLookupErrors) {
    const Mapping eai[] = {{EAI_NONAME, 11001},
                           {EAI_AGAIN, 11002},
                           {EAI_FAIL, 11003},
                           {EAI_NODATA, 11004},
                           {EAI_ADDRFAMILY, 11004},
                           {EAI_MEMORY, 10055},
                           {EAI_FAMILY, 10047},
                           {EAI_SOCKTYPE, 10044},
                           {EAI_BADFLAGS, 10022},
                           {EAI_SERVICE, 10109},
                           {0, 0}};
    for (const Mapping& m : eai)
        EXPECT_EQ(ws::ErrorFromEai(m.errnum, 0), m.expected) << "EAI " << m.errnum;
    EXPECT_EQ(ws::ErrorFromEai(EAI_SYSTEM, EMFILE), ws::WSAEMFILE);
    const Mapping herrno[] = {
        {HOST_NOT_FOUND, 11001}, {TRY_AGAIN, 11002}, {NO_RECOVERY, 11003}, {NO_DATA, 11004}};
    for (const Mapping& m : herrno)
        EXPECT_EQ(ws::ErrorFromHerrno(m.errnum), m.expected) << "h_errno " << m.errnum;
}

} // namespace
