// Shared pieces of the socket service tests: a message window that records
// what reaches it, bounded event-loop pumping, and loopback socket helpers.
#pragma once

#include "platform/winsock/MessageWindow.h"
#include "platform/winsock/WinSock.h"

#include <QByteArray>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>
#include <vector>

namespace test {

inline constexpr win::UINT SocketMsg = 2049;
inline constexpr win::UINT LookupMsg = 2048;

// One delivered message, with lParam split as the service builds it.
struct Note {
    win::HWND hwnd;
    win::UINT msg;
    win::WPARAM wParam;
    int low;  // the network event, or the host entry's length
    int high; // the error code

    bool operator==(const Note&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Note& n);

// A hidden window whose procedure records every message, in order.
class Recorder {
public:
    Recorder();
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    win::HWND hwnd;
    std::vector<Note> notes;
    // Runs after a message is recorded (tests call the service from here).
    std::function<void(const Note&)> onMessage;

    // A socket notification as this window would record it.
    Note Net(ws::SOCKET s, long event, int error = 0) const;
    // Pumps events until `count` messages have arrived or 5 s have passed.
    bool WaitFor(std::size_t count);
    // The messages naming socket s.
    std::vector<Note> For(ws::SOCKET s) const;
};

// Delivers events for about `ms` milliseconds.
void Pump(int ms);
// Delivers events until `done` answers true or 5 s have passed.
bool PumpUntil(const std::function<bool()>& done);

// Event-loop wake-ups over `ms` milliseconds: few when nothing happens, a
// great many when a persistent condition keeps a notifier firing.
int WakeupsOver(int ms);

ws::sockaddr_in Loopback(std::uint16_t port);
// A TCP socket listening on a free loopback port.
ws::SOCKET Listener(std::uint16_t* port, int backlog = 5);
std::uint16_t LocalPort(ws::SOCKET s);
int LastError();

// Starts the service for each test and closes whatever the test left open.
class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A socket closed at the end of the test.
    ws::SOCKET Track(ws::SOCKET s);
    ws::SOCKET NewSocket(int type = ws::SOCK_STREAM);
    // A connected loopback pair: `client` registered with `rec`, server as accepted.
    void ConnectPair(Recorder& rec, ws::SOCKET* client, ws::SOCKET* server, long mask = 0x3B);

    std::vector<ws::SOCKET> tracked;
};

// A connected loopback pair: `client` registered with `rec` (its connect and
// write notifications already delivered and cleared), `server` accepted and
// not registered.
class ConnectedPairTest : public ServiceTest {
protected:
    void SetUp() override;

    Recorder rec;
    ws::SOCKET client = 0;
    ws::SOCKET server = 0;
};

} // namespace test
