// Compares the exchange time of CHTTPLayer::SendRequest, measured as the run
// engine measures it, with curl's time_total, against a loopback keep-alive
// server that answers every request after a fixed delay.
//
//   velkor_http_bench [delay ms, default 20] [exchanges, default 50]
#include "../tests/support/CLoopbackListener.h"
#include "ExchangeTiming.h"
#include "http/CHTTPLayer.h"
#include "platform/MonotonicClock.h"

#include <QCoreApplication>
#include <QProcess>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <numeric>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Keep-alive server: every request (up to its blank line) gets a 200 with a
// Content-Length after the delay; the connection stays open until the client
// closes it.
class CDelayServer
{
public:
    explicit CDelayServer(int nDelayMs)
        : m_nDelayMs(nDelayMs)
    {
    }
    int Port() const { return m_listener.Port(); }

private:

    void Serve(int nFd)
    {
        const QByteArray body = "{\"result\":\"ok\",\"pan\":120,\"tilt\":-15,\"zoom\":3}\r\n";
        const QByteArray response = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: "
            + QByteArray::number(body.size()) + "\r\nConnection: keep-alive\r\n\r\n" + body;
        QByteArray pending;
        for (;;) {
            char chunk[4096];
            const ssize_t n = recv(nFd, chunk, sizeof chunk, 0);
            if (n <= 0)
                break;
            pending.append(chunk, n);
            qsizetype nEnd;
            while ((nEnd = pending.indexOf("\r\n\r\n")) >= 0) {
                pending.remove(0, nEnd + 4);
                std::this_thread::sleep_for(std::chrono::milliseconds(m_nDelayMs));
                send(nFd, response.constData(), static_cast<size_t>(response.size()), MSG_NOSIGNAL);
            }
        }
    }

    int m_nDelayMs;
    CLoopbackListener m_listener{[this](int nFd, int) { Serve(nFd); }};
};

struct CStats
{
    double dMean, dMedian, dMin, dMax;
};

CStats Summarise(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const double dSum = std::accumulate(values.begin(), values.end(), 0.0);
    return {dSum / static_cast<double>(values.size()), values[values.size() / 2], values.front(), values.back()};
}

void Print(const char* pName, const CStats& stats)
{
    std::printf("%-34s mean %8.2f  median %8.2f  min %8.2f  max %8.2f ms\n", pName, stats.dMean, stats.dMedian,
                stats.dMin, stats.dMax);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int nDelayMs = argc > 1 ? std::max(0, atoi(argv[1])) : 20;
    const int nCount = argc > 2 ? std::max(1, atoi(argv[2])) : 50;
    CDelayServer server(nDelayMs);
    const QByteArray target = "/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0";

    std::vector<double> layerMs, layerFineMs, curlMs;
    CHTTPLayer layer;
    layer.SetHost(QStringLiteral("127.0.0.1"));
    if (layer.Connect(server.Port()) != 0) {
        std::fprintf(stderr, "cannot connect to the bench server\n");
        return 1;
    }
    if (!TimeExchanges(layer, target, nCount, layerMs, layerFineMs))
        return 1;

    const QString strUrl = QStringLiteral("http://127.0.0.1:%1%2").arg(server.Port()).arg(QString::fromLatin1(target));
    for (int i = 0; i < nCount; ++i) {
        QProcess curl;
        curl.start(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                                            QStringLiteral("-w"), QStringLiteral("%{time_total}"), strUrl});
        if (!curl.waitForFinished(30000) || curl.exitCode() != 0) {
            std::fprintf(stderr, "curl failed (is it installed? scripts/setup.sh installs it)\n");
            return 1;
        }
        curlMs.push_back(curl.readAllStandardOutput().trimmed().toDouble() * 1000.0);
    }

    std::printf("server delay %d ms, %d exchanges each, loopback keep-alive server\n", nDelayMs, nCount);
    Print("CHTTPLayer (ms clock, as logged)", Summarise(layerMs));
    Print("CHTTPLayer (steady clock, fine)", Summarise(layerFineMs));
    Print("curl time_total", Summarise(curlMs));
    return 0;
}
