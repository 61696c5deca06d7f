// Many simultaneous connections: 2,000 loopback clients (CSocketMaster each)
// connected to one listening CSocketMaster whose accepted objects echo. At
// 100, 500, 1000 and 2000 open connections every client sends one small
// message and waits for its echo; the time of that round divided by the
// notifications it took shows whether routing grows with the number of sockets.
#include "platform/runtime/Events.h"
#include "socket/CSocketMaster.h"
#include "socket/modSocketMaster.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int MaxConnections = 2000;
constexpr int Steps[] = {100, 500, 1000, 2000};
constexpr int Rounds = 7;
const QByteArray Message = "small message from one client...";

ws::HostLookup Loopback(const QByteArray& name) {
    ws::HostLookup lookup;
    lookup.name = name;
    lookup.addresses = {htonl(INADDR_LOOPBACK)};
    return lookup;
}

void RaiseFileLimit() {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

struct Bench {
    std::shared_ptr<CSocketMaster> listener = CSocketMaster::Create();
    std::vector<std::shared_ptr<CSocketMaster>> servers;
    std::vector<std::shared_ptr<CSocketMaster>> clients;
    int connected = 0;
    int echoes = 0;
    long notifications = 0;

    void Accept(std::int32_t requestID) {
        auto server = CSocketMaster::Create();
        CSocketMaster* echo = server.get();
        server->onDataArrival = [echo](std::int32_t) {
            QByteArray text;
            echo->GetData(text);
            echo->SendData(Variant(text));
        };
        server->Accept(requestID);
        servers.push_back(std::move(server));
    }

    void Open(int port) {
        auto client = CSocketMaster::Create();
        CSocketMaster* self = client.get();
        client->onConnect = [this] { ++connected; };
        client->onDataArrival = [this, self](std::int32_t bytesTotal) {
            if (bytesTotal < Message.size())
                return;
            QByteArray text;
            self->GetData(text);
            ++echoes;
        };
        client->Connect("127.0.0.1", port);
        clients.push_back(std::move(client));
    }

    // Counts every notification the module's window receives.
    void CountNotifications() {
        const win::HWND window = modSocketMaster::messageWindow();
        const win::WNDPROC dispatch = win::GetWindowProc(window);
        win::SetWindowProc(window, [this, dispatch](win::HWND hwnd, win::UINT msg,
                                                    win::WPARAM wParam, win::LPARAM lParam) {
            if (msg == modSocketMaster::WM_SOCKET || msg == modSocketMaster::WM_HOSTLOOKUP)
                ++notifications;
            return dispatch(hwnd, msg, wParam, lParam);
        });
    }
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    RaiseFileLimit();
    ws::SetHostResolver(Loopback);
    ws::SetLocalHostName("bench-host");

    QElapsedTimer total;
    total.start();
    {
        Bench bench;
        bench.listener->onConnectionRequest = [&](std::int32_t id) { bench.Accept(id); };
        bench.listener->Bind(0, "127.0.0.1");
        bench.listener->Listen();
        bench.CountNotifications();
        const int port = bench.listener->LocalPort();

        std::printf("connections  round ms  notifications/round  us/notification (median)\n");
        for (const int step : Steps) {
            // Connects are paced to the listen backlog of 5, so none is dropped.
            while (static_cast<int>(bench.clients.size()) < step) {
                if (static_cast<int>(bench.clients.size() - bench.servers.size()) < 4)
                    bench.Open(port);
                else
                    WaitForEvents();
            }
            WaitUntil([&] {
                return bench.connected == step && static_cast<int>(bench.servers.size()) == step;
            });
            // Several rounds; the median is printed, so one slow round does not count.
            std::vector<double> perNotification;
            double roundMs = 0;
            long count = 0;
            for (int r = 0; r < Rounds; ++r) {
                bench.echoes = 0;
                const long before = bench.notifications;
                QElapsedTimer round;
                round.start();
                for (const auto& client : bench.clients)
                    client->SendData(Variant(Message));
                WaitUntil([&] { return bench.echoes == step; });
                const double ms = static_cast<double>(round.nsecsElapsed()) / 1e6;
                count = bench.notifications - before;
                perNotification.push_back(ms * 1000.0 / static_cast<double>(count));
                roundMs += ms / Rounds;
            }
            std::sort(perNotification.begin(), perNotification.end());
            std::printf("%11d  %8.1f  %13ld  %15.2f\n", step, roundMs, count,
                        perNotification[perNotification.size() / 2]);
        }
        for (const auto& client : bench.clients)
            client->CloseSck();
        for (const auto& server : bench.servers)
            server->CloseSck();
        bench.listener->CloseSck();
    }
    std::printf("total for %d connections: %.1f ms\n", MaxConnections,
                static_cast<double>(total.nsecsElapsed()) / 1e6);
    return 0;
}
