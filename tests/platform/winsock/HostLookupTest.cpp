// Host lookups through a scripted resolver (no test sends a query): request
// order, cancelling, error codes, short buffers, literals, blocking lookups.
#include "ServiceTestSupport.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QWaitCondition>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

using test::Note;
using test::Recorder;

struct Script {
    QMutex mutex;
    QWaitCondition released;
    bool slowReleased = false;
    std::atomic<int> calls = 0;
};

class HostLookupTest : public test::ServiceTest {
protected:
    Recorder rec;
    std::shared_ptr<Script> script = std::make_shared<Script>();
    ws::HostResolver previous;

    void SetUp() override {
        ServiceTest::SetUp();
        previous = ws::SetHostResolver([s = script](const QByteArray& name) {
            ++s->calls;
            ws::HostLookup r;
            if (name == "slow.test") {
                // Completes only when the test lets it (bounded, should it never).
                QMutexLocker lock(&s->mutex);
                if (!s->slowReleased)
                    s->released.wait(&s->mutex, 5000);
            }
            if (name == "twoseconds.test")
                std::this_thread::sleep_for(std::chrono::seconds(2)); // a slow system lookup
            if (name.startsWith("error")) {
                r.error = name.mid(5).toInt();
                return r;
            }
            r.name = "canonical." + name;
            r.aliases = {"alias1", "alias2"};
            r.addresses = {ws::inet_addr("10.0.0.1"), ws::inet_addr("10.0.0.2")};
            return r;
        });
    }

    void TearDown() override {
        Release();
        ws::SetHostResolver(previous);
        ws::SetLocalHostName({});
        ServiceTest::TearDown();
    }

    void Release() {
        QMutexLocker lock(&script->mutex);
        script->slowReleased = true;
        script->released.wakeAll();
    }

    ws::HANDLE Lookup(const char* name, char* buf, int buflen = ws::MAXGETHOSTSTRUCT) {
        const ws::HANDLE task =
            ws::WSAAsyncGetHostByName(rec.hwnd, test::LookupMsg, name, buf, buflen);
        EXPECT_NE(task, 0);
        return task;
    }

    Note Done(ws::HANDLE task, int length, int error = 0) const {
        return {rec.hwnd, test::LookupMsg, task, length, error};
    }

    static QByteArray Address(const ws::hostent* h, int i) {
        return QByteArray(h->h_addr_list[i], 4);
    }
};

TEST_F(HostLookupTest, LookupsCompleteInRequestOrderWithSelfContainedEntries) {
    alignas(8) char slow[ws::MAXGETHOSTSTRUCT];
    alignas(8) char fast[ws::MAXGETHOSTSTRUCT];
    const ws::HANDLE first = Lookup("slow.test", slow);
    const ws::HANDLE second = Lookup("fast.test", fast);
    EXPECT_GT(second, first);
    test::Pump(50);
    EXPECT_TRUE(rec.notes.empty()); // the second waits behind the first
    Release();
    ASSERT_TRUE(rec.WaitFor(2));
    ASSERT_EQ(rec.notes.size(), 2u);
    EXPECT_EQ(rec.notes[0].wParam, first);
    EXPECT_EQ(rec.notes[1].wParam, second);
    EXPECT_EQ(rec.notes[1].high, 0);
    const auto* h = reinterpret_cast<const ws::hostent*>(fast);
    EXPECT_STREQ(h->h_name, "canonical.fast.test");
    EXPECT_EQ(h->h_addrtype, ws::AF_INET);
    EXPECT_EQ(h->h_length, 4);
    EXPECT_STREQ(h->h_aliases[0], "alias1");
    EXPECT_STREQ(h->h_aliases[1], "alias2");
    EXPECT_EQ(h->h_aliases[2], nullptr);
    EXPECT_EQ(Address(h, 0), QByteArray("\x0A\x00\x00\x01", 4));
    EXPECT_EQ(Address(h, 1), QByteArray("\x0A\x00\x00\x02", 4));
    EXPECT_EQ(h->h_addr_list[2], nullptr);
    // Everything the entry points at lies inside the buffer, up to the length reported.
    const char* end = fast + rec.notes[1].low;
    for (const char* p : {h->h_name, h->h_aliases[1], h->h_addr_list[1]})
        EXPECT_TRUE(p >= fast && p < end);
}

TEST_F(HostLookupTest, CancelledLookupPostsNothingAndLeavesTheBufferAlone) {
    char buf[ws::MAXGETHOSTSTRUCT];
    std::memset(buf, 0x5A, sizeof buf);
    const ws::HANDLE task = Lookup("slow.test", buf);
    EXPECT_EQ(ws::WSACancelAsyncRequest(task), 0);
    Release();
    alignas(8) char later[ws::MAXGETHOSTSTRUCT];
    const ws::HANDLE next = Lookup("next.test", later);
    ASSERT_TRUE(rec.WaitFor(1));
    test::Pump(50);
    EXPECT_EQ(rec.notes, (std::vector<Note>{Done(next, rec.notes[0].low)}));
    EXPECT_EQ(std::count(buf, buf + sizeof buf, '\x5A'), static_cast<long>(sizeof buf));
    EXPECT_EQ(ws::WSACancelAsyncRequest(next), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAEALREADY);
    EXPECT_EQ(ws::WSACancelAsyncRequest(task), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAEINVAL);
    EXPECT_EQ(ws::WSACancelAsyncRequest(0), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAEINVAL);
}

