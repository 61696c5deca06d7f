// CSocketMaster: the asynchronous, event-driven IPv4 TCP/UDP socket object.
// The owner sets or passes a remote host and port, calls Connect, and learns
// of progress only through the events; data leave through a send buffer and
// arrive in a receive buffer. All objects share modSocketMaster, which routes
// the socket service's notifications to each object's WndProc.
//
// Conventions:
// - Objects are counted references: make them with Create(). Every public
//   operation and WndProc keeps the object alive until it returns, so an event
//   handler may drop the owner's last reference.
// - Properties are get/let pairs named after the property: `RemotePort()`
//   reads, `RemotePort(value)` writes.
// - Events are the `on...` members, raised synchronously in the operation or
//   notification that causes them; an empty member means nobody listens.
// - Refused calls and failed service calls raise RuntimeError with the
//   source "CSocketMaster.<operation>"; failures found while a notification is
//   handled go through onError (or end that handling silently).
// - Optional arguments of any kind are Variants; Variant::Missing() (the
//   default) means "not given". GetData/PeekData write `data`, `varType` and
//   `maxLen` through references, as the runtime passes them.
#pragma once

#include "platform/runtime/Variant.h"
#include "platform/winsock/WinSock.h"
#include "socket/ByteQueue.h"

#include <QByteArray>
#include <QSet>
#include <cstdint>
#include <functional>
#include <memory>

enum StateConstants : std::int32_t {
    sckClosed = 0,
    sckOpen = 1,
    sckListening = 2,
    sckResolvingHost = 4,
    sckHostResolved = 5,
    sckConnecting = 6,
    sckConnected = 7,
    sckClosing = 8,
    sckError = 9,
};

enum ProtocolConstants : std::int32_t {
    sckTCP = 0,
    sckUDP = 1,
};

class CSocketMaster : public std::enable_shared_from_this<CSocketMaster> {
    struct Token {};

public:
    // Numbers and descriptions of the errors the object raises itself.
    static constexpr int errInvalidOperation = 40020;
    static constexpr int errArgumentOutOfRange = 40014;
    static constexpr int errUnsupportedType = 40018;
    static constexpr int errWrongState = 40006;
    static constexpr char InvalidOperationText[] = "Invalid operation at current state";
    static constexpr char OutOfRangeText[] = "The argument passed to a function was not in the "
                                             "correct format or in the specified range.";
    static constexpr char UnsupportedTypeText[] = "Unsupported variant type.";
    static constexpr char WrongStateText[] =
        "Wrong protocol or connection state for the requested transaction or request";
    static constexpr char InvalidArgumentText[] = "Invalid argument";

    static std::shared_ptr<CSocketMaster> Create();
    explicit CSocketMaster(Token);
    ~CSocketMaster();
    CSocketMaster(const CSocketMaster&) = delete;
    CSocketMaster& operator=(const CSocketMaster&) = delete;

    // Events, in declaration order.
    std::function<void()> onCloseSck;
    std::function<void()> onConnect;
    std::function<void(std::int32_t requestID)> onConnectionRequest;
    std::function<void(std::int32_t bytesTotal)> onDataArrival;
    std::function<void(std::int16_t Number, QByteArray& Description, std::int32_t sCode,
                       const QByteArray& Source, const QByteArray& HelpFile,
                       std::int32_t HelpContext, bool& CancelDisplay)>
        onError;
    std::function<void()> onSendComplete;
    std::function<void(std::int32_t bytesSent, std::int32_t bytesRemaining)> onSendProgress;

    // Called by the module's dispatcher only.
    void WndProc(std::int32_t hwnd, std::int32_t uMsg, std::int32_t wParam, std::int32_t lParam);

    std::int32_t RemotePort() const { return remotePort; }
    void RemotePort(std::int32_t lngPort);
    QByteArray RemoteHost() const { return remoteHost; }
    void RemoteHost(const QByteArray& strHost);
    QByteArray RemoteHostIP() const { return remoteHostIP; }
    std::int32_t LocalPort() const { return boundLocalPort != 0 ? boundLocalPort : localPort; }
    void LocalPort(std::int32_t lngPort);
    std::int32_t State() const { return state; }
    QByteArray LocalHostName() const;
    QByteArray LocalIP() const;
    std::int32_t BytesReceived() const;
    std::int32_t SocketHandle() const { return socketHandle; }
    QByteArray Tag() const { return tag; }
    void Tag(const QByteArray& strTag) { tag = strTag; }
    std::int32_t Protocol() const { return protocol; }
    void Protocol(std::int32_t enmProtocol);
    // Beyond the specified interface: the length of the queue of connections
    // waiting for accept that Listen asks for; 5 unless set before Listen,
    // ws::MAX_BACKLOG for the longest the system allows.
    std::int32_t Backlog() const { return backlog; }
    void Backlog(std::int32_t lngBacklog);

