// The service's constants under names that the Linux headers' macros
// (AF_INET, SOL_SOCKET, FIONREAD, INADDR_NONE, ...) cannot reach, for the
// sources that use both. Include it before any system header.
#pragma once

#include "platform/winsock/WinSock.h"

namespace ws::number {

inline constexpr int AfInet = AF_INET;
inline constexpr int Stream = SOCK_STREAM;
inline constexpr int Datagram = SOCK_DGRAM;
inline constexpr int Tcp = IPPROTO_TCP;
inline constexpr int Udp = IPPROTO_UDP;
inline constexpr int SolSocket = SOL_SOCKET;
inline constexpr int SoBroadcast = SO_BROADCAST;
inline constexpr int SoSndBuf = SO_SNDBUF;
inline constexpr int SoRcvBuf = SO_RCVBUF;
inline constexpr int SoMaxMsgSize = SO_MAX_MSG_SIZE;
inline constexpr int MsgPeek = MSG_PEEK;
inline constexpr long FionRead = FIONREAD;
inline constexpr long FionBio = FIONBIO;
inline constexpr std::uint32_t InaddrNone = INADDR_NONE;

} // namespace ws::number
