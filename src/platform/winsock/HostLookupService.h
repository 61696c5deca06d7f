// The lookup half of the socket service: name resolution through the
// resolver seam, blocking (gethostbyname) and asynchronous
// (WSAAsyncGetHostByName) with one worker thread, so lookups complete in the
// order they were asked for. The worker never sees the caller's buffer: the
// host entry is written into it on the UI thread, just before the completion
// is posted.
#pragma once

#include "platform/winsock/WinSock.h"

#include <QObject>
#include <QSet>
#include <memory>
#include <unordered_map>

namespace ws {

class HostLookupService : public QObject {
public:
    HostLookupService();
    ~HostLookupService() override; // cancels every pending lookup

    HANDLE Start(win::HWND hWnd, std::uint32_t wMsg, const char* name, char* buf, int buflen);
    int Cancel(HANDLE task);

    // Resolves on the calling thread: IPv4 literals without asking the
    // resolver, IPv6 literals refused, "" as the local host.
    static HostLookup Resolve(const QByteArray& name);
    // Dotted text as inet_addr reads it ("a.b.c.d", "a.b.c", "a.b", "a"; each
    // part decimal, octal with a leading 0, or hex with 0x; the text may end
    // at a blank). Network byte order.
    static bool ParseAddress(const char* text, std::uint32_t* address);
    // The machine's name, through the seam.
    static QByteArray LocalHostName();
    // Writes the self-contained host entry of a successful lookup into buf;
    // answers the size it needs, writing nothing when buflen is smaller.
    static int WriteHostEntry(const HostLookup& result, char* buf, int buflen);

private:
    struct Task {
        win::HWND hwnd;
        std::uint32_t msg;
        char* buf;
        int buflen;
    };
    class Worker;

    void Complete(HANDLE task, const HostLookup& result);

    std::unordered_map<HANDLE, Task> pending;
    QSet<HANDLE> done;
    std::shared_ptr<Worker> worker;
};

} // namespace ws
