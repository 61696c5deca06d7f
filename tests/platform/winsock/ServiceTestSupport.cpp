// Shared pieces of the socket service tests.
#include "ServiceTestSupport.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

namespace test {

std::ostream& operator<<(std::ostream& os, const Note& n) {
    return os << "{hwnd " << n.hwnd << ", msg " << n.msg << ", wParam " << n.wParam << ", low "
              << n.low << ", high " << n.high << "}";
}

Recorder::Recorder() : hwnd(win::CreateMessageWindow()) {
    win::SetWindowProc(hwnd, [this](win::HWND h, win::UINT m, win::WPARAM w, win::LPARAM l) {
        const auto bits = static_cast<std::uint32_t>(l);
        notes.push_back({h, m, w, static_cast<int>(bits & 0xFFFF), static_cast<int>(bits >> 16)});
        if (onMessage)
            onMessage(notes.back());
        return win::LRESULT{0};
    });
}

Recorder::~Recorder() {
    win::DestroyWindow(hwnd);
}

Note Recorder::Net(ws::SOCKET s, long event, int error) const {
    return {hwnd, SocketMsg, s, static_cast<int>(event), error};
}

bool Recorder::WaitFor(std::size_t count) {
    return PumpUntil([&] { return notes.size() >= count; });
}

std::vector<Note> Recorder::For(ws::SOCKET s) const {
    std::vector<Note> out;
    for (const Note& n : notes) {
        if (n.wParam == s)
            out.push_back(n);
    }
    return out;
}

namespace {

// Blocks in the event loop until an event comes or `ms` have passed.
void WaitOnce(QTimer& wake, qint64 ms) {
    wake.start(static_cast<int>(ms > 0 ? ms : 0));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace

void Pump(int ms) {
    QTimer wake;
    wake.setSingleShot(true);
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired())
        WaitOnce(wake, deadline.remainingTime());
}

bool PumpUntil(const std::function<bool()>& done) {
    QTimer wake;
    wake.setSingleShot(true);
    QDeadlineTimer deadline(5000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        WaitOnce(wake, deadline.remainingTime());
    }
    return true;
}

int WakeupsOver(int ms) {
    int wakeups = 0;
    auto* dispatcher = QAbstractEventDispatcher::instance(QThread::currentThread());
    const auto connection =
        QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, [&] { ++wakeups; });
    Pump(ms);
    QObject::disconnect(connection);
    return wakeups;
}

ws::sockaddr_in Loopback(std::uint16_t port) {
    ws::sockaddr_in a;
    a.sin_family = ws::AF_INET;
    a.sin_port = ws::htons(port);
    a.sin_addr = ws::inet_addr("127.0.0.1");
    return a;
}

ws::SOCKET Listener(std::uint16_t* port, int backlog) {
    const ws::SOCKET s = ws::socket(ws::AF_INET, ws::SOCK_STREAM, ws::IPPROTO_TCP);
    const ws::sockaddr_in any = Loopback(0);
    EXPECT_EQ(ws::bind(s, &any, sizeof any), 0);
    EXPECT_EQ(ws::listen(s, backlog), 0);
    std::uint32_t nonBlocking = 1;
    EXPECT_EQ(ws::ioctlsocket(s, ws::FIONBIO, &nonBlocking), 0);
    *port = LocalPort(s);
    return s;
}

std::uint16_t LocalPort(ws::SOCKET s) {
    ws::sockaddr_in a;
    int len = sizeof a;
    EXPECT_EQ(ws::getsockname(s, &a, &len), 0);
    return ws::ntohs(a.sin_port);
}

int LastError() {
    return ws::WSAGetLastError();
}

void ServiceTest::SetUp() {
    ws::WSADATA data;
    ASSERT_EQ(ws::WSAStartup(0x0101, &data), 0);
}

void ServiceTest::TearDown() {
    for (ws::SOCKET s : tracked)
        ws::closesocket(s);
    EXPECT_EQ(ws::WSACleanup(), 0);
    // Whatever is still queued names windows that are gone by now.
    PumpUntil([] { return win::PendingMessageCount() == 0; });
}

ws::SOCKET ServiceTest::Track(ws::SOCKET s) {
    EXPECT_NE(s, ws::INVALID_SOCKET);
    tracked.push_back(s);
    return s;
}

ws::SOCKET ServiceTest::NewSocket(int type) {
    return Track(ws::socket(ws::AF_INET, type, 0));
}

void ServiceTest::ConnectPair(Recorder& rec, ws::SOCKET* client, ws::SOCKET* server, long mask) {
    std::uint16_t port = 0;
    const ws::SOCKET listener = Track(Listener(&port));
    *client = NewSocket();
    ASSERT_EQ(ws::WSAAsyncSelect(*client, rec.hwnd, SocketMsg, mask), 0);
    const ws::sockaddr_in to = Loopback(port);
    ASSERT_EQ(ws::connect(*client, &to, sizeof to), ws::SOCKET_ERROR);
    ASSERT_EQ(LastError(), ws::WSAEWOULDBLOCK);
    ASSERT_TRUE(PumpUntil([&] {
        *server = ws::accept(listener, nullptr, nullptr);
        return *server != ws::INVALID_SOCKET;
    }));
    Track(*server);
}

void ConnectedPairTest::SetUp() {
    ServiceTest::SetUp();
    ConnectPair(rec, &client, &server);
    ASSERT_TRUE(rec.WaitFor(2));
    rec.notes.clear();
}

} // namespace test
