// Start-up counting, handles, the thread's last error, byte order and
// dotted address text.
#include "ServiceTestSupport.h"

#include <thread>

namespace {

TEST(ServiceStartupTest, CallsFailUntilStartedAndCleanupIsCounted) {
    EXPECT_EQ(ws::socket(2, 1, 0), ws::INVALID_SOCKET);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSANOTINITIALISED);
    EXPECT_EQ(ws::gethostbyname("x"), nullptr);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSANOTINITIALISED);
    EXPECT_EQ(ws::WSAAsyncGetHostByName(1, 1, "x", nullptr, 0), 0);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSANOTINITIALISED);
    EXPECT_EQ(ws::WSACleanup(), ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSANOTINITIALISED);

    ws::WSADATA data;
    EXPECT_EQ(ws::WSAStartup(0x0000, &data), ws::WSAVERNOTSUPPORTED);
    ASSERT_EQ(ws::WSAStartup(0x0101, &data), 0);
    EXPECT_EQ(data.wVersion, 0x0101);
    EXPECT_EQ(data.wHighVersion, 0x0202);
    ASSERT_EQ(ws::WSAStartup(0x0101, &data), 0);
    const ws::SOCKET s = ws::socket(2, 1, 0);
    ASSERT_NE(s, ws::INVALID_SOCKET);
    EXPECT_EQ(ws::WSACleanup(), 0); // still started once
    int type = 0;
    int len = sizeof type;
    EXPECT_EQ(
        ws::getsockopt(s, ws::SOL_SOCKET, ws::SO_RCVBUF, reinterpret_cast<char*>(&type), &len), 0);
    EXPECT_EQ(ws::WSACleanup(), 0); // closes every socket
    ASSERT_EQ(ws::WSAStartup(0x0101, &data), 0);
    EXPECT_EQ(ws::closesocket(s), ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAENOTSOCK);
    const ws::SOCKET next = ws::socket(2, 1, 0);
    EXPECT_GT(next, s); // never reused, not even after a restart
    EXPECT_EQ(ws::socket(2, 3, 0), ws::INVALID_SOCKET);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAESOCKTNOSUPPORT);
    EXPECT_EQ(ws::socket(23, 1, 0), ws::INVALID_SOCKET);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEAFNOSUPPORT);
    EXPECT_EQ(ws::socket(2, 1, 17), ws::INVALID_SOCKET);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEPROTONOSUPPORT);
    EXPECT_EQ(ws::WSACleanup(), 0);
}

TEST(ServiceStartupTest, LastErrorBelongsToTheThread) {
    ws::WSASetLastError(10054);
    int other = -1;
    std::thread([&] { other = ws::WSAGetLastError(); }).join();
    EXPECT_EQ(other, 0);
    EXPECT_EQ(ws::WSAGetLastError(), 10054);
}

struct Dotted {
    const char* text;
    std::uint32_t expected; // host byte order, so the table reads naturally
};

TEST(AddressTextTest, InetAddrReadsDottedTextAsTheServiceDoes) {
    const Dotted table[] = {
        {"127.0.0.1", 0x7F000001u},
        {"10.1.2.3", 0x0A010203u},
        {"1.2.3", 0x01020003u},
        {"1.65535", 0x0100FFFFu},
        {"3232235777", 0xC0A80101u},
        {"0x7f.1", 0x7F000001u},
        {"010.0.0.1", 0x08000001u},
        {"0.0.0.0", 0u},
        {"1.2.3.4 trailing", 0x01020304u},
        {"255.255.255.255", 0xFFFFFFFFu}, // indistinguishable from failure
        {"", 0xFFFFFFFFu},
        {"1.2.3.256", 0xFFFFFFFFu},
        {"1.2.3.4.5", 0xFFFFFFFFu},
        {"1..2.3", 0xFFFFFFFFu},
        {"1.2.3.", 0xFFFFFFFFu},
        {"09.1.1.1", 0xFFFFFFFFu},
        {"host.example", 0xFFFFFFFFu},
        {"1.2.3.4x", 0xFFFFFFFFu},
        {"256.1.1", 0xFFFFFFFFu},
        {"1.2.65536", 0xFFFFFFFFu},
    };
    for (const Dotted& d : table) {
        const std::uint32_t net = ws::inet_addr(d.text);
        const auto* b = reinterpret_cast<const unsigned char*>(&net);
        const std::uint32_t host = (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) |
                                   (std::uint32_t{b[2]} << 8) | b[3];
        EXPECT_EQ(host, d.expected) << d.text;
    }
    EXPECT_EQ(ws::inet_addr(nullptr), 0xFFFFFFFFu);
}

TEST(AddressTextTest, NtoaAndByteOrderRoundTrip) {
    EXPECT_STREQ(ws::inet_ntoa(ws::inet_addr("192.168.100.254")), "192.168.100.254");
    EXPECT_STREQ(ws::inet_ntoa(0xFFFFFFFFu), "255.255.255.255");
    EXPECT_EQ(ws::htons(0x1234), 0x3412);
    EXPECT_EQ(ws::ntohs(ws::htons(80)), 80);
    const std::uint16_t net = ws::htons(80);
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(&net)[1], 80);
}

} // namespace
