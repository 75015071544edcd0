#pragma once

#include <QString>

#include <cstdint>

// One connection to a device, plain TCP or TLS on it: the exchange reads and
// writes through this and never asks which of the two it has.
class ITransport
{
public:
    // Recv results besides a count of bytes.
    static constexpr int kEnd = 0;         // the device ended the stream (FIN, or close_notify)
    static constexpr int kFailed = -1;     // see RecvProblem()
    static constexpr int kWouldBlock = -2; // part of a record came: wait and call again

    virtual ~ITransport() = default;

    // Sends all nLength bytes; each wait for progress is at most nWaitMs.
    virtual bool SendAll(const char* pData, int nLength, int nWaitMs) = 0;
    // 1 when data (or the end) can be read, 0 when the wait ran out,
    // -1 when the wait failed (the run was cancelled, say).
    virtual int WaitReadable(int nSec, int nUSec) = 0;
    // Up to nLength bytes: the count, kEnd, kFailed or kWouldBlock.
    virtual int Recv(char* pData, int nLength) = 0;
    // When the last bytes Recv returned reached this machine: the kernel's
    // receive time of the segment (for TLS: of the record) that brought them,
    // on the MonotonicUs() clock; -1 when not known.
    virtual std::int64_t LastArrivalUs() const = 0;
    // Why the last Recv failed, in words for the log ("connection reset").
    virtual QString RecvProblem() const = 0;
    // The device has closed or reset the connection; checked without waiting.
    virtual bool PeerClosed() = 0;
    // Bytes of the device wait unread: on the socket, or (TLS) in the
    // session, decrypted or not. Checked without waiting; true when it cannot
    // be told.
    virtual bool HasUnread() = 0;
};
