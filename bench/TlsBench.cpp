// Compares the HTTPS exchange time of CHTTPLayer::SendRequest (a new
// connection and a full TLS handshake each time, as in a run) with curl's
// time_total, both checking the certificate against the same CA file, on a
// loopback keep-alive TLS peer that answers at once.
//
//   velkor_tls_bench [exchanges, default 50]
#include "../tests/support/CTlsPeer.h"
#include "ExchangeTiming.h"
#include "http/CHTTPLayer.h"
#include "platform/MonotonicClock.h"

#include <QCoreApplication>
#include <QProcess>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int nCount = argc > 1 ? std::max(1, atoi(argv[1])) : 50;
    CTestCertificates certificates;
    const QByteArray body = "{\"result\":\"ok\",\"pan\":120,\"tilt\":-15,\"zoom\":3}\r\n";
    CTlsPeer peer(certificates.MakeLeaf("IP:127.0.0.1"),
                  {"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: "
                   + QByteArray::number(body.size()) + "\r\n\r\n" + body});
    const QByteArray target = "/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0";

    std::vector<double> layerMs, layerFineMs, curlMs;
    CHTTPLayer layer;
    layer.SetHost(QStringLiteral("127.0.0.1"));
    layer.SetTls(true, {certificates.CaFile(), false});
    if (layer.Connect(peer.Port()) != 0) {
        std::fprintf(stderr, "cannot connect to the TLS peer: %s\n", layer.TlsProblem().toLocal8Bit().constData());
        return 1;
    }
    if (!TimeExchanges(layer, target, nCount, layerMs, layerFineMs))
        return 1;

    const QString strUrl = QStringLiteral("https://127.0.0.1:%1%2").arg(peer.Port()).arg(QString::fromLatin1(target));
    for (int i = 0; i < nCount; ++i) {
        QProcess curl;
        curl.start(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                                            QStringLiteral("--cacert"), certificates.CaFile(), QStringLiteral("-w"),
                                            QStringLiteral("%{time_total}"), strUrl});
        if (!curl.waitForFinished(30000) || curl.exitCode() != 0) {
            std::fprintf(stderr, "curl failed (exit %d)\n", curl.exitCode());
            return 1;
        }
        curlMs.push_back(curl.readAllStandardOutput().trimmed().toDouble() * 1000.0);
    }

    std::printf("HTTPS, %d exchanges each, full handshake each time, certificate checked against a CA file\n", nCount);
    std::printf("CHTTPLayer (ms clock, as logged)   median %6.2f ms\n", Median(layerMs));
    std::printf("CHTTPLayer (steady clock, fine)    median %6.2f ms\n", Median(layerFineMs));
    std::printf("curl time_total                    median %6.2f ms\n", Median(curlMs));
    return 0;
}
