#include "CSignalWatcher.h"

#include "CliExitCodes.h"
#include "platform/MonotonicClock.h"

#include <cstdio>
#include <pthread.h>
#include <unistd.h>

CSignalWatcher::CSignalWatcher(ISignalTarget& target) : m_target(target)
{
    sigemptyset(&m_signals);
    sigaddset(&m_signals, SIGINT);
    sigaddset(&m_signals, SIGTERM);
    sigaddset(&m_signals, SIGHUP);
    sigaddset(&m_signals, SIGUSR1);  // wakes the watcher when the run is over
    pthread_sigmask(SIG_BLOCK, &m_signals, nullptr);
    m_thread = std::thread([this] { Watch(); });
}

CSignalWatcher::~CSignalWatcher()
{
    pthread_kill(m_thread.native_handle(), SIGUSR1);
    m_thread.join();
    pthread_sigmask(SIG_UNBLOCK, &m_signals, nullptr);
}

void CSignalWatcher::Watch()
{
    for (;;) {
        int nSignal = 0;
        if (sigwait(&m_signals, &nSignal) != 0 || nSignal == SIGUSR1)
            return;
        if (nSignal != SIGINT) {
            m_nEndingSignal = nSignal;
            m_target.Abort();
            continue;
        }
        const std::int64_t nNowMs = MonotonicMs();
        const bool bSame = m_nLastInterruptMs >= 0 && nNowMs - m_nLastInterruptMs < kSameCtrlCMs;
        m_nLastInterruptMs = nNowMs;
        if (bSame)
            continue;
        if (m_target.Stop()) {
            static const char kMessage[] = "velkor-cli: stop requested (Ctrl+C again to abort)\n";
            (void)!write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
        } else {
            static const char kMessage[] = "velkor-cli: aborted\n";
            fflush(stdout);
            (void)!write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
            _exit(kExitAborted);
        }
    }
}
