// Shared pieces of the socket tests: a scripted resolver (no test ever sends
// a query), bounded waits in the event loop, plain POSIX loopback peers to
// talk to a CSocketMaster, and a recorder that writes the object's events as
// text lines so tests can compare whole sequences.
#pragma once

#include "socket/CSocketMaster.h"

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

inline constexpr char TestHostName[] = "koru-test-host";

// Answers "localhost" and the machine's name with 127.0.0.1, scripted names
// with their errors, "late.test" only when released, and every other name
// with 11001.
class ScriptedResolver {
public:
    ScriptedResolver();
    ~ScriptedResolver();
    void Answer(const QByteArray& name, std::uint32_t address); // network byte order
    void Fail(const QByteArray& name, int error);
    void ReleaseLate(); // lets "late.test" answer 127.0.0.1
    int Calls(const QByteArray& name) const;

private:
    // Shared with the service's worker thread, which may still run a lookup
    // when the test ends.
    std::shared_ptr<struct ResolverState> state;
    ws::HostResolver previous;
};

std::uint32_t Address(const char* dotted);

// Runs the event loop until `done` holds or `timeoutMs` passed; answers `done()`.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 5000);
// Runs the event loop for a while (for "nothing more happens" checks).
void RunEventsFor(int ms);

// Records the events of an object as lines, e.g. "DataArrival 100",
// "Error 10061 Connection refused. CSocketMaster.PostSocket".
class EventLog {
public:
    explicit EventLog(CSocketMaster& socket);
    QList<QByteArray> lines;
    QByteArray Last() const { return lines.isEmpty() ? QByteArray() : lines.back(); }
    int Count(const QByteArray& line) const { return static_cast<int>(lines.count(line)); }
};

// A plain non-blocking POSIX TCP or UDP socket on 127.0.0.1.
class RawSocket {
public:
    RawSocket() = default;
    explicit RawSocket(int fd) : fd_(fd) {}
    ~RawSocket();
    RawSocket(RawSocket&& other) noexcept;
    RawSocket& operator=(RawSocket&& other) noexcept;

    static RawSocket Listener(int backlog = 16);          // TCP, bound to 127.0.0.1, any port
    static RawSocket Udp();                               // bound to 127.0.0.1, any port
    static RawSocket ConnectTo(int port, int rcvbuf = 0); // TCP, pumping events until connected

    int fd() const { return fd_; }
    int Port() const;
    bool valid() const { return fd_ >= 0; }

    RawSocket Accept(int timeoutMs = 5000); // pumps events while waiting
    void SendAll(const QByteArray& bytes);  // pumps events while the kernel is full
    QByteArray ReadExactly(qsizetype count, int timeoutMs = 5000);
    QByteArray ReadUntilClosed(int timeoutMs = 5000);
    bool PeerClosed(int timeoutMs = 5000); // true once a read answers end of stream
    void SendTo(int port, const QByteArray& datagram);
    QByteArray ReceiveDatagram(int timeoutMs = 5000, int* fromPort = nullptr);
    void Reset(); // closes with a reset instead of a graceful close
    void Close();

private:
    int fd_ = -1;
};

// Installs the scripted resolver and the machine name, answers message boxes,
// and checks that every socket object of the test has ended.
class SocketTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // An object connected out to a plain peer, which `peer` receives.
    std::shared_ptr<CSocketMaster> ConnectedClient(RawSocket& peer);
    // An object that accepted a plain client, which `client` receives.
    // `beforeAccept` may adjust the request's socket before the object takes it.
    std::shared_ptr<CSocketMaster>
    AcceptedServer(RawSocket& client, const std::function<void(ws::SOCKET)>& beforeAccept = {},
                   int clientReceiveBuffer = 0);

    std::unique_ptr<ScriptedResolver> resolver;
    QList<QByteArray> messageBoxes; // "title: prompt"
};

// Expects `call` to raise RuntimeError with this number, description and source.
void ExpectRaises(const std::function<void()>& call, int number, const QByteArray& description,
                  const QByteArray& source);