    void CloseSck();
    void Connect(const Variant& RemoteHost = Variant::Missing(),
                 const Variant& RemotePort = Variant::Missing());
    void Bind(const Variant& LocalPort = Variant::Missing(),
              const Variant& LocalIP = Variant::Missing());
    void SendData(const Variant& data);
    void GetData(Variant& data, Variant& varType, Variant& maxLen);
    void GetData(Variant& data, Variant& varType);
    void GetData(Variant& data);
    void GetData(QByteArray& text); // everything waiting, as text
    void PeekData(Variant& data, Variant& varType, Variant& maxLen);
    void PeekData(Variant& data, Variant& varType);
    void PeekData(Variant& data);
    void PeekData(QByteArray& text);
    void Listen();
    void Accept(std::int32_t requestID);

private:
    struct Resolution {
        std::uint32_t address = 1; // network byte order; 1 when none
        QByteArray dotted;
        int error = 0;
    };

    // Socket creation, resolution, connect and close.
    void DestroySocket();
    bool SocketExists();
    void OnHostResolved(std::int32_t taskHandle, std::int32_t errorCode);
    void PostSocket(std::int32_t event, std::int32_t errorCode);
    void ConnectToIP(std::uint32_t address, std::int32_t errorCode);
    bool BindInternal(const Variant& port = Variant::Missing(),
                      const Variant& address = Variant::Missing(), bool beforeConnect = false);
    char* AllocateLookupBuffer();
    void FreeLookupBuffer();
    QByteArray GetLocalHostName() const;
    QByteArray GetLocalIP() const;
    std::uint32_t ResolveIfHostname(const QByteArray& host);
    static Resolution ResolveAddressNow(const QByteArray& host);
    static std::int32_t QueryBoundPort(ws::SOCKET socket);
    // Send and receive.
    void FlushSendBuffer();
    void SendBufferedDataUDP();
    void SendBufferedData();
    std::int32_t RecvDataToBuffer();
    void ProcessOptions();
    std::int32_t RecvData(Variant& data, bool peek, Variant& varType, Variant& maxLen);
    QByteArray TakeReceivedBytes(std::int32_t size, bool peek, std::int32_t& errorCode);
    void CancelPendingLookups();
    bool ReadPeerAddress(ws::SOCKET socket, std::int32_t& port, QByteArray& address,
                         QByteArray& host);
    void DecodeSocketAddress(const ws::sockaddr_in& socketAddress, std::int32_t& port,
                             QByteArray& address);
    std::int32_t PendingByteCount() const;
    void DiscardOneByte();

    // Helpers.
    void RaiseError(std::int32_t code, const char* source); // the Error event convention
    [[noreturn]] static void Raise(int number, const char* description, const char* source);
    [[noreturn]] static void RaiseServiceError(int code, const char* source);
    // Raises an event through a copy of its handler, so a handler may replace itself.
    template <typename... Params, typename... Args>
    static void RaiseEvent(const std::function<void(Params...)>& event, Args&&... args) {
        if (!event)
            return;
        const std::function<void(Params...)> handler = event;
        handler(std::forward<Args>(args)...);
    }
    void AcceptConnectionRequest();
    void TakeData(Variant& data, Variant& varType, Variant& maxLen, bool peek);
    std::int32_t AvailableBytes() const;

    ws::SOCKET socketHandle = -1;
    std::int32_t state = sckClosed;
    QByteArray tag;
    QByteArray remoteHost;
    std::int32_t remotePort = 0;
    QByteArray remoteHostIP;
    std::int32_t localPort = 0;
    std::int32_t boundLocalPort = 0;
    QByteArray boundLocalIP;
    std::int32_t protocol = sckTCP;
    std::int32_t backlog = 5;
    char* lookupBuffer = nullptr;
    std::unique_ptr<char[]> lookupMemory;
    std::int32_t sendChunkSize = 0;
    std::int32_t receiveChunkSize = 0;
    ByteQueue sendBuffer;
    ByteQueue receiveBuffer;
    bool holdsAcceptedSocket = false;
    QSet<ws::HANDLE> pendingLookups;
    // Datagrams taken by the owner while a DataArrival event runs.
    std::uint32_t datagramsTaken = 0;
};
