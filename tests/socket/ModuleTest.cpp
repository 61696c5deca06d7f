// The socket module: error texts, conversions, route-table slot rules, the
// service's start and stop, the notification window's life and dispatch.
#include "SocketTestSupport.h"
#include "platform/runtime/RuntimeError.h"
#include "socket/modSocketMaster.h"

#include <QList>
#include <gtest/gtest.h>

using namespace modSocketMaster;

namespace {

TEST(ErrorTextTest, KnownCodesHaveTheirTextAndOthersAreUnknown) {
    const QList<QPair<int, QByteArray>> cases = {
        {10035, "Resource temporarily unavailable."},
        {10054, "Connection reset by peer."},
        {11001, "Host not found."},
        {10047, "Address family not supported by protocol family."},
        {10061, "Connection refused."},
        {11004, "Valid name, no data record of requested type."},
        {10093, "Successful WSAStartup not yet performed."},
        {10059, "Unknown error."},
        {10062, "Unknown error."},
        {0, "Unknown error."},
        {-1, "Unknown error."},
        {40006, "Unknown error."},
    };
    for (const auto& [code, text] : cases)
        EXPECT_EQ(GetErrorDescription(code), text) << code;
}

TEST(ConversionTest, WordsAndPortConversions) {
    EXPECT_EQ(HiWord(static_cast<std::int32_t>(0xFFFF0001u)), 65535);
    EXPECT_EQ(LoWord(static_cast<std::int32_t>(0xFFFF0001u)), 1);
    EXPECT_EQ(UnsignedToInteger(65535), -1);
    EXPECT_EQ(UnsignedToInteger(32767), 32767);
    EXPECT_EQ(UnsignedToInteger(32768), -32768);
    EXPECT_EQ(IntegerToUnsigned(-1), 65535);
    EXPECT_EQ(IntegerToUnsigned(80), 80);
    for (int outside : {65536, -1})
        ExpectRaises([&] { UnsignedToInteger(outside); }, 6, "Overflow",
                     "modSocketMaster.UnsignedToInteger");
}

CSocketMaster* Owner(int n) {
    static int owners[4];
    return reinterpret_cast<CSocketMaster*>(&owners[n]);
}

TEST(RouteTableTest, FreedSlotIsReusedAndFirstOwnerKept) {
    RouteTable table;
    table.Add(100, Owner(0));
    table.Add(200, Owner(1));
    table.Remove(100);
    table.Add(300, Owner(2));
    EXPECT_EQ(table.Count(), 2);
    EXPECT_EQ(table.HandleAt(1), 300);
    EXPECT_EQ(table.HandleAt(2), 200);
    table.Add(200, Owner(3)); // duplicate: the first owner stays
    EXPECT_EQ(table.Find(200), Owner(1));
    EXPECT_EQ(table.Count(), 2);
    EXPECT_EQ(table.Find(100), nullptr);
    EXPECT_EQ(table.Find(-1), nullptr);
}

TEST(RouteTableTest, ResultsFollowSlotOrderWhenAFreeSlotComesFirst) {
    RouteTable table;
    table.Add(100, Owner(0));
    table.Add(200, Owner(1));
    table.Remove(100);
    table.Add(200, Owner(2)); // the free slot 1 comes before slot 2: it takes the route
    EXPECT_EQ(table.Count(), 2);
    EXPECT_EQ(table.Find(200), Owner(2));
    table.Remove(200); // frees slot 1; slot 2 answers again
    EXPECT_EQ(table.Find(200), Owner(1));
    EXPECT_TRUE(table.ChangeOwner(200, Owner(3)));
    EXPECT_EQ(table.OwnerAt(2), Owner(3));
    EXPECT_FALSE(table.ChangeOwner(999, Owner(3)));
}

class ModuleTest : public SocketTest {};

TEST_F(ModuleTest, ServiceStartsWithFirstObjectAndStopsWithLast) {
    EXPECT_FALSE(serviceStarted());
    auto first = CSocketMaster::Create();
    EXPECT_TRUE(serviceStarted());
    auto second = CSocketMaster::Create();
    EXPECT_EQ(liveObjects(), 2);
    first.reset();
    EXPECT_TRUE(serviceStarted());
    EXPECT_EQ(liveObjects(), 1);
    second.reset();
    EXPECT_FALSE(serviceStarted());
    EXPECT_EQ(liveObjects(), 0);
    // The service counted one start and one stop: it is not running any more.
    EXPECT_EQ(ws::socket(ws::AF_INET, ws::SOCK_STREAM, ws::IPPROTO_TCP), ws::INVALID_SOCKET);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSANOTINITIALISED);
}

