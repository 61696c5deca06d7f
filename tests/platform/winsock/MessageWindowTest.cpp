// Message windows: one FIFO for every window, delivery from the event loop
// (nested loops included), replaceable procedures, destroyed windows.
#include "ServiceTestSupport.h"

#include <QCoreApplication>

namespace {

using test::Note;
using test::Recorder;

TEST(MessageWindowTest, PostedMessagesArriveInPostingOrderAcrossWindows) {
    Recorder a, b;
    win::PostMessage(a.hwnd, 1, 10, 0);
    win::PostMessage(b.hwnd, 2, 20, 0);
    win::PostMessage(a.hwnd, 3, 30, 0);
    std::vector<int> order;
    a.onMessage = [&](const Note& n) { order.push_back(n.wParam); };
    b.onMessage = a.onMessage;
    EXPECT_TRUE(a.notes.empty()); // nothing is delivered from inside PostMessage
    ASSERT_TRUE(test::PumpUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<int>{10, 20, 30}));
    EXPECT_EQ(a.notes, (std::vector<Note>{{a.hwnd, 1, 10, 0, 0}, {a.hwnd, 3, 30, 0, 0}}));
}

TEST(MessageWindowTest, HandlerRunningNestedLoopReceivesTheNextMessages) {
    Recorder rec;
    std::vector<int> trace;
    rec.onMessage = [&](const Note& n) {
        trace.push_back(n.wParam);
        if (n.wParam == 1) {
            // A handler that pumps, as DoEvents does: the rest arrives inside it, in order.
            test::PumpUntil([&] { return rec.notes.size() == 3; });
            trace.push_back(-1);
        }
    };
    for (int i = 1; i <= 3; ++i)
        win::PostMessage(rec.hwnd, 7, i, 0);
    ASSERT_TRUE(rec.WaitFor(3));
    test::PumpUntil([&] { return trace.size() == 4; });
    EXPECT_EQ(trace, (std::vector<int>{1, 2, 3, -1}));
}

TEST(MessageWindowTest, ReplacedProcedureCanBeRestoredAndChained) {
    const win::HWND hwnd = win::CreateMessageWindow();
    ASSERT_NE(hwnd, 0);
    std::vector<int> seen;
    const win::WNDPROC original = win::GetWindowProc(hwnd);
    ASSERT_TRUE(original);
    EXPECT_EQ(win::SendMessage(hwnd, 5, 0, 0), 0); // the default answers 0
    win::WNDPROC previous;
    previous =
        win::SetWindowProc(hwnd, [&](win::HWND h, win::UINT m, win::WPARAM w, win::LPARAM l) {
            seen.push_back(static_cast<int>(m));
            return m == 5 ? win::LRESULT{42} : win::CallWindowProc(previous, h, m, w, l);
        });
    ASSERT_TRUE(previous);
    EXPECT_EQ(win::SendMessage(hwnd, 5, 0, 0), 42); // direct, not queued
    EXPECT_EQ(win::SendMessage(hwnd, 6, 0, 0), 0);  // passed on to the default
    EXPECT_EQ(seen, (std::vector<int>{5, 6}));
    win::SetWindowProc(hwnd, previous);
    EXPECT_EQ(win::SendMessage(hwnd, 5, 0, 0), 0);
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_TRUE(win::DestroyWindow(hwnd));
}

TEST(MessageWindowTest, ProcedureMayReplaceItselfWhileRunning) {
    Recorder rec;
    int calls = 0;
    win::SetWindowProc(rec.hwnd, [&](win::HWND h, win::UINT, win::WPARAM, win::LPARAM) {
        ++calls;
        win::SetWindowProc(h, {}); // back to the default procedure, from inside
        return win::LRESULT{1};
    });
    win::PostMessage(rec.hwnd, 1, 0, 0);
    win::PostMessage(rec.hwnd, 1, 0, 0);
    test::PumpUntil([] { return win::PendingMessageCount() == 0; });
    EXPECT_EQ(calls, 1);
}

TEST(MessageWindowTest, MessagesForDestroyedWindowAreDroppedAndIdsNotReused) {
    Recorder keep;
    const win::HWND gone = win::CreateMessageWindow();
    int reached = 0;
    win::SetWindowProc(gone, [&](win::HWND, win::UINT, win::WPARAM, win::LPARAM) {
        ++reached;
        return win::LRESULT{0};
    });
    EXPECT_TRUE(win::PostMessage(gone, 1, 0, 0));
    EXPECT_TRUE(win::PostMessage(keep.hwnd, 2, 0, 0));
    EXPECT_TRUE(win::DestroyWindow(gone));
    EXPECT_FALSE(win::IsWindow(gone));
    EXPECT_FALSE(win::PostMessage(gone, 3, 0, 0));
    EXPECT_FALSE(win::DestroyWindow(gone));
    EXPECT_FALSE(win::GetWindowProc(gone));
    EXPECT_FALSE(win::SetWindowProc(gone, {}));
    EXPECT_EQ(win::SendMessage(gone, 1, 0, 0), 0);
    ASSERT_TRUE(keep.WaitFor(1));
    EXPECT_EQ(reached, 0);
    const win::HWND next = win::CreateMessageWindow();
    EXPECT_GT(next, gone);
    win::DestroyWindow(next);
}

} // namespace
