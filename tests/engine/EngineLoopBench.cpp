// Loop overhead of the execution loop: While(N) around one loopback request.
// Prints the application and HTTP totals and the cost per pass beyond the
// request and the End's 10 ms stop check.

#include "CTestResponder.h"
#include "EngineHarness.h"

#include "platform/CManualResetEvent.h"
#include "platform/MonotonicClock.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    const int nPasses = argc > 1 ? std::atoi(argv[1]) : 1000;
    CTestResponder peer("HTTP/1.1 200 OK\r\nContent-Length: 17\r\n\r\npan=0 tilt=0 zoom");
    EngineHarness h;
    h.Run(QStringLiteral("While(%1)\r\nhttp://127.0.0.1:%2/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0\r\nEnd")
              .arg(nPasses)
              .arg(peer.Port()));

    long long nHttp = -1;
    long long nApp = -1;
    for (const QString& strLine : h.RawLines()) {
        const QString strNumber = strLine.section(QLatin1String(" : "), 1).section(QLatin1Char(' '), 0, 0);
        if (strLine.contains(QLatin1String("(Http api only)")))
            nHttp = strNumber.toLongLong();
        else if (strLine.contains(QLatin1String("(Application)")))
            nApp = strNumber.toLongLong();
    }
    if (nHttp < 0 || nApp < 0 || peer.RequestCount() != nPasses) {
        std::fprintf(stderr, "bench: the run did not complete (%d requests)\n", peer.RequestCount());
        return 1;
    }
    const double perPass = double(nApp - nHttp) / nPasses;
    std::printf("passes %d, application total %lld ms, http total %lld ms\n", nPasses, nApp, nHttp);
    std::printf("per pass outside the request: %.3f ms (of which the End's stop check waits 10 ms): overhead %.3f ms\n",
                perPass, perPass - 10.0);
    std::printf("mean request %.3f ms\n", double(nHttp) / nPasses);

    // How long the 10 ms stop check itself takes, for comparison.
    CManualResetEvent stop;
    const std::int64_t nStart = MonotonicMs();
    for (int i = 0; i < 200; ++i)
        stop.Wait(10);
    std::printf("a bare 10 ms stop check takes %.3f ms\n", double(MonotonicMs() - nStart) / 200);
    return 0;
}
