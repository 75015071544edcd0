#pragma once

#include <QByteArray>
#include <QIODevice>

#include <csignal>

// A write-only device over a descriptor that it does not own. What is written
// is gathered into large chunks; a failed write keeps the system's reason.
class CDescriptorDevice final : public QIODevice {
public:
    explicit CDescriptorDevice(int nFd) : m_nFd(nFd) { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }

    bool isSequential() const override { return true; }

    // Writes out what is gathered; false when a write failed.
    bool Drain();
    // The system's reason for the failed write, 0 when none failed.
    int Errno() const { return m_nErrno; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* pData, qint64 nLength) override;

private:
    static constexpr qsizetype kChunk = 64 * 1024;
    const int m_nFd;
    QByteArray m_buffer;
    int m_nErrno = 0;
};

// While a report is written, a pipe or FIFO whose reader went away fails the
// write with "Broken pipe" instead of ending the process with SIGPIPE.
class CPipeSignalBlock {
public:
    CPipeSignalBlock();
    ~CPipeSignalBlock();
    CPipeSignalBlock(const CPipeSignalBlock&) = delete;
    CPipeSignalBlock& operator=(const CPipeSignalBlock&) = delete;

private:
    sigset_t m_pipe;
    sigset_t m_previous;
};
