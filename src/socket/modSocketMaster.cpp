// The socket module: service start and stop, the notification window and
// its dispatch procedure, registries, route tables, conversions, error texts.
#include "socket/modSocketMaster.h"

#include "platform/runtime/RuntimeError.h"
#include "socket/CSocketMaster.h"

#include <QHash>
#include <optional>

namespace modSocketMaster {

namespace {

struct ModuleState {
    std::int32_t liveObjects = 0;
    bool serviceStarted = false;
    win::HWND messageWindow = 0;
    win::HWND hookedWindow = 0;
    win::WNDPROC previousWindowProc;
    bool dispatchPrepared = false;
    std::optional<QHash<QByteArray, CSocketMaster*>> socketRegistry;
    std::optional<QHash<QByteArray, std::shared_ptr<CSocketMaster>>> acceptRegistry;
    RouteTable lookupRoutes;
    RouteTable socketRoutes;
};

// Never destroyed: objects released during static destruction (a window's
// socket, for one) still unregister themselves here.
ModuleState& Module() {
    static ModuleState* state = new ModuleState;
    return *state;
}

QByteArray Key(ws::SOCKET socket) {
    return "S" + QByteArray::number(socket);
}

[[noreturn]] void RaiseServiceError(int code, const char* source) {
    throw RuntimeError(code, GetErrorDescription(code), source);
}

// The notification window's procedure: each socket or lookup message goes to
// the object its route names, everything else to the window's own procedure.
win::LRESULT DispatchMessage(win::HWND hwnd, win::UINT msg, win::WPARAM wParam,
                             win::LPARAM lParam) {
    ModuleState& m = Module();
    if (msg == WM_HOSTLOOKUP || msg == WM_SOCKET) {
        const RouteTable& routes = msg == WM_HOSTLOOKUP ? m.lookupRoutes : m.socketRoutes;
        CSocketMaster* owner = routes.Find(wParam);
        if (owner == nullptr)
            return 0;
        // An object whose release is under way has no reference left to take.
        if (const auto alive = owner->weak_from_this().lock())
            alive->WndProc(hwnd, static_cast<std::int32_t>(msg), wParam, lParam);
        return 0;
    }
    const win::WNDPROC previous = m.previousWindowProc;
    return win::CallWindowProc(previous, hwnd, msg, wParam, lParam);
}

void StartWinsock() {
    ws::WSADATA data;
    const int result = ws::WSAStartup(0x0101, &data);
    if (result != 0)
        RaiseServiceError(result, "modSocketMaster.InitiateProcesses");
}

void StopWinsock() {
    if (ws::WSACleanup() == ws::SOCKET_ERROR)
        RaiseServiceError(ws::WSAGetLastError(), "modSocketMaster.FinalizeProcesses");
}

} // namespace

std::int32_t InitiateProcesses() {
    ModuleState& m = Module();
    ++m.liveObjects;
    if (m.serviceStarted)
        return 0;
    PrepareDispatchCode();
    m.serviceStarted = true;
    StartWinsock();
    return 0;
}

std::int32_t FinalizeProcesses() {
    ModuleState& m = Module();
    --m.liveObjects;
    if (!m.serviceStarted || m.liveObjects != 0)
        return 0;
    StopWinsock();
    ReleaseDispatchCode();
    m.serviceStarted = false;
    return 0;
}

bool RegisterSocket(ws::SOCKET socket, CSocketMaster* owner, bool askForEvents) {
    ModuleState& m = Module();
    if (!m.socketRegistry) {
        m.socketRegistry.emplace();
        if (CreateWinsockMessageWindow() == 7)
            throw RuntimeError(RuntimeErrors::outOfMemory, "modSocketMaster.RegisterSocket");
        HookMessageWindow(m.messageWindow);
    }
    m.socketRoutes.Add(socket, owner);
    if (askForEvents &&
        ws::WSAAsyncSelect(socket, m.messageWindow, WM_SOCKET, SocketEvents) == ws::SOCKET_ERROR)
        RaiseServiceError(ws::WSAGetLastError(), "modSocketMaster.RegisterSocket");
    m.socketRegistry->insert(Key(socket), owner);
    return true;
}

void UnregisterSocket(ws::SOCKET socket) {
    ModuleState& m = Module();
    m.socketRoutes.Remove(socket);
    if (m.socketRegistry)
        m.socketRegistry->remove(Key(socket));
    if (!m.socketRegistry || m.socketRegistry->isEmpty()) {
        m.socketRegistry.reset();
        UnhookMessageWindow();
        try {
            DestroyWinsockMessageWindow();
        } catch (const RuntimeError&) {
            // A window that cannot be destroyed stays; the next registration reuses nothing of it.
        }
    }
}

bool IsSocketRegistered(ws::SOCKET socket) {
    const ModuleState& m = Module();
    return m.socketRegistry && m.socketRegistry->contains(Key(socket));
}

void ChangeSocketRouteOwner(ws::SOCKET socket, CSocketMaster* owner) {
    Module().socketRoutes.ChangeOwner(socket, owner);
}

ws::HANDLE StartHostLookup(const QByteArray& name, char* buffer, CSocketMaster* owner) {
    ModuleState& m = Module();
    const ws::HANDLE handle = ws::WSAAsyncGetHostByName(
        m.messageWindow, WM_HOSTLOOKUP, name.constData(), buffer, ws::MAXGETHOSTSTRUCT);
    if (handle != 0)
        m.lookupRoutes.Add(handle, owner);
    return handle;
}

void UnregisterLookup(ws::HANDLE handle) {
    Module().lookupRoutes.Remove(handle);
}

void RegisterAccept(ws::SOCKET socket) {
    ModuleState& m = Module();
    if (!m.acceptRegistry)
        m.acceptRegistry.emplace();
    const auto holder = CSocketMaster::Create();
    holder->Accept(socket);
    m.acceptRegistry->insert(Key(socket), holder);
}

bool IsAcceptRegistered(ws::SOCKET socket) {
    const ModuleState& m = Module();
    return m.acceptRegistry && m.acceptRegistry->contains(Key(socket));
}

std::shared_ptr<CSocketMaster> GetAcceptObject(ws::SOCKET socket) {
    const ModuleState& m = Module();
    return m.acceptRegistry ? m.acceptRegistry->value(Key(socket)) : nullptr;
}

void UnregisterAccept(ws::SOCKET socket) {
    ModuleState& m = Module();
    if (!IsAcceptRegistered(socket))
        throw RuntimeError(RuntimeErrors::invalidCall, "modSocketMaster.UnregisterAccept");
    // The holder is released only after the registry is consistent again.
    const std::shared_ptr<CSocketMaster> holder = m.acceptRegistry->take(Key(socket));
    if (m.acceptRegistry->isEmpty())
        m.acceptRegistry.reset();
}

std::int32_t CreateWinsockMessageWindow() {
    ModuleState& m = Module();
    m.messageWindow = win::CreateMessageWindow();
    return m.messageWindow != 0 ? 0 : 7;
}

std::int32_t DestroyWinsockMessageWindow() {
    ModuleState& m = Module();
    if (m.messageWindow == 0)
        return 0;
    if (!win::DestroyWindow(m.messageWindow))
        throw RuntimeError(RuntimeErrors::outOfMemory,
                           "modSocketMaster.DestroyWinsockMessageWindow");
    m.messageWindow = 0;
    return 0;
}

// The dispatch routine is an ordinary procedure that reads the route tables
// itself, so preparing it only starts the tables afresh.
void PrepareDispatchCode() {
    ModuleState& m = Module();
    m.lookupRoutes.Clear();
    m.socketRoutes.Clear();
    m.dispatchPrepared = true;
}

void ReleaseDispatchCode() {
    ModuleState& m = Module();
    UnhookMessageWindow();
    m.dispatchPrepared = false;
    m.lookupRoutes.Clear();
    m.socketRoutes.Clear();
}

bool HookMessageWindow(win::HWND window) {
    ModuleState& m = Module();
    if (m.hookedWindow != 0)
        return false;
    m.hookedWindow = window;
    m.previousWindowProc = win::GetWindowProc(window);
    return static_cast<bool>(win::SetWindowProc(window, DispatchMessage));
}

bool UnhookMessageWindow() {
    ModuleState& m = Module();
    if (m.hookedWindow == 0)
        return false;
    m.lookupRoutes.Clear();
    m.socketRoutes.Clear();
    win::SetWindowProc(m.hookedWindow, m.previousWindowProc);
    m.hookedWindow = 0;
    m.previousWindowProc = nullptr;
    return true;
}

std::int32_t HiWord(std::int32_t value) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value) >> 16);
}

