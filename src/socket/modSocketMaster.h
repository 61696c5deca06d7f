// The socket module: what every CSocketMaster of the process shares. It starts
// the socket service with the first object and stops it with the last, owns
// the hidden notification window with its dispatch procedure, keeps the socket
// and accept registries and the route tables by which each notification finds
// its object, and knows the text of every socket service error code.
//
// Route tables hold plain addresses: an object removes its routes before it
// ends. The accept registry holds counted references to the objects that keep
// accepted connections until an owner takes them.
#pragma once

#include "platform/winsock/MessageWindow.h"
#include "platform/winsock/WinSock.h"
#include "socket/RouteTable.h"

#include <QByteArray>
#include <cstdint>
#include <memory>

class CSocketMaster;

namespace modSocketMaster {

inline constexpr std::uint32_t WM_HOSTLOOKUP = 0x800; // 2048: host lookup completed
inline constexpr std::uint32_t WM_SOCKET = 0x801;     // 2049: network event on a socket
inline constexpr long SocketEvents =
    ws::FD_READ | ws::FD_WRITE | ws::FD_ACCEPT | ws::FD_CONNECT | ws::FD_CLOSE; // 59

// Object lifetime: count the object in and out; the service runs while any lives.
std::int32_t InitiateProcesses();
std::int32_t FinalizeProcesses();

// Socket registry and socket routes.
bool RegisterSocket(ws::SOCKET socket, CSocketMaster* owner, bool askForEvents);
void UnregisterSocket(ws::SOCKET socket); // errors inside are ignored
bool IsSocketRegistered(ws::SOCKET socket);
void ChangeSocketRouteOwner(ws::SOCKET socket, CSocketMaster* owner);

// Asynchronous host lookups and their routes.
ws::HANDLE StartHostLookup(const QByteArray& name, char* buffer, CSocketMaster* owner);
void UnregisterLookup(ws::HANDLE handle);

// Accept registry: connections accepted by a listening object and not yet taken.
void RegisterAccept(ws::SOCKET socket);
bool IsAcceptRegistered(ws::SOCKET socket);
std::shared_ptr<CSocketMaster> GetAcceptObject(ws::SOCKET socket);
void UnregisterAccept(ws::SOCKET socket); // raises 5 when the socket is not registered

// The notification window and its procedure.
std::int32_t CreateWinsockMessageWindow(); // 0, or 7 when no window can be made
std::int32_t DestroyWinsockMessageWindow();
void PrepareDispatchCode();
void ReleaseDispatchCode();
bool HookMessageWindow(win::HWND window);
bool UnhookMessageWindow();

// Conversions.
std::int32_t HiWord(std::int32_t value);
std::int32_t LoWord(std::int32_t value);
std::int16_t UnsignedToInteger(std::int32_t value); // raises 6 outside 0-65535
std::int32_t IntegerToUnsigned(std::int16_t value);
QByteArray StringFromPointer(const char* text);

// The text of a socket service error code; "Unknown error." for any other code.
QByteArray GetErrorDescription(std::int32_t code);

// Module state, read-only.
std::int32_t liveObjects();
bool serviceStarted();
win::HWND messageWindow();
win::HWND hookedWindow();
const RouteTable& socketRoutes();
const RouteTable& lookupRoutes();
std::int32_t socketRegistryCount(); // 0 when the registry does not exist
std::int32_t acceptRegistryCount();

} // namespace modSocketMaster
