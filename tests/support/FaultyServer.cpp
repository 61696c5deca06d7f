#include "support/FaultyServer.h"

#include "support/LoopbackPort.h"

#include <QElapsedTimer>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/sockios.h>
#include <poll.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int sliceMs = 100;
constexpr int lingerMs = 5000;        // for the client's close after an answer
constexpr int stallBoundMs = 60000;   // far past KORU's stall rule
constexpr int dripBoundMs = 90000;    // far past the rate floor's window
constexpr int stuckSendMs = 30000;    // a client that neither reads nor closes
constexpr qsizetype tailBytes = 1000; // announced bytes sent with the surplus

// Relative weights of the faults drawn per connection; the slow ones apart.
constexpr std::array<std::pair<FaultyServer::Fault, int>, 10> weights = {{
    {FaultyServer::Fault::Clean, 50},
    {FaultyServer::Fault::Chunked, 6},
    {FaultyServer::Fault::Interim, 6},
    {FaultyServer::Fault::CloseAtOnce, 4},
    {FaultyServer::Fault::ResetAtOnce, 4},
    {FaultyServer::Fault::ResetInHead, 5},
    {FaultyServer::Fault::ResetInBody, 6},
    {FaultyServer::Fault::CutBody, 7},
    {FaultyServer::Fault::LongBody, 6},
    {FaultyServer::Fault::ServerError, 6},
}};
// One connection in so many, up to the cap: texts, archive.
constexpr std::array<int, 2> stallOdds = {700, 60};
constexpr std::array<int, 2> dripOdds = {1000, 80};
constexpr int versionChangeOdds = 7; // per archive request

QByteArray PathOf(const QByteArray& request) {
    QByteArray path = request.split(' ').value(1);
    if (path.startsWith("http://"))
        path = path.mid(path.indexOf('/', 7));
    return path;
}

QByteArray HeaderValue(const QByteArray& request, const QByteArray& name) {
    for (const QByteArray& line : request.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

void WaitForSendQueue(int fd) {
    for (int round = 0; round < 200; ++round) {
        int queued = 0;
        if (::ioctl(fd, SIOCOUTQ, &queued) != 0 || queued == 0)
            return;
        ::usleep(10000);
    }
}

} // namespace

const char* FaultyServer::Name(Fault fault) {
    switch (fault) {
    case Fault::Clean:
        return "clean";
    case Fault::Chunked:
        return "chunked";
    case Fault::Interim:
        return "1xx first";
    case Fault::CloseAtOnce:
        return "closed at once";
    case Fault::ResetAtOnce:
        return "reset at once";
    case Fault::ResetInHead:
        return "reset in head";
    case Fault::ResetInBody:
        return "reset in body";
    case Fault::CutBody:
        return "length > body";
    case Fault::LongBody:
        return "length < body";
    case Fault::ServerError:
        return "5xx";
    case Fault::Stall:
        return "stall";
    case Fault::Drip:
        return "drip";
    }
    return "?";
}

FaultyServer::FaultyServer(Settings settings)
    : settings_(std::move(settings)), random_(settings_.seed) {
    listenFd_ = ListenOnLoopback(port_, 16);
    if (::pipe2(wakeFds_, O_CLOEXEC) != 0)
        throw std::runtime_error("faulty server: no pipe");
    thread_ = std::thread([this] { Run(); });
}

FaultyServer::~FaultyServer() {
    stopping_ = true;
    [[maybe_unused]] const ssize_t n = ::write(wakeFds_[1], "x", 1);
    thread_.join();
    ::close(listenFd_);
    ::close(wakeFds_[0]);
    ::close(wakeFds_[1]);
}

QByteArray FaultyServer::hostAndPort() const {
    return "127.0.0.1:" + QByteArray::number(port_);
}

FaultyServer::Served FaultyServer::TakeServed() {
    std::lock_guard lock(mutex_);
    Served served = std::move(served_);
    served_ = {};
    served_.archiveVersion = served.archiveVersion;
    return served;
}

std::array<int, FaultyServer::faultKinds> FaultyServer::Totals() const {
    std::lock_guard lock(mutex_);
    return totals_;
}

void FaultyServer::Run() {
    while (!stopping_) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) <= 0 || (fds[1].revents & POLLIN) != 0)
            continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0)
            Serve(fd);
    }
}

void FaultyServer::Serve(int fd) {
    const timeval sendSlice{0, sliceMs * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendSlice, sizeof sendSlice);
    QByteArray request;
    if (!ReadRequest(fd, request)) {
        ::close(fd);
        return;
    }
    const Fault fault = faults_ ? Draw(PathOf(request) == settings_.archivePath) : Fault::Clean;
    {
        std::lock_guard lock(mutex_);
        served_.faults.append(fault);
        ++totals_[std::size_t(fault)];
    }
    Act(fd, fault, AnswerFor(request));
}

