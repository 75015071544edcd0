#include "CDescriptorDevice.h"

#include <cerrno>
#include <ctime>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

bool CDescriptorDevice::Drain()
{
    const char* pData = m_buffer.constData();
    qsizetype nLeft = m_buffer.size();
    while (nLeft > 0 && m_nErrno == 0) {
        const ssize_t nWritten = ::write(m_nFd, pData, static_cast<size_t>(nLeft));
        if (nWritten > 0) {
            pData += nWritten;
            nLeft -= nWritten;
        } else if (nWritten < 0 && errno == EINTR) {
            continue;
        } else if (nWritten < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // A descriptor another process set non-blocking: wait until it takes more.
            pollfd wait{m_nFd, POLLOUT, 0};
            (void)poll(&wait, 1, -1);
        } else {
            m_nErrno = nWritten < 0 ? errno : EIO;
            setErrorString(qt_error_string(m_nErrno));
        }
    }
    m_buffer.clear();
    return m_nErrno == 0;
}

qint64 CDescriptorDevice::writeData(const char* pData, qint64 nLength)
{
    if (m_nErrno != 0)
        return -1;
    m_buffer.append(pData, static_cast<qsizetype>(nLength));
    if (m_buffer.size() >= kChunk && !Drain())
        return -1;
    return nLength;
}

CPipeSignalBlock::CPipeSignalBlock()
{
    sigemptyset(&m_pipe);
    sigaddset(&m_pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &m_pipe, &m_previous);
}

CPipeSignalBlock::~CPipeSignalBlock()
{
    if (!sigismember(&m_previous, SIGPIPE)) {
        const timespec noWait{};
        while (sigtimedwait(&m_pipe, nullptr, &noWait) == SIGPIPE) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}
