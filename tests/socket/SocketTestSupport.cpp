// Scripted resolver, bounded waits, plain loopback peers and the event recorder.
#include "SocketTestSupport.h"

#include "platform/runtime/Events.h"
#include "platform/runtime/MsgBox.h"
#include "platform/runtime/RuntimeError.h"
#include "socket/modSocketMaster.h"

#include <QDeadlineTimer>
#include <QMap>
#include <QTimer>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

struct ResolverState {
    std::mutex mutex;
    std::condition_variable released;
    bool lateReleased = false;
    QMap<QByteArray, ws::HostLookup> answers;
    QMap<QByteArray, int> calls;
};

namespace {

ws::HostLookup Found(const QByteArray& name, std::uint32_t address) {
    ws::HostLookup lookup;
    lookup.name = name;
    lookup.addresses = {address};
    return lookup;
}

ws::HostLookup Failed(int error) {
    ws::HostLookup lookup;
    lookup.error = error;
    return lookup;
}

// Waits until `fd` is ready for `events`, delivering the program's events meanwhile.
bool PollPumping(int fd, short events, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        DoEvents();
        pollfd p{fd, events, 0};
        if (::poll(&p, 1, 2) > 0)
            return true;
        if (deadline.hasExpired())
            return false;
    }
}

sockaddr_in LoopbackAddress(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

sockaddr* AsSockaddr(sockaddr_in* address) {
    return reinterpret_cast<sockaddr*>(address);
}

int NewSocket(int type) {
    return ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

void BindLoopback(int fd) {
    sockaddr_in address = LoopbackAddress(0);
    if (::bind(fd, AsSockaddr(&address), sizeof address) != 0)
        ADD_FAILURE() << "bind: " << errno;
}

} // namespace

ScriptedResolver::ScriptedResolver() : state(std::make_shared<ResolverState>()) {
    state->answers.insert("localhost", Found("localhost", Address("127.0.0.1")));
    state->answers.insert(TestHostName, Found(TestHostName, Address("127.0.0.1")));
    state->answers.insert("tryagain.test", Failed(11002));
    state->answers.insert("norecovery.test", Failed(11003));
    state->answers.insert("nodata.test", Failed(11004));
    previous = ws::SetHostResolver([state = state](const QByteArray& name) {
        std::unique_lock lock(state->mutex);
        ++state->calls[name];
        if (name == "late.test") {
            state->released.wait_for(lock, std::chrono::seconds(10),
                                     [&] { return state->lateReleased; });
            return Found(name, Address("127.0.0.1"));
        }
        return state->answers.value(name, Failed(11001));
    });
}

ScriptedResolver::~ScriptedResolver() {
    ReleaseLate();
    ws::SetHostResolver(previous);
}

void ScriptedResolver::Answer(const QByteArray& name, std::uint32_t address) {
    std::lock_guard lock(state->mutex);
    state->answers.insert(name, Found(name, address));
}

void ScriptedResolver::Fail(const QByteArray& name, int error) {
    std::lock_guard lock(state->mutex);
    state->answers.insert(name, Failed(error));
}

void ScriptedResolver::ReleaseLate() {
    {
        std::lock_guard lock(state->mutex);
        state->lateReleased = true;
    }
    state->released.notify_all();
}

int ScriptedResolver::Calls(const QByteArray& name) const {
    std::lock_guard lock(state->mutex);
    return state->calls.value(name);
}

std::uint32_t Address(const char* dotted) {
    in_addr address{};
    ::inet_pton(AF_INET, dotted, &address);
    return address.s_addr;
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    QTimer tick; // wakes the loop, so the deadline is seen without any other event
    tick.start(10);
    WaitUntil([&] { return done() || deadline.hasExpired(); });
    return done();
}

void RunEventsFor(int ms) {
    WaitFor([] { return false; }, ms);
}

EventLog::EventLog(CSocketMaster& socket) {
    socket.onCloseSck = [this] { lines.append("CloseSck"); };
    socket.onConnect = [this] { lines.append("Connect"); };
    socket.onConnectionRequest = [this](std::int32_t) { lines.append("ConnectionRequest"); };
    socket.onDataArrival = [this](std::int32_t total) {
        lines.append("DataArrival " + QByteArray::number(total));
    };
    socket.onError = [this](std::int16_t number, QByteArray& description, std::int32_t,
                            const QByteArray& source, const QByteArray&, std::int32_t, bool&) {
        lines.append("Error " + QByteArray::number(number) + " " + description + " " + source);
    };
    socket.onSendComplete = [this] { lines.append("SendComplete"); };
    socket.onSendProgress = [this](std::int32_t sent, std::int32_t remaining) {
        lines.append("SendProgress " + QByteArray::number(sent) + " " +
                     QByteArray::number(remaining));
    };
}

RawSocket::~RawSocket() {
    Close();
}

RawSocket::RawSocket(RawSocket&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

RawSocket& RawSocket::operator=(RawSocket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

RawSocket RawSocket::Listener(int backlog) {
    RawSocket listener(NewSocket(SOCK_STREAM));
    BindLoopback(listener.fd_);
    ::listen(listener.fd_, backlog);
    return listener;
}

RawSocket RawSocket::Udp() {
    RawSocket udp(NewSocket(SOCK_DGRAM));
    BindLoopback(udp.fd_);
    return udp;
}

RawSocket RawSocket::ConnectTo(int port, int rcvbuf) {
    RawSocket client(NewSocket(SOCK_STREAM));
    if (rcvbuf > 0)
        ::setsockopt(client.fd_, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    sockaddr_in address = LoopbackAddress(port);
    if (::connect(client.fd_, AsSockaddr(&address), sizeof address) != 0 && errno != EINPROGRESS)
        ADD_FAILURE() << "connect: " << errno;
    // Loopback connects complete in the kernel, accepted or not: no events are
    // delivered here, so a handler never sees this client half made.
    pollfd p{client.fd_, POLLOUT, 0};
    if (::poll(&p, 1, 5000) != 1)
        ADD_FAILURE() << "connect timed out";
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(client.fd_, SOL_SOCKET, SO_ERROR, &error, &length);
    if (error != 0)
        ADD_FAILURE() << "connect failed: " << error;
    return client;
}

int RawSocket::Port() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(fd_, AsSockaddr(&address), &length);
    return ntohs(address.sin_port);
}

RawSocket RawSocket::Accept(int timeoutMs) {
    if (!PollPumping(fd_, POLLIN, timeoutMs))
        return RawSocket();
    return RawSocket(::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
}

void RawSocket::SendAll(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.constData() + done,
                                 static_cast<std::size_t>(bytes.size() - done), MSG_NOSIGNAL);
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EAGAIN) {
            if (!PollPumping(fd_, POLLOUT, 5000)) {
                ADD_FAILURE() << "send timed out";
                return;
            }
        } else {
            ADD_FAILURE() << "send failed: " << errno;
            return;
        }
    }
}

QByteArray RawSocket::ReadExactly(qsizetype count, int timeoutMs) {
    QByteArray bytes;
    QDeadlineTimer deadline(timeoutMs);
    char piece[65536];
    while (bytes.size() < count && !deadline.hasExpired()) {
        const auto want = static_cast<std::size_t>(
            std::min<qsizetype>(static_cast<qsizetype>(sizeof piece), count - bytes.size()));
        const ssize_t n = ::recv(fd_, piece, want, 0);
        if (n > 0)
            bytes.append(piece, n);
        else if (n == 0)
            break;
        else
            PollPumping(fd_, POLLIN, 50);
    }
    return bytes;
}

QByteArray RawSocket::ReadUntilClosed(int timeoutMs) {
    QByteArray bytes;
    QDeadlineTimer deadline(timeoutMs);
    char piece[65536];
    while (!deadline.hasExpired()) {
        const ssize_t n = ::recv(fd_, piece, sizeof piece, 0);
        if (n > 0)
            bytes.append(piece, n);
        else if (n == 0 || errno != EAGAIN)
            break;
        else
            PollPumping(fd_, POLLIN, 50);
    }
    return bytes;
}

bool RawSocket::PeerClosed(int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    char piece[4096];
    while (!deadline.hasExpired()) {
        const ssize_t n = ::recv(fd_, piece, sizeof piece, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN))
            return true;
        if (n < 0)
            PollPumping(fd_, POLLIN, 50);
    }
    return false;
}

