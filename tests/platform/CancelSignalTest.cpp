#include "platform/CCancelSignal.h"
#include "platform/MonotonicClock.h"
#include "platform/Sockets.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace {

TEST(CancelSignal, EndsAWaitForDataOnTheWatchingThreadOnly)
{
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    CCancelSignal cancel;

    // Not watched: the wait runs its time out.
    cancel.Raise();
    EXPECT_EQ(SocketWaitReadable(fds[0], 0, 50000), 0);

    int nResult = 1;
    int nError = 0;
    std::int64_t nWaitedMs = 0;
    cancel.Lower();
    std::thread worker([&] {
        CCancelSignal::WatchOnThisThread(&cancel);
        const std::int64_t nStart = MonotonicMs();
        nResult = SocketWaitReadable(fds[0], 10, 0);
        nError = SocketLastError();
        nWaitedMs = MonotonicMs() - nStart;
        CCancelSignal::WatchOnThisThread(nullptr);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    cancel.Raise();
    worker.join();
    EXPECT_EQ(nResult, SOCKET_ERROR);
    EXPECT_EQ(nError, ECANCELED);
    EXPECT_LT(nWaitedMs, 1000);

    // Lowered again, data is seen as before.
    cancel.Lower();
    CCancelSignal::WatchOnThisThread(&cancel);
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    EXPECT_EQ(SocketWaitReadable(fds[0], 1, 0), 1);
    CCancelSignal::WatchOnThisThread(nullptr);
    close(fds[0]);
    close(fds[1]);
}

}  // namespace