bool FaultyServer::ReadRequest(int fd, QByteArray& request) {
    char chunk[4096];
    for (int slice = 0; slice < 100 && !stopping_; ++slice) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, sliceMs) <= 0)
            continue;
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return false;
        request.append(chunk, n);
        if (request.contains("\r\n\r\n"))
            return true;
        if (request.size() > 64 * 1024)
            return false;
    }
    return false;
}

qsizetype FaultyServer::Between(qsizetype low, qsizetype high) {
    return std::uniform_int_distribution<qsizetype>(low, high)(random_);
}

FaultyServer::Fault FaultyServer::Draw(bool archive) {
    const std::size_t kind = archive ? 1 : 0;
    if (stalls_[kind] < settings_.maxStalls && Between(1, stallOdds[kind]) == 1) {
        ++stalls_[kind];
        return Fault::Stall;
    }
    if (drips_[kind] < settings_.maxDrips && Between(1, dripOdds[kind]) == 1) {
        ++drips_[kind];
        return Fault::Drip;
    }
    int total = 0;
    for (const auto& [fault, weight] : weights)
        total += weight;
    qsizetype pick = Between(1, total);
    for (const auto& [fault, weight] : weights) {
        pick -= weight;
        if (pick <= 0)
            return fault;
    }
    return Fault::Clean;
}

FaultyServer::Answer FaultyServer::AnswerFor(const QByteArray& request) {
    const QByteArray path = PathOf(request);
    Answer answer;
    if (path != settings_.archivePath) {
        const auto text = settings_.texts.constFind(path);
        if (text == settings_.texts.cend()) {
            answer.status = "HTTP/1.1 404 Not Found";
            answer.headers = "Content-Type: text/html\r\n";
            answer.data = "<html><body><h1>404 Not Found</h1></body></html>\r\n";
        } else {
            answer.status = "HTTP/1.1 200 OK";
            answer.headers = "Content-Type: text/plain\r\n";
            answer.data = *text;
        }
        return answer;
    }
    // The archive changes now and then, between one request and the next.
    if (faults_ && Between(1, versionChangeOdds) == 1) {
        version_ ^= 1;
        std::lock_guard lock(mutex_);
        ++served_.versionChanges;
    }
    const int version = version_;
    answer.isArchive = true;
    answer.data = settings_.archives[std::size_t(version)];
    const QByteArray etag = "\"vanto-" + QByteArray::number(version) + '-' +
                            QByteArray::number(quint64(settings_.seed)) + '"';
    answer.headers =
        "Content-Type: application/zip\r\nAccept-Ranges: bytes\r\nETag: " + etag + "\r\n";
    answer.status = "HTTP/1.1 200 OK";
    std::int64_t asked = -1;
    const QByteArray range = HeaderValue(request, "range");
    if (range.startsWith("bytes=") && range.endsWith('-')) {
        bool ok = false;
        asked = range.mid(6, range.size() - 7).toLongLong(&ok);
        if (!ok)
            asked = -1;
    }
    const QByteArray ifRange = HeaderValue(request, "if-range");
    const qsizetype size = answer.data.size();
    if (asked >= 0 && (ifRange.isEmpty() || ifRange == etag)) {
        if (asked >= size) {
            answer.status = "HTTP/1.1 416 Range Not Satisfiable";
            answer.headers += "Content-Range: bytes */" + QByteArray::number(size) + "\r\n";
            answer.data = QByteArray();
            answer.isArchive = false;
        } else {
            answer.status = "HTTP/1.1 206 Partial Content";
            answer.headers += "Content-Range: bytes " + QByteArray::number(asked) + '-' +
                              QByteArray::number(size - 1) + '/' + QByteArray::number(size) +
                              "\r\n";
            answer.from = qsizetype(asked);
        }
    }
    std::lock_guard lock(mutex_);
    if (asked >= 0 && !ifRange.isEmpty() && ifRange != etag)
        ++served_.staleResumes;
    served_.archiveRanges.append(asked);
    served_.archiveVersion = version;
    return answer;
}