void RawSocket::SendTo(int port, const QByteArray& datagram) {
    sockaddr_in address = LoopbackAddress(port);
    ::sendto(fd_, datagram.constData(), static_cast<std::size_t>(datagram.size()), MSG_NOSIGNAL,
             AsSockaddr(&address), sizeof address);
}

QByteArray RawSocket::ReceiveDatagram(int timeoutMs, int* fromPort) {
    if (!PollPumping(fd_, POLLIN, timeoutMs))
        return {};
    char piece[65536];
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t n = ::recvfrom(fd_, piece, sizeof piece, 0, AsSockaddr(&from), &length);
    if (fromPort != nullptr)
        *fromPort = ntohs(from.sin_port);
    return n > 0 ? QByteArray(piece, n) : QByteArray();
}

void RawSocket::Reset() {
    linger hard{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    Close();
}

void RawSocket::Close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void SocketTest::SetUp() {
    resolver = std::make_unique<ScriptedResolver>();
    ws::SetLocalHostName(TestHostName);
    SetMsgBoxHandler([this](const MsgBoxRequest& request) {
        messageBoxes.append(request.title + ": " + request.prompt);
        return vbOK;
    });
}

void SocketTest::TearDown() {
    DoEvents();
    EXPECT_EQ(modSocketMaster::liveObjects(), 0);
    EXPECT_FALSE(modSocketMaster::serviceStarted());
    EXPECT_EQ(modSocketMaster::messageWindow(), 0);
    EXPECT_EQ(modSocketMaster::acceptRegistryCount(), 0);
    resolver.reset();
    ws::SetLocalHostName({});
    SetMsgBoxHandler({});
}

std::shared_ptr<CSocketMaster> SocketTest::ConnectedClient(RawSocket& peer) {
    RawSocket listener = RawSocket::Listener();
    auto client = CSocketMaster::Create();
    client->Connect("127.0.0.1", listener.Port());
    peer = listener.Accept();
    EXPECT_TRUE(peer.valid());
    EXPECT_TRUE(WaitFor([&] { return client->State() == sckConnected; }));
    return client;
}

std::shared_ptr<CSocketMaster>
SocketTest::AcceptedServer(RawSocket& client, const std::function<void(ws::SOCKET)>& beforeAccept,
                           int clientReceiveBuffer) {
    auto listener = CSocketMaster::Create();
    auto server = CSocketMaster::Create();
    listener->onConnectionRequest = [&](std::int32_t requestID) {
        if (beforeAccept)
            beforeAccept(requestID);
        server->Accept(requestID);
    };
    listener->Listen();
    client = RawSocket::ConnectTo(listener->LocalPort(), clientReceiveBuffer);
    EXPECT_TRUE(WaitFor([&] { return server->State() == sckConnected; }));
    listener->CloseSck();
    return server;
}

void ExpectRaises(const std::function<void()>& call, int number, const QByteArray& description,
                  const QByteArray& source) {
    try {
        call();
        ADD_FAILURE() << "nothing raised, expected " << number << " from " << source.constData();
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), number);
        EXPECT_EQ(error.Description(), description);
        EXPECT_EQ(error.Source(), source);
    }
}
