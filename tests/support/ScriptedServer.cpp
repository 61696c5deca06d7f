#include "support/ScriptedServer.h"

#include "support/LoopbackPort.h"

#include <arpa/inet.h>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr int pollSliceMs = 50;

void sendAll(int fd, const QByteArray& bytes) {
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n =
            ::send(fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += n;
    }
}

} // namespace

ScriptedServer::Script ScriptedServer::Ok(const QByteArray& body) {
    return {{{Response("200 OK", body)}}, Ending::StaySilent};
}

ScriptedServer::Script ScriptedServer::NotFound() {
    return {{{Response("404 Not Found", "<html><body><h1>404 Not Found</h1></body></html>\r\n")}},
            Ending::StaySilent};
}

QByteArray ScriptedServer::Response(const QByteArray& status, const QByteArray& body) {
    return "HTTP/1.1 " + status +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\n\r\n" + body;
}

QByteArray ScriptedServer::PartOf(const QByteArray& file, qint64 first, qint64 last, bool chunked) {
    const QByteArray part = file.mid(first, last - first + 1);
    const QByteArray head = "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " +
                            QByteArray::number(first) + '-' + QByteArray::number(last) + '/' +
                            QByteArray::number(file.size()) + "\r\n";
    if (chunked)
        return head + "Transfer-Encoding: chunked\r\n\r\n" + QByteArray::number(part.size(), 16) +
               "\r\n" + part + "\r\n0\r\n\r\n";
    return head + "Content-Length: " + QByteArray::number(part.size()) + "\r\n\r\n" + part;
}

ScriptedServer::ScriptedServer() {
    listenFd_ = ListenOnLoopback(port_, 16);
    if (::pipe2(wakeFds_, O_CLOEXEC) != 0)
        throw std::runtime_error("scripted server: no pipe");
    acceptor_ = std::thread([this] { acceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
    stopping_ = true;
    stopped_.notify_all();
    [[maybe_unused]] const ssize_t n = ::write(wakeFds_[1], "x", 1);
    acceptor_.join();
    for (std::thread* worker : workers_) {
        worker->join();
        delete worker;
    }
    ::close(listenFd_);
    ::close(wakeFds_[0]);
    ::close(wakeFds_[1]);
}

QByteArray ScriptedServer::hostAndPort() const {
    return "127.0.0.1:" + QByteArray::number(port_);
}

void ScriptedServer::script(const QByteArray& path, Script script) {
    scripts(path, {std::move(script)});
}

void ScriptedServer::scripts(const QByteArray& path, QList<Script> sequence) {
    std::lock_guard lock(mutex_);
    scripts_[path] = std::move(sequence);
}

QList<QByteArray> ScriptedServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

QList<QByteArray> ScriptedServer::requestLines() const {
    QList<QByteArray> lines;
    for (const QByteArray& request : requests())
        lines.append(request.left(request.indexOf("\r\n")));
    return lines;
}

void ScriptedServer::acceptLoop() {
    while (!stopping_) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) <= 0 || (fds[1].revents & POLLIN) != 0)
            continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ++connections_;
        std::lock_guard lock(mutex_);
        workers_.append(new std::thread([this, fd] { serve(fd); }));
    }
}

bool ScriptedServer::pause(int ms) {
    std::unique_lock lock(mutex_);
    return !stopped_.wait_for(lock, std::chrono::milliseconds(ms),
                              [this] { return stopping_.load(); });
}

void ScriptedServer::serve(int fd) {
    QByteArray received;
    QByteArray held; // answers that go out together
    char chunk[4096];
    // Each request on the connection is answered by its path's script.
    while (!stopping_) {
        // Pipelined requests already in are answered before reading more.
        const qsizetype end = received.indexOf("\r\n\r\n");
        if (end < 0) {
            pollfd pfd{fd, POLLIN, 0};
            if (::poll(&pfd, 1, pollSliceMs) <= 0)
                continue;
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                break;
            received.append(chunk, n);
            continue;
        }
        const QByteArray request = received.left(end + 4);
        received.remove(0, end + 4);
        QByteArray target = request.split(' ').value(1);
        if (target.startsWith("http://"))
            target = target.mid(target.indexOf('/', 7));
        Script script;
        {
            std::lock_guard lock(mutex_);
            requests_.append(request);
            QList<Script>& sequence = scripts_[target];
            if (sequence.isEmpty())
                sequence.append(NotFound());
            script = sequence.size() > 1 ? sequence.takeFirst() : sequence.first();
        }
        if (!script.rangeOf.isEmpty()) {
            const qsizetype at = request.indexOf("Range: bytes=") + 13;
            const QList<QByteArray> range =
                request.mid(at, request.indexOf('\r', at) - at).split('-');
            script.steps = {{PartOf(script.rangeOf, range.value(0).toLongLong(),
                                    range.value(1).toLongLong(), script.chunked)}};
        }
        for (const Step& step : script.steps) {
            if (step.pauseMs > 0 && !pause(step.pauseMs))
                break;
            if (script.chunked)
                held += step.bytes;
            else
                sendAll(fd, step.bytes);
        }
        if (received.indexOf("\r\n\r\n") < 0 || script.ending != Ending::StaySilent)
            sendAll(fd, std::exchange(held, {}));
        if (script.ending == Ending::Reset) {
            const linger abortive{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
            break;
        }
        if (script.ending == Ending::Goodbye) {
            ::shutdown(fd, SHUT_WR);
            for (int slice = 0; slice < 100 && !stopping_; ++slice) {
                pollfd pfd{fd, POLLIN, 0};
                if (::poll(&pfd, 1, pollSliceMs) > 0 && ::recv(fd, chunk, sizeof chunk, 0) <= 0)
                    break;
            }
            break;
        }
        if (script.ending == Ending::Close)
            break;
    }
    ::close(fd);
}