TEST_F(HostLookupTest, ResolverErrorsReachTheHighWord) {
    alignas(8) char buf[ws::MAXGETHOSTSTRUCT];
    std::vector<Note> expected;
    for (int error :
         {ws::WSAHOST_NOT_FOUND, ws::WSATRY_AGAIN, ws::WSANO_RECOVERY, ws::WSANO_DATA}) {
        const QByteArray name = "error" + QByteArray::number(error);
        expected.push_back(Done(Lookup(name.constData(), buf), 0, error));
    }
    ASSERT_TRUE(rec.WaitFor(4));
    EXPECT_EQ(rec.notes, expected);
}

TEST_F(HostLookupTest, ShortBufferReportsTheSizeNeeded) {
    alignas(8) char tiny[16];
    const ws::HANDLE task = Lookup("big.test", tiny, sizeof tiny);
    ASSERT_TRUE(rec.WaitFor(1));
    const int needed = rec.notes[0].low;
    EXPECT_EQ(rec.notes[0], Done(task, needed, ws::WSAENOBUFS));
    EXPECT_GT(needed, 16);
    std::vector<std::max_align_t> room(static_cast<std::size_t>(needed) / sizeof(std::max_align_t) +
                                       1);
    char* buf = reinterpret_cast<char*>(room.data());
    const ws::HANDLE retry = Lookup("big.test", buf, needed);
    ASSERT_TRUE(rec.WaitFor(2));
    EXPECT_EQ(rec.notes[1], Done(retry, needed));
}

TEST_F(HostLookupTest, LiteralsAreAnsweredWithoutTheResolver) {
    alignas(8) char v4[ws::MAXGETHOSTSTRUCT];
    alignas(8) char v6[ws::MAXGETHOSTSTRUCT];
    alignas(8) char bad[ws::MAXGETHOSTSTRUCT];
    const ws::HANDLE a = Lookup("192.168.1.20", v4);
    const ws::HANDLE b = Lookup("::1", v6);
    const ws::HANDLE c = Lookup("1.2.3.256", bad);
    ASSERT_TRUE(rec.WaitFor(3));
    EXPECT_EQ(rec.notes[1], Done(b, 0, ws::WSANO_DATA));
    EXPECT_EQ(rec.notes[2], Done(c, 0, ws::WSANO_DATA));
    EXPECT_EQ(rec.notes[0], Done(a, rec.notes[0].low));
    const auto* h = reinterpret_cast<const ws::hostent*>(v4);
    EXPECT_STREQ(h->h_name, "192.168.1.20");
    EXPECT_EQ(Address(h, 0), QByteArray("\xC0\xA8\x01\x14", 4));
    EXPECT_EQ(h->h_aliases[0], nullptr);
    const ws::hostent* sync = ws::gethostbyname("255.255.255.255");
    ASSERT_NE(sync, nullptr);
    EXPECT_EQ(Address(sync, 0), QByteArray("\xFF\xFF\xFF\xFF", 4));
    EXPECT_EQ(script->calls, 0);
}

TEST_F(HostLookupTest, BlockingLookupAndLocalNameGoThroughTheSeams) {
    ws::SetLocalHostName("koru-test-host");
    char name[64];
    ASSERT_EQ(ws::gethostname(name, sizeof name), 0);
    EXPECT_STREQ(name, "koru-test-host");
    EXPECT_EQ(ws::gethostname(name, 5), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAEFAULT);
    const ws::hostent* local = ws::gethostbyname("");
    ASSERT_NE(local, nullptr);
    EXPECT_STREQ(local->h_name, "canonical.koru-test-host");
    EXPECT_EQ(ws::gethostbyname("error11001"), nullptr);
    EXPECT_EQ(test::LastError(), ws::WSAHOST_NOT_FOUND);
    const ws::hostent* named = ws::gethostbyname("update.test");
    ASSERT_NE(named, nullptr);
    EXPECT_EQ(Address(named, 0), QByteArray("\x0A\x00\x00\x01", 4));
    EXPECT_EQ(script->calls, 3);
}

TEST_F(HostLookupTest, CleanupCancelsPendingLookups) {
    char buf[ws::MAXGETHOSTSTRUCT];
    std::memset(buf, 0x5A, sizeof buf);
    Lookup("slow.test", buf);
    ws::WSADATA data;
    ASSERT_EQ(ws::WSACleanup(), 0); // the service stops here
    Release();
    ASSERT_EQ(ws::WSAStartup(0x0101, &data), 0);
    test::Pump(100);
    EXPECT_TRUE(rec.notes.empty());
    EXPECT_EQ(std::count(buf, buf + sizeof buf, '\x5A'), static_cast<long>(sizeof buf));
}

TEST_F(HostLookupTest, CleanupDuringASlowLookupReturnsAtOnceAndTheServiceStartsAgain) {
    char slow[ws::MAXGETHOSTSTRUCT];
    Lookup("twoseconds.test", slow);
    // Under way on the worker; the event loop would only wake at its end.
    for (int i = 0; i < 500 && script->calls == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(script->calls, 1);
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(ws::WSACleanup(), 0);
    EXPECT_LT(clock.elapsed(), 500); // the lookup itself takes 2 s
    ws::WSADATA data;
    ASSERT_EQ(ws::WSAStartup(0x0101, &data), 0);
    alignas(8) char buf[ws::MAXGETHOSTSTRUCT];
    const ws::HANDLE task = Lookup("next.test", buf);
    ASSERT_TRUE(rec.WaitFor(1));
    EXPECT_EQ(rec.notes, (std::vector<Note>{Done(task, rec.notes.at(0).low)}));
    EXPECT_EQ(QByteArray(reinterpret_cast<ws::hostent*>(buf)->h_name), "canonical.next.test");
}

} // namespace