std::int32_t LoWord(std::int32_t value) {
    return value & 0xFFFF;
}

std::int16_t UnsignedToInteger(std::int32_t value) {
    if (value < 0 || value > 65535)
        throw RuntimeError(RuntimeErrors::overflow, "modSocketMaster.UnsignedToInteger");
    return static_cast<std::int16_t>(value < 32768 ? value : value - 65536);
}

std::int32_t IntegerToUnsigned(std::int16_t value) {
    return value < 0 ? value + 65536 : value;
}

QByteArray StringFromPointer(const char* text) {
    return text == nullptr ? QByteArray() : QByteArray(text);
}

QByteArray GetErrorDescription(std::int32_t code) {
    switch (code) {
    case ws::WSAEINTR:
        return "Interrupted function call.";
    case ws::WSAEACCES:
        return "Permission denied.";
    case ws::WSAEFAULT:
        return "Bad address.";
    case ws::WSAEINVAL:
        return "Invalid argument.";
    case ws::WSAEMFILE:
        return "Too many open files.";
    case ws::WSAEWOULDBLOCK:
        return "Resource temporarily unavailable.";
    case ws::WSAEINPROGRESS:
        return "Operation now in progress.";
    case ws::WSAEALREADY:
        return "Operation already in progress.";
    case ws::WSAENOTSOCK:
        return "Socket operation on nonsocket.";
    case ws::WSAEDESTADDRREQ:
        return "Destination address required.";
    case ws::WSAEMSGSIZE:
        return "Message too long.";
    case ws::WSAEPROTOTYPE:
        return "Protocol wrong type for socket.";
    case ws::WSAENOPROTOOPT:
        return "Bad protocol option.";
    case ws::WSAEPROTONOSUPPORT:
        return "Protocol not supported.";
    case ws::WSAESOCKTNOSUPPORT:
        return "Socket type not supported.";
    case ws::WSAEOPNOTSUPP:
        return "Operation not supported.";
    case ws::WSAEPFNOSUPPORT:
        return "Protocol family not supported.";
    case ws::WSAEAFNOSUPPORT:
        return "Address family not supported by protocol family.";
    case ws::WSAEADDRINUSE:
        return "Address already in use.";
    case ws::WSAEADDRNOTAVAIL:
        return "Cannot assign requested address.";
    case ws::WSAENETDOWN:
        return "Network is down.";
    case ws::WSAENETUNREACH:
        return "Network is unreachable.";
    case ws::WSAENETRESET:
        return "Network dropped connection on reset.";
    case ws::WSAECONNABORTED:
        return "Software caused connection abort.";
    case ws::WSAECONNRESET:
        return "Connection reset by peer.";
    case ws::WSAENOBUFS:
        return "No buffer space available.";
    case ws::WSAEISCONN:
        return "Socket is already connected.";
    case ws::WSAENOTCONN:
        return "Socket is not connected.";
    case ws::WSAESHUTDOWN:
        return "Cannot send after socket shutdown.";
    case ws::WSAETIMEDOUT:
        return "Connection timed out.";
    case ws::WSAECONNREFUSED:
        return "Connection refused.";
    case ws::WSAEHOSTUNREACH:
        return "No route to host.";
    case ws::WSAEPROCLIM:
        return "Too many processes.";
    case ws::WSASYSNOTREADY:
        return "Network subsystem is unavailable.";
    case ws::WSAVERNOTSUPPORTED:
        return "Winsock.dll version out of range.";
    case ws::WSANOTINITIALISED:
        return "Successful WSAStartup not yet performed.";
    case ws::WSAHOST_NOT_FOUND:
        return "Host not found.";
    case ws::WSATRY_AGAIN:
        return "Nonauthoritative host not found.";
    case ws::WSANO_RECOVERY:
        return "This is a nonrecoverable error.";
    case ws::WSANO_DATA:
        return "Valid name, no data record of requested type.";
    default:
        return "Unknown error.";
    }
}

std::int32_t liveObjects() {
    return Module().liveObjects;
}
bool serviceStarted() {
    return Module().serviceStarted;
}
win::HWND messageWindow() {
    return Module().messageWindow;
}
win::HWND hookedWindow() {
    return Module().hookedWindow;
}
const RouteTable& socketRoutes() {
    return Module().socketRoutes;
}
const RouteTable& lookupRoutes() {
    return Module().lookupRoutes;
}
std::int32_t socketRegistryCount() {
    const ModuleState& m = Module();
    return m.socketRegistry ? static_cast<std::int32_t>(m.socketRegistry->size()) : 0;
}
std::int32_t acceptRegistryCount() {
    const ModuleState& m = Module();
    return m.acceptRegistry ? static_cast<std::int32_t>(m.acceptRegistry->size()) : 0;
}

} // namespace modSocketMaster
