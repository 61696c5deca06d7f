// Host lookups: the resolver seam, the one worker thread, and the
// self-contained host entries written into the caller's buffer.
#include "platform/winsock/HostLookupService.h"

#include "platform/winsock/ServiceHandle.h"
#include "platform/winsock/WinSockNumbers.h"
#include "platform/winsock/WsaError.h"

#include <QMetaObject>
#include <arpa/inet.h>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <netdb.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace ws {
namespace {

// The seams are read by the worker thread; they are never destroyed, so a
// worker that outlives the service still finds them at process exit.
struct Seams {
    std::mutex mutex;
    HostResolver resolver;
    QByteArray localName;
};

Seams& TheSeams() {
    static Seams* seams = new Seams;
    return *seams;
}

HostLookup SystemResolve(const QByteArray& name) {
    HostLookup r;
    ::hostent entry{};
    ::hostent* found = nullptr;
    int herr = 0;
    std::vector<char> scratch(1024);
    for (;;) {
        const int rc = ::gethostbyname2_r(name.constData(), AF_INET, &entry, scratch.data(),
                                          scratch.size(), &found, &herr);
        if (rc != ERANGE || scratch.size() >= (1u << 20))
            break;
        scratch.resize(scratch.size() * 2);
    }
    // Success is a result pointer: h_errno keeps a stale value then.
    if (!found) {
        r.error = ErrorFromHerrno(herr);
        return r;
    }
    r.name = QByteArray(entry.h_name);
    for (char** a = entry.h_aliases; a && *a; ++a)
        r.aliases.append(QByteArray(*a));
    for (char** a = entry.h_addr_list; a && *a; ++a) {
        std::uint32_t address;
        std::memcpy(&address, *a, sizeof address);
        r.addresses.append(address);
    }
    return r;
}

bool OnlyDigitsAndDots(const QByteArray& name) {
    for (char c : name) {
        if ((c < '0' || c > '9') && c != '.')
            return false;
    }
    return !name.isEmpty();
}

} // namespace

// The one worker: a queue of names, resolved in order. Its results hop to
// the UI thread as queued calls; once the service has stopped it, they are dropped.
class HostLookupService::Worker {
public:
    static std::shared_ptr<Worker> Create(HostLookupService* sink) {
        auto worker = std::make_shared<Worker>();
        worker->sink = sink;
        worker->thread = std::thread([worker] { worker->Run(); });
        return worker;
    }

    void Enqueue(HANDLE task, const QByteArray& name) {
        {
            std::lock_guard lock(mutex);
            jobs.emplace_back(task, name);
        }
        wake.notify_one();
    }

    // Stops without waiting: a lookup under way may block in the system's
    // resolver for seconds, and the caller is the UI thread. The thread ends
    // on its own once that lookup returns, its result going nowhere, and is
    // joined by a later Stop.
    static void Stop(std::shared_ptr<Worker> worker) {
        {
            std::lock_guard lock(worker->mutex);
            worker->sink = nullptr;
            worker->stopping = true;
            worker->jobs.clear();
        }
        worker->wake.notify_one();
        std::vector<std::shared_ptr<Worker>>& retired = Retired();
        std::erase_if(retired, [](const std::shared_ptr<Worker>& old) {
            if (!old->Ended())
                return false;
            old->thread.join(); // it has left its loop: only the return is left
            return true;
        });
        retired.push_back(std::move(worker));
    }

private:
    void Run() {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stopping || !jobs.empty(); });
            if (stopping)
                break;
            const auto [task, name] = jobs.front();
            jobs.pop_front();
            lock.unlock();
            const HostLookup result = HostLookupService::Resolve(name);
            lock.lock();
            if (HostLookupService* s = sink) {
                QMetaObject::invokeMethod(
                    s, [s, task = task, result] { s->Complete(task, result); },
                    Qt::QueuedConnection);
            }
        }
        ended = true;
    }

    bool Ended() {
        std::lock_guard lock(mutex);
        return ended;
    }

    // Stopped workers whose threads may still be in a lookup. Never
    // destroyed, like the seams: a service that stops during the program's
    // exit still finds it, and a thread still in a lookup then ends with the
    // process, owning a share of its worker, so nothing it touches goes away.
    static std::vector<std::shared_ptr<Worker>>& Retired() {
        static auto* retired = new std::vector<std::shared_ptr<Worker>>;
        return *retired;
    }

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::pair<HANDLE, QByteArray>> jobs;
    HostLookupService* sink = nullptr;
    bool stopping = false;
    bool ended = false;
    std::thread thread;
};

