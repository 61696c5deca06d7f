// Throughput of one loopback TCP stream: 256 MB between two CSocketMaster
// objects, against the same transfer through plain non-blocking POSIX sockets
// driven by one poll loop. Prints MB/s of each and their ratio.
#include "platform/runtime/Events.h"
#include "socket/CSocketMaster.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr qsizetype TotalBytes = qsizetype{256} << 20;
constexpr qsizetype BlockBytes = qsizetype{4} << 20;

QByteArray Block() {
    QByteArray block(BlockBytes, Qt::Uninitialized);
    for (qsizetype i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i * 31);
    return block;
}

ws::HostLookup Loopback(const QByteArray& name) {
    ws::HostLookup lookup;
    lookup.name = name;
    lookup.addresses = {htonl(INADDR_LOOPBACK)};
    return lookup;
}

double SocketObjects(const QByteArray& block) {
    auto listener = CSocketMaster::Create();
    auto server = CSocketMaster::Create();
    auto client = CSocketMaster::Create();
    qsizetype received = 0;
    qsizetype queued = 0;
    listener->onConnectionRequest = [&](std::int32_t requestID) { server->Accept(requestID); };
    server->onDataArrival = [&](std::int32_t) {
        QByteArray piece;
        server->GetData(piece);
        received += piece.size();
    };
    // The next block is handed over when the previous one has left.
    const auto sendNext = [&] {
        if (queued < TotalBytes) {
            queued += block.size();
            client->SendData(Variant::ByteArray(block));
        }
    };
    client->onConnect = sendNext;
    client->onSendComplete = sendNext;
    listener->Bind(0, "127.0.0.1");
    listener->Listen();
    QElapsedTimer timer;
    timer.start();
    client->Connect("127.0.0.1", listener->LocalPort());
    WaitUntil([&] { return received >= TotalBytes; });
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    client->CloseSck();
    server->CloseSck();
    listener->CloseSck();
    return static_cast<double>(received) / (1 << 20) / seconds;
}

double PlainSockets(const QByteArray& block) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener, 5);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);

    QElapsedTimer timer;
    timer.start();
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
    const int server = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK);
    QByteArray piece(65536, Qt::Uninitialized);
    qsizetype sent = 0;
    qsizetype received = 0;
    while (received < TotalBytes) {
        const short wantOut = sent < TotalBytes ? short{POLLOUT} : short{0};
        pollfd fds[2] = {{client, wantOut, 0}, {server, POLLIN, 0}};
        ::poll(fds, 2, 1000);
        if (fds[0].revents & POLLOUT) {
            const qsizetype offset = sent % block.size();
            const ssize_t n = ::send(client, block.constData() + offset,
                                     static_cast<std::size_t>(block.size() - offset), MSG_NOSIGNAL);
            if (n > 0)
                sent += n;
        }
        if (fds[1].revents & POLLIN) {
            const ssize_t n =
                ::recv(server, piece.data(), static_cast<std::size_t>(piece.size()), 0);
            if (n > 0)
                received += n;
        }
    }
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    ::close(client);
    ::close(server);
    ::close(listener);
    return static_cast<double>(received) / (1 << 20) / seconds;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ws::SetHostResolver(Loopback); // the machine's own name never goes to a name server
    ws::SetLocalHostName("bench-host");
    const QByteArray block = Block();
    // Alternating trials; the median of each side is compared, so a burst of
    // other work on the machine does not decide the ratio.
    std::vector<double> plain;
    std::vector<double> objects;
    for (int trial = 0; trial < 3; ++trial) {
        plain.push_back(PlainSockets(block));
        objects.push_back(SocketObjects(block));
    }
    std::sort(plain.begin(), plain.end());
    std::sort(objects.begin(), objects.end());
    std::printf("256 MB over loopback, median of 3 trials each\n");
    std::printf("  plain POSIX sockets, one poll loop: %8.1f MB/s\n", plain[1]);
    std::printf("  CSocketMaster to CSocketMaster:     %8.1f MB/s\n", objects[1]);
    std::printf("  ratio: %.2f (target >= 0.70)\n", objects[1] / plain[1]);
    return 0;
}
