#include "platform/CCancelSignal.h"
#include "platform/CFiberLoop.h"
#include "platform/CFiberScheduler.h"
#include "platform/CManualResetEvent.h"
#include "platform/Sockets.h"

#include "CLoopbackListener.h"
#include "LoopbackSocket.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

// What one fiber does; every row runs as many fibers, all on one loop
// thread, at the same time.
enum class EAction {
    ConnectRefused,      // connect to a loopback port nobody listens on
    ReadData,            // connect to a peer that writes a byte, wait for it
    ReadSilence,         // connect to a peer that writes nothing, wait 50 ms
    ReadCancelled,       // wait 10 s on a silent peer; its cancel signal is raised
    EventSetElsewhere,   // wait 60 s on an event another thread sets once the wait began
    EventSetBySibling,   // wait 60 s on an event a fiber of the same thread sets
    EventTimesOut,       // wait 30 ms on an event nobody sets
    SleepThenSet,        // sleep 20 ms, set the sibling's event, wait 20 s for its answer
};

struct SFiberRow {
    const char* pName;
    EAction eAction;
    int nResult;  // the wait's or connect's result (Wait: 1 signalled, 0 not)
    int nError;   // SocketLastError() after it
};

const SFiberRow kFiberRows[] = {
    {"connect refused", EAction::ConnectRefused, SOCKET_ERROR, ECONNREFUSED},
    {"data arrives", EAction::ReadData, 1, 0},
    {"silence runs the wait out", EAction::ReadSilence, 0, 0},
    {"cancel ends the wait", EAction::ReadCancelled, SOCKET_ERROR, ECANCELED},
    {"Set from another thread", EAction::EventSetElsewhere, 1, 0},
    {"Set from a fiber of the same thread", EAction::EventSetBySibling, 1, 0},
    {"event not set", EAction::EventTimesOut, 0, 0},
    {"sleep, then Set", EAction::SleepThenSet, 1, 0},
};

constexpr int kCopies = 20;

struct SFiberOutcome {
    int nResult = -2;
    int nError = -2;
    std::thread::id thread;
};

// A connected socket (its wait then reports what the peer did), or one whose
// connect failed (its wait then fails too).
SOCKET ConnectTo(int nPort)
{
    const SOCKET s = SocketCreateTcp();
    SocketConnect(s, LoopbackAddress(nPort), 5000);
    return s;
}