HostLookupService::HostLookupService() = default;

HostLookupService::~HostLookupService() {
    if (worker)
        Worker::Stop(std::move(worker));
}

HANDLE HostLookupService::Start(win::HWND hWnd, std::uint32_t wMsg, const char* name, char* buf,
                                int buflen) {
    if (!name || !buf || buflen < 0) {
        Fail(WSAEFAULT);
        return 0;
    }
    const HANDLE task = NewServiceHandle();
    if (task == 0) {
        Fail(WSAENOBUFS);
        return 0;
    }
    if (!worker)
        worker = Worker::Create(this);
    pending.emplace(task, Task{hWnd, wMsg, buf, buflen});
    worker->Enqueue(task, QByteArray(name));
    return Succeed(task);
}

int HostLookupService::Cancel(HANDLE task) {
    if (pending.erase(task) > 0)
        return Succeed(0); // nothing is posted and buf is not touched
    return Fail(done.contains(task) ? WSAEALREADY : WSAEINVAL);
}

void HostLookupService::Complete(HANDLE task, const HostLookup& result) {
    auto it = pending.find(task);
    if (it == pending.end())
        return; // cancelled
    const Task t = it->second;
    pending.erase(it);
    done.insert(task);
    int error = result.error;
    int used = 0;
    if (error == 0) {
        used = WriteHostEntry(result, t.buf, t.buflen);
        if (used > t.buflen)
            error = WSAENOBUFS; // the low word then tells the size needed
    }
    const auto reply = static_cast<std::uint32_t>(used > 0xFFFF ? 0xFFFF : used) |
                       (static_cast<std::uint32_t>(error) << 16);
    win::PostMessage(t.hwnd, t.msg, task, static_cast<win::LPARAM>(reply));
}

HostLookup HostLookupService::Resolve(const QByteArray& name) {
    HostLookup r;
    std::uint32_t address = 0;
    if (ParseAddress(name.constData(), &address)) {
        r.name = name;
        r.addresses.append(address);
        return r;
    }
    in6_addr v6;
    if (OnlyDigitsAndDots(name) || ::inet_pton(AF_INET6, name.constData(), &v6) == 1) {
        r.error = WSANO_DATA; // a malformed IPv4 or an IPv6 literal: no IPv4 record
        return r;
    }
    const QByteArray target = name.isEmpty() ? LocalHostName() : name;
    HostResolver resolver;
    {
        std::lock_guard lock(TheSeams().mutex);
        resolver = TheSeams().resolver;
    }
    r = resolver ? resolver(target) : SystemResolve(target);
    if (r.error == 0 && r.addresses.isEmpty())
        r.error = WSANO_DATA;
    if (r.error == 0 && r.name.isEmpty())
        r.name = target;
    return r;
}

