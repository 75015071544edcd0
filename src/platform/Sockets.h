#pragma once

#include <QByteArray>

#include <cstdint>

#include <netinet/in.h>

// A small socket layer on POSIX sockets, shaped after the calls the HTTP
// client was designed around: a start-up reference count, blocking sockets,
// an abortive close, a bounded connect and a bounded wait for readable data.
// Every failing call leaves its error code for SocketLastError().

using SOCKET = int;
inline constexpr SOCKET INVALID_SOCKET = -1;
inline constexpr int SOCKET_ERROR = -1;

// Start-up reference count: every user takes one reference and gives it back
// when done. POSIX sockets need no start-up; the count only keeps the
// pairing visible. (The first call also turns the kernel's arrival times on:
// see SocketSetArrivalTimes.)
int SocketStartup();
int SocketCleanup();
int SocketStartupCount();

// Error code of the last failing socket call of this thread (an errno value).
int SocketLastError();

// Resolves a host name or dotted IPv4 text to the first IPv4 address.
// Only the local resolver is asked for names that look like host names;
// texts that cannot be a host name fail at once.
bool SocketResolveIPv4(const QByteArray& host, in_addr* pAddress);

// socket(AF_INET, SOCK_STREAM, 0), close-on-exec. INVALID_SOCKET on failure.
SOCKET SocketCreateTcp();

// SO_LINGER on with a time of 0: closing resets the connection at once.
void SocketSetAbortiveClose(SOCKET s);

// Bounds every blocking send to nTimeoutMs without progress.
void SocketSetSendTimeout(SOCKET s, int nTimeoutMs);

// Connects the blocking socket, giving up after nTimeoutMs (ETIMEDOUT).
// The socket is blocking again afterwards. 0 on success, SOCKET_ERROR else.
int SocketConnect(SOCKET s, const sockaddr_in& address, int nTimeoutMs);

// send with MSG_NOSIGNAL; the count sent, or SOCKET_ERROR.
int SocketSend(SOCKET s, const char* pData, int nLength);

// SO_TIMESTAMPNS: the kernel notes when each segment reached the machine, so
// that SocketRecv can say when the bytes it returns arrived. The first
// SocketStartup (or this) opens one socket more, kept for the process's life,
// that keeps the kernel's stamping on between connections.
void SocketSetArrivalTimes(SOCKET s);

// recv; the count received, 0 when the peer closed, or SOCKET_ERROR.
// With pArrivalUs, when bytes came: the time the kernel received the segment
// that brought the last of them, on the MonotonicUs() clock (taken from the
// kernel's wall-clock stamp and both clocks read at the read, never later
// than the read), or -1 when the socket gave none (no SocketSetArrivalTimes);
// left alone when no bytes came.
int SocketRecv(SOCKET s, char* pData, int nLength, bool bPeek = false, std::int64_t* pArrivalUs = nullptr);

// Waits until the socket is readable (data, end of stream or error), at most
// nSec seconds plus nUSec microseconds. Returns 1 when readable, 0 when the
// wait ran out, SOCKET_ERROR on failure. A negative wait counts as zero.
int SocketWaitReadable(SOCKET s, int nSec, int nUSec);

// Waits until the socket can take more data to send, at most nWaitMs.
// Same results as SocketWaitReadable.
int SocketWaitWritable(SOCKET s, int nWaitMs);

// TCP_NODELAY: small writes go out at once instead of waiting for an ACK.
void SocketSetNoDelay(SOCKET s);

// Switches the socket between blocking and non-blocking calls.
void SocketSetNonBlocking(SOCKET s, bool bNonBlocking);

// True when the peer has closed or reset the connection: checked without
// waiting and without taking any data.
bool SocketPeerClosed(SOCKET s);

// True when received bytes wait unread on the socket, or when that cannot be
// told: checked without waiting and without taking any data.
bool SocketHasUnreadData(SOCKET s);

// A descriptor that, once readable, makes every connect and wait of the
// calling thread fail at once with ECANCELED (-1: none). See CCancelSignal.
void SocketSetThreadCancelFd(int nFd);

// Closes the socket (abortively when SocketSetAbortiveClose was applied).
void SocketClose(SOCKET s);
