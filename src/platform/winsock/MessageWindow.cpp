// Hidden message windows and the one posted-message queue of the UI thread.
// Every window and the socket service share a single FIFO; the event loop
// delivers it through one posted Qt event per batch.
#include "platform/winsock/MessageWindow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <deque>
#include <memory>
#include <unordered_map>

namespace win {
namespace {

struct Message {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

// Procedures are shared so that a procedure that replaces itself while it
// runs stays alive until it returns.
using ProcPtr = std::shared_ptr<const WNDPROC>;

class MessageQueue : public QObject {
public:
    std::unordered_map<HWND, ProcPtr> windows;
    HWND lastWindow = 0;
    std::deque<Message> queue;
    bool drainScheduled = false;

    void Post(const Message& m) {
        queue.push_back(m);
        Schedule();
    }

protected:
    bool event(QEvent* e) override {
        if (e->type() != DrainEvent)
            return QObject::event(e);
        drainScheduled = false;
        Drain();
        return true;
    }

private:
    static constexpr QEvent::Type DrainEvent = QEvent::User;

    void Schedule() {
        if (drainScheduled || queue.empty())
            return;
        drainScheduled = true;
        QCoreApplication::postEvent(this, new QEvent(DrainEvent));
    }

    // Delivers messages, those posted meanwhile included, for a short while
    // at most: one event-loop round per message would cost more than most
    // handlers, and the budget keeps timers and input flowing. The next drain
    // is scheduled before each dispatch, so that a handler running a nested
    // event loop keeps receiving messages, still in order.
    void Drain() {
        QElapsedTimer clock;
        clock.start();
        for (int budget = 256; budget > 0 && !queue.empty(); --budget) {
            if (clock.nsecsElapsed() > 2'000'000)
                break;
            const Message m = queue.front();
            queue.pop_front();
            Schedule();
            auto it = windows.find(m.hwnd);
            if (it == windows.end())
                continue; // the window was destroyed: dropped, as Windows does
            const ProcPtr proc = it->second;
            (*proc)(m.hwnd, m.msg, m.wParam, m.lParam);
        }
    }
};

MessageQueue& Queue() {
    // Created in the UI thread on first use and kept for the process's life.
    static MessageQueue* queue = new MessageQueue;
    return *queue;
}

ProcPtr DefaultProc() {
    static const ProcPtr proc =
        std::make_shared<const WNDPROC>([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    return proc;
}

} // namespace

HWND CreateMessageWindow() {
    MessageQueue& q = Queue();
    if (q.lastWindow == INT32_MAX)
        return 0;
    const HWND hwnd = ++q.lastWindow;
    q.windows.emplace(hwnd, DefaultProc());
    return hwnd;
}

bool DestroyWindow(HWND hWnd) {
    return Queue().windows.erase(hWnd) > 0;
}

bool IsWindow(HWND hWnd) {
    return Queue().windows.count(hWnd) > 0;
}

WNDPROC GetWindowProc(HWND hWnd) {
    auto& windows = Queue().windows;
    auto it = windows.find(hWnd);
    return it == windows.end() ? WNDPROC() : *it->second;
}

WNDPROC SetWindowProc(HWND hWnd, WNDPROC proc) {
    auto& windows = Queue().windows;
    auto it = windows.find(hWnd);
    if (it == windows.end())
        return {};
    WNDPROC previous = *it->second;
    it->second = proc ? std::make_shared<const WNDPROC>(std::move(proc)) : DefaultProc();
    return previous;
}

LRESULT CallWindowProc(const WNDPROC& proc, HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return proc ? proc(hWnd, msg, wParam, lParam) : 0;
}

bool PostMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    MessageQueue& q = Queue();
    if (q.windows.count(hWnd) == 0)
        return false;
    q.Post({hWnd, msg, wParam, lParam});
    return true;
}

LRESULT SendMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto& windows = Queue().windows;
    auto it = windows.find(hWnd);
    if (it == windows.end())
        return 0;
    const ProcPtr proc = it->second;
    return (*proc)(hWnd, msg, wParam, lParam);
}

int PendingMessageCount() {
    return static_cast<int>(Queue().queue.size());
}

} // namespace win