bool HostLookupService::ParseAddress(const char* text, std::uint32_t* address) {
    if (!text)
        return false;
    std::uint32_t parts[4] = {};
    int count = 0;
    const char* p = text;
    for (;;) {
        if (*p < '0' || *p > '9')
            return false;
        std::uint64_t value = 0;
        std::uint64_t base = 10;
        if (*p == '0') {
            base = 8;
            ++p;
            if (*p == 'x' || *p == 'X') {
                base = 16;
                ++p;
            }
        }
        for (;; ++p) {
            std::uint64_t digit;
            if (*p >= '0' && *p <= '9')
                digit = static_cast<std::uint64_t>(*p - '0');
            else if (base == 16 && *p >= 'a' && *p <= 'f')
                digit = static_cast<std::uint64_t>(*p - 'a' + 10);
            else if (base == 16 && *p >= 'A' && *p <= 'F')
                digit = static_cast<std::uint64_t>(*p - 'A' + 10);
            else
                break;
            if (digit >= base)
                return false;
            value = value * base + digit;
            if (value > 0xFFFFFFFFu)
                return false;
        }
        if (count == 4)
            return false;
        parts[count++] = static_cast<std::uint32_t>(value);
        if (*p != '.')
            break;
        ++p;
    }
    if (*p != '\0' && *p != ' ' && (*p < '\t' || *p > '\r'))
        return false;
    // The last part fills all the bytes the earlier parts leave.
    static constexpr std::uint32_t lastMax[4] = {0xFFFFFFFFu, 0xFFFFFFu, 0xFFFFu, 0xFFu};
    std::uint32_t value = parts[count - 1];
    if (value > lastMax[count - 1])
        return false;
    for (int i = 0; i < count - 1; ++i) {
        if (parts[i] > 0xFF)
            return false;
        value |= parts[i] << (24 - 8 * i);
    }
    const std::uint32_t net =
        (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
    *address = net;
    return true;
}

QByteArray HostLookupService::LocalHostName() {
    {
        std::lock_guard lock(TheSeams().mutex);
        if (!TheSeams().localName.isEmpty())
            return TheSeams().localName;
    }
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) < 0)
        return {};
    return QByteArray(name);
}

int HostLookupService::WriteHostEntry(const HostLookup& result, char* buf, int buflen) {
    constexpr std::size_t pointer = sizeof(char*);
    const auto aliases = static_cast<std::size_t>(result.aliases.size());
    const auto addresses = static_cast<std::size_t>(result.addresses.size());
    // [hostent][alias pointers, 0][address pointers, 0][addresses][strings]
    const std::size_t aliasList = sizeof(hostent);
    const std::size_t addressList = aliasList + (aliases + 1) * pointer;
    const std::size_t addressBytes = addressList + (addresses + 1) * pointer;
    const std::size_t strings = addressBytes + addresses * 4;
    std::size_t size = strings + static_cast<std::size_t>(result.name.size()) + 1;
    for (const QByteArray& alias : result.aliases)
        size += static_cast<std::size_t>(alias.size()) + 1;
    if (!buf || size > static_cast<std::size_t>(buflen))
        return static_cast<int>(size);

    // Copied byte by byte: the caller's buffer need not be aligned.
    const auto putPointer = [buf](std::size_t at, char* value) {
        std::memcpy(buf + at, &value, sizeof value);
    };
    char* text = buf + strings;
    const auto putText = [&text](const QByteArray& s) {
        char* start = text;
        std::memcpy(text, s.constData(), static_cast<std::size_t>(s.size()));
        text[s.size()] = '\0';
        text += s.size() + 1;
        return start;
    };
    hostent entry{};
    entry.h_name = putText(result.name);
    for (std::size_t i = 0; i < aliases; ++i)
        putPointer(aliasList + i * pointer, putText(result.aliases[static_cast<qsizetype>(i)]));
    putPointer(aliasList + aliases * pointer, nullptr);
    for (std::size_t i = 0; i < addresses; ++i) {
        char* at = buf + addressBytes + i * 4;
        std::memcpy(at, &result.addresses[static_cast<qsizetype>(i)], 4);
        putPointer(addressList + i * pointer, at);
    }
    putPointer(addressList + addresses * pointer, nullptr);
    entry.h_aliases = reinterpret_cast<char**>(buf + aliasList);
    entry.h_addrtype = static_cast<std::int16_t>(number::AfInet);
    entry.h_length = 4;
    entry.h_addr_list = reinterpret_cast<char**>(buf + addressList);
    std::memcpy(buf, &entry, sizeof entry);
    return static_cast<int>(size);
}

HostResolver SetHostResolver(HostResolver resolver) {
    std::lock_guard lock(TheSeams().mutex);
    HostResolver previous = std::move(TheSeams().resolver);
    TheSeams().resolver = std::move(resolver);
    return previous;
}

void SetLocalHostName(const QByteArray& name) {
    std::lock_guard lock(TheSeams().mutex);
    TheSeams().localName = name;
}

} // namespace ws