void FaultyServer::Act(int fd, Fault fault, const Answer& answer) {
    const char* body = answer.data.constData() + answer.from;
    const qsizetype length = answer.data.size() - answer.from;
    const auto head = [&](const QByteArray& framing) {
        return answer.status + "\r\n" + answer.headers + framing + "\r\n";
    };
    const auto lengthLine = [](qsizetype n) {
        return "Content-Length: " + QByteArray::number(n) + "\r\n";
    };
    bool reset = false;
    switch (fault) {
    case Fault::Interim:
        if (!Send(fd, Between(0, 1) == 0 ? QByteArray("HTTP/1.1 100 Continue\r\n\r\n")
                                         : QByteArray("HTTP/1.1 103 Early Hints\r\n"
                                                      "Link: </style.css>; rel=preload\r\n\r\n")))
            break;
        [[fallthrough]];
    case Fault::Clean:
        if (Send(fd, head(lengthLine(length))) && Send(fd, body, length))
            ClientClosed(fd, lingerMs);
        break;
    case Fault::Chunked: {
        if (!Send(fd, head("Transfer-Encoding: chunked\r\n")))
            break;
        const qsizetype largest = answer.isArchive ? 256 * 1024 : 16;
        qsizetype at = 0;
        bool sent = true;
        while (sent && at < length) {
            const qsizetype piece = std::min(Between(1, largest), length - at);
            sent = Send(fd, QByteArray::number(piece, 16) + "\r\n") && Send(fd, body + at, piece) &&
                   Send(fd, "\r\n", 2);
            at += piece;
        }
        if (sent && Send(fd, "0\r\n\r\n", 5))
            ClientClosed(fd, lingerMs);
        break;
    }
    case Fault::CloseAtOnce:
        break;
    case Fault::ResetAtOnce:
        reset = true;
        break;
    case Fault::ResetInHead: {
        const QByteArray whole = head(lengthLine(length));
        Send(fd, whole.left(Between(1, whole.size() - 1)));
        reset = true;
        break;
    }
    case Fault::ResetInBody:
    case Fault::CutBody:
        if (length > 0 && Send(fd, head(lengthLine(length))))
            Send(fd, body, Between(0, length - 1));
        reset = fault == Fault::ResetInBody;
        break;
    case Fault::LongBody: {
        // The surplus rides in one piece with the last announced bytes, so
        // that it arrives with them: a client cannot tell it otherwise.
        const qsizetype surplus = std::min<qsizetype>(length - 1, answer.isArchive ? 4096 : 16);
        if (surplus < 1) {
            reset = true;
            break;
        }
        const qsizetype extra = Between(1, surplus);
        const qsizetype tail = std::max<qsizetype>(0, length - extra - tailBytes);
        if (!Send(fd, head(lengthLine(length - extra))) || !Send(fd, body, tail))
            break;
        WaitForSendQueue(fd);
        if (Send(fd, body + tail, length - tail))
            ClientClosed(fd, lingerMs);
        break;
    }
    case Fault::ServerError: {
        static constexpr const char* statuses[] = {"500 Internal Server Error", "502 Bad Gateway",
                                                   "503 Service Unavailable"};
        const QByteArray page = "Try again later.\r\n";
        if (Send(fd, "HTTP/1.1 " + QByteArray(statuses[Between(0, 2)]) +
                         "\r\nContent-Type: text/plain\r\n" + lengthLine(page.size()) + "\r\n" +
                         page))
            ClientClosed(fd, lingerMs);
        break;
    }
    case Fault::Stall:
        if (answer.isArchive && length > 0 && Between(0, 1) == 1 &&
            !(Send(fd, head(lengthLine(length))) && Send(fd, body, Between(0, length - 1))))
            break;
        ClientClosed(fd, stallBoundMs);
        break;
    case Fault::Drip: {
        const QByteArray whole =
            head(lengthLine(length)) + QByteArray(body, std::min<qsizetype>(length, 4096));
        QElapsedTimer timer;
        timer.start();
        for (qsizetype at = 0; at < whole.size() && timer.elapsed() < dripBoundMs; ++at) {
            if (!Send(fd, whole.constData() + at, 1) || ClientClosed(fd, 500))
                break;
        }
        break;
    }
    }
    if (reset) {
        const linger abortive{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    }
    ::close(fd);
}

bool FaultyServer::Send(int fd, const char* data, qsizetype size) {
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    qsizetype sent = 0;
    while (sent < size) {
        if (stopping_ || sinceProgress.elapsed() > stuckSendMs)
            return false;
        const ssize_t n = ::send(fd, data + sent, std::size_t(size - sent), MSG_NOSIGNAL);
        if (n > 0) {
            sent += n;
            sinceProgress.restart();
        } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return false;
        }
    }
    return true;
}

bool FaultyServer::ClientClosed(int fd, int ms) {
    QElapsedTimer timer;
    timer.start();
    char scratch[4096];
    while (timer.elapsed() < ms) {
        if (stopping_)
            return true;
        pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
        if (::poll(fds, 2, sliceMs) <= 0)
            continue;
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0 &&
            ::recv(fd, scratch, sizeof scratch, 0) <= 0)
            return true;
    }
    return false;
}