TEST(FiberScheduler, ManyFibersOnOneThreadEachGetTheirOwnResult)
{
    CLoopbackListener talker([](int nFd, int) {
        (void)!write(nFd, "x", 1);
        char c = 0;
        while (read(nFd, &c, 1) > 0) {
        }
    }, 256);
    CLoopbackListener silent([](int nFd, int) {
        char c = 0;
        while (read(nFd, &c, 1) > 0) {
        }
    }, 256);
    ASSERT_TRUE(talker.Listening() && silent.Listening());
    int nClosedPort = 0;
    const int nClosedFd = BindLoopback(nClosedPort, -1);  // bound, not listening: connects are refused
    ASSERT_GE(nClosedFd, 0);

    const std::size_t nRows = std::size(kFiberRows);
    std::vector<SFiberOutcome> outcomes(nRows * kCopies);
    std::vector<std::unique_ptr<CCancelSignal>> cancels;
    std::vector<std::unique_ptr<CManualResetEvent>> elsewhere;
    std::vector<std::unique_ptr<CManualResetEvent>> sibling;
    // Set by a waiter once its wait ended: a wait that only the time-out
    // ended (the Set never woke it) answers after its setter gave up.
    std::vector<std::unique_ptr<CManualResetEvent>> elsewhereAnswer;
    std::vector<std::unique_ptr<CManualResetEvent>> siblingAnswer;
    for (int i = 0; i < kCopies; ++i) {
        cancels.push_back(std::make_unique<CCancelSignal>());
        elsewhere.push_back(std::make_unique<CManualResetEvent>());
        sibling.push_back(std::make_unique<CManualResetEvent>());
        elsewhereAnswer.push_back(std::make_unique<CManualResetEvent>());
        siblingAnswer.push_back(std::make_unique<CManualResetEvent>());
    }
    std::vector<bool> elsewhereAnswered(kCopies, false);

    std::vector<CFiberScheduler::CTask> tasks;
    {
        CFiberScheduler scheduler(1);
        for (int nCopy = 0; nCopy < kCopies; ++nCopy) {
            for (std::size_t nRow = 0; nRow < nRows; ++nRow) {
                SFiberOutcome& outcome = outcomes[nCopy * nRows + nRow];
                const EAction eAction = kFiberRows[nRow].eAction;
                tasks.push_back(scheduler.Spawn([&, eAction, nCopy] {
                    outcome.thread = std::this_thread::get_id();
                    SOCKET s = INVALID_SOCKET;
                    switch (eAction) {
                    case EAction::ConnectRefused:
                        s = SocketCreateTcp();
                        outcome.nResult = SocketConnect(s, LoopbackAddress(nClosedPort), 5000);
                        break;
                    case EAction::ReadData:
                        s = ConnectTo(talker.Port());
                        outcome.nResult = SocketWaitReadable(s, 10, 0);
                        break;
                    case EAction::ReadSilence:
                        s = ConnectTo(silent.Port());
                        outcome.nResult = SocketWaitReadable(s, 0, 50000);
                        break;
                    case EAction::ReadCancelled:
                        CCancelSignal::WatchOnThisThread(cancels[nCopy].get());
                        s = ConnectTo(silent.Port());
                        outcome.nResult = SocketWaitReadable(s, 10, 0);
                        break;
                    case EAction::EventSetElsewhere:
                        outcome.nResult = elsewhere[nCopy]->Wait(60000) ? 1 : 0;
                        elsewhereAnswer[nCopy]->Set();
                        break;
                    case EAction::EventSetBySibling:
                        outcome.nResult = sibling[nCopy]->Wait(60000) ? 1 : 0;
                        siblingAnswer[nCopy]->Set();
                        break;
                    case EAction::EventTimesOut: {
                        CManualResetEvent never;
                        outcome.nResult = never.Wait(30) ? 1 : 0;
                        break;
                    }
                    case EAction::SleepThenSet:
                        FiberAwareSleepMs(20);
                        sibling[nCopy]->Set();
                        outcome.nResult = siblingAnswer[nCopy]->Wait(20000) ? 1 : 0;
                        break;
                    }
                    // Read after the other fibers ran: each keeps its own.
                    outcome.nError = outcome.nResult == SOCKET_ERROR ? SocketLastError() : 0;
                    SocketClose(s);
                }));
            }
        }
        // Raised from this thread while the fibers wait (or before they
        // begin to: the result is the same).
        for (int i = 0; i < kCopies; ++i)
            cancels[i]->Raise();
        // Set from this thread once the fiber waits on it.
        for (int i = 0; i < kCopies; ++i) {
            const auto& group = elsewhere[i]->GetGroup();
            for (;;) {
                {
                    std::lock_guard lock(group->mutex);
                    if (!group->fiberWaiters.empty())
                        break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            elsewhere[i]->Set();
            elsewhereAnswered[i] = elsewhereAnswer[i]->Wait(20000);
            if (!elsewhereAnswered[i])
                break;  // the rest would fail the same way, each after 20 s
        }
        for (CFiberScheduler::CTask& task : tasks)
            task.Join();
    }
    close(nClosedFd);

    for (int nCopy = 0; nCopy < kCopies; ++nCopy) {
        EXPECT_TRUE(elsewhereAnswered[nCopy]) << "copy " << nCopy;
        for (std::size_t nRow = 0; nRow < nRows; ++nRow) {
            const SFiberOutcome& outcome = outcomes[nCopy * nRows + nRow];
            SCOPED_TRACE(testing::Message() << kFiberRows[nRow].pName << ", copy " << nCopy);
            EXPECT_EQ(outcome.nResult, kFiberRows[nRow].nResult);
            EXPECT_EQ(outcome.nError, kFiberRows[nRow].nError);
            EXPECT_EQ(outcome.thread, outcomes[0].thread);
            EXPECT_NE(outcome.thread, std::this_thread::get_id());
        }
    }
}

}  // namespace