TEST_F(ModuleTest, RegisteringRoutesTakesFreedSlotsInOrder) {
    auto owner = CSocketMaster::Create();
    EXPECT_FALSE(IsSocketRegistered(100));
    RegisterSocket(100, owner.get(), false);
    RegisterSocket(200, owner.get(), false);
    UnregisterSocket(100);
    RegisterSocket(300, owner.get(), false);
    EXPECT_EQ(socketRoutes().Count(), 2);
    EXPECT_EQ(socketRoutes().HandleAt(1), 300);
    EXPECT_TRUE(IsSocketRegistered(300));
    EXPECT_FALSE(IsSocketRegistered(100));
    UnregisterSocket(200);
    UnregisterSocket(300);
    EXPECT_EQ(socketRoutes().Count(), 0);
}

TEST_F(ModuleTest, WindowEndsWithLastSocketAndComesBackWithTheNext) {
    auto socket = CSocketMaster::Create();
    EXPECT_EQ(messageWindow(), 0);
    socket->Bind(0);
    const win::HWND first = messageWindow();
    EXPECT_NE(first, 0);
    EXPECT_EQ(hookedWindow(), first);
    socket->CloseSck();
    EXPECT_EQ(messageWindow(), 0);
    EXPECT_EQ(hookedWindow(), 0);
    EXPECT_FALSE(win::IsWindow(first));
    socket->Bind(0);
    EXPECT_NE(messageWindow(), 0);
    EXPECT_NE(messageWindow(), first);
    socket->CloseSck();
}

TEST_F(ModuleTest, NotificationsReachTheRoutedObjectOnly) {
    auto a = CSocketMaster::Create();
    auto b = CSocketMaster::Create();
    EventLog logA(*a);
    EventLog logB(*b);
    RegisterSocket(100, a.get(), false);
    RegisterSocket(200, b.get(), false);
    const win::LPARAM refused = static_cast<win::LPARAM>(ws::FD_CONNECT | (10061 << 16));
    win::PostMessage(messageWindow(), WM_SOCKET, 200, refused);
    win::PostMessage(messageWindow(), WM_SOCKET, 300, refused); // no route: dropped
    RunEventsFor(50);
    EXPECT_TRUE(logA.lines.isEmpty());
    EXPECT_EQ(logB.lines,
              QList<QByteArray>{"Error 10061 Connection refused. CSocketMaster.PostSocket"});
    UnregisterSocket(100);
    UnregisterSocket(200);
}

TEST_F(ModuleTest, ObjectHoldingASocketForNobodyLeavesNoRouteBehind) {
    auto holder = CSocketMaster::Create();
    const ws::SOCKET loose = ws::socket(ws::AF_INET, ws::SOCK_STREAM, ws::IPPROTO_TCP);
    auto keeper = CSocketMaster::Create(); // keeps the service and the window up
    keeper->Bind(0);
    holder->Accept(loose); // not waiting in the registry: the object holds it for an owner
    EXPECT_EQ(holder->State(), sckConnected);
    EXPECT_EQ(modSocketMaster::socketRoutes().Find(loose), holder.get());
    holder.reset();
    EXPECT_EQ(modSocketMaster::socketRoutes().Find(loose), nullptr);
    win::PostMessage(modSocketMaster::messageWindow(), modSocketMaster::WM_SOCKET, loose,
                     ws::FD_CLOSE);
    RunEventsFor(20); // dropped, not delivered to a released object
    EXPECT_EQ(ws::closesocket(loose), 0);
    keeper->CloseSck();
}

TEST_F(ModuleTest, OtherMessagesGoToTheWindowsOwnProcedure) {
    const win::HWND window = win::CreateMessageWindow();
    QList<win::UINT> seen;
    win::SetWindowProc(window, [&](win::HWND, win::UINT msg, win::WPARAM, win::LPARAM) {
        seen.append(msg);
        return win::LRESULT{7};
    });
    ASSERT_TRUE(HookMessageWindow(window));
    EXPECT_FALSE(HookMessageWindow(window));
    EXPECT_EQ(win::SendMessage(window, 1, 0, 0), 7);
    EXPECT_EQ(win::SendMessage(window, WM_SOCKET, 12345, ws::FD_READ), 0);
    EXPECT_EQ(seen, QList<win::UINT>{1});
    ASSERT_TRUE(UnhookMessageWindow());
    win::SendMessage(window, WM_SOCKET, 12345, ws::FD_READ);
    EXPECT_EQ(seen, (QList<win::UINT>{1, WM_SOCKET}));
    win::DestroyWindow(window);
}

} // namespace
