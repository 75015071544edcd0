// HTTPS: certificates checked or accepted as set, Digest with SHA-256 over
// TLS, and hostile peers during the handshake.
#include "CScriptedServer.h"
#include "CTlsPeer.h"
#include "HttpTestSupport.h"

#include "LoopbackSocket.h"
#include "http/CTlsConnection.h"
#include "platform/CCancelSignal.h"
#include "platform/Sockets.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <thread>

using Step = CScriptedServer::Step;

namespace {

const QByteArray kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nOK";

// The first connection's handshake result, as the log would tell it.
struct CAttempt
{
    int nResult = 0;
    bool bRefused = false;
    QString strProblem;
};

CAttempt Attempt(int nPort, const CTlsOptions& options, const QString& strHost = QStringLiteral("127.0.0.1"))
{
    CHTTPLayer layer;
    layer.SetHost(strHost);
    layer.SetTls(true, options);
    CAttempt attempt;
    attempt.nResult = layer.Connect(nPort);
    attempt.bRefused = layer.TlsCertificateRefused();
    attempt.strProblem = layer.TlsProblem();
    return attempt;
}

// A handshake on a loopback connection to the peer for a device reached by
// the host name given: the name goes into SNI and the certificate check as
// it would after resolving it.
CAttempt Handshake(int nPort, const CTlsOptions& options, const QByteArray& host)
{
    CAttempt attempt;
    const SOCKET s = SocketCreateTcp();
    if (SocketConnect(s, LoopbackAddress(nPort), 5000) != 0) {
        SocketClose(s);
        attempt.nResult = SOCKET_ERROR;
        attempt.strProblem = QStringLiteral("no connection");
        return attempt;
    }
    CTlsConnection tls;
    tls.Configure(options);
    attempt.nResult = tls.Handshake(s, host, 5000);
    attempt.bRefused = tls.CertificateRefused();
    attempt.strProblem = tls.Problem();
    tls.Shutdown();
    SocketClose(s);
    return attempt;
}

} // namespace

TEST(Tls, CertificatesAreCheckedUnlessAcceptedOnPurpose)
{
    CTestCertificates certificates;
    CTlsPeer trusted(certificates.MakeLeaf("IP:127.0.0.1,DNS:localhost"), {});
    const CTlsOptions withCa{certificates.CaFile(), false};
    EXPECT_EQ(Attempt(trusted.Port(), withCa).nResult, 0);
    EXPECT_EQ(Attempt(trusted.Port(), withCa, QStringLiteral("localhost")).nResult, 0);
    EXPECT_EQ(trusted.ServerNames(2), (QList<QByteArray>{"", "localhost"})) << "SNI carries host names, not addresses";

    CAttempt attempt = Attempt(trusted.Port(), {});
    EXPECT_EQ(attempt.nResult, -1) << "our CA is not among the system's";
    EXPECT_TRUE(attempt.bRefused);
    EXPECT_TRUE(attempt.strProblem.startsWith(QStringLiteral("certificate refused, untrusted issuer (")))
        << attempt.strProblem.toStdString();
    EXPECT_EQ(Attempt(trusted.Port(), {QString(), true}).nResult, 0) << "insecure accepts it";

    CTlsPeer selfSigned(certificates.MakeLeaf("IP:127.0.0.1", -1, 30, true), {});
    attempt = Attempt(selfSigned.Port(), withCa);
    EXPECT_TRUE(attempt.bRefused);
    EXPECT_TRUE(attempt.strProblem.startsWith(QStringLiteral("certificate refused, self-signed (")));

    CTlsPeer otherName(certificates.MakeLeaf("DNS:camera.example"), {});
    attempt = Attempt(otherName.Port(), withCa);
    EXPECT_TRUE(attempt.bRefused);
    EXPECT_TRUE(attempt.strProblem.startsWith(QStringLiteral("certificate refused, name mismatch (")));

    CTlsPeer expired(certificates.MakeLeaf("IP:127.0.0.1", -30, -1), {});
    attempt = Attempt(expired.Port(), withCa);
    EXPECT_TRUE(attempt.bRefused);
    EXPECT_TRUE(attempt.strProblem.startsWith(QStringLiteral("certificate refused, expired (")));
    EXPECT_EQ(Attempt(expired.Port(), {QString(), true}).nResult, 0);

    attempt = Attempt(trusted.Port(), {QStringLiteral("/nonexistent/ca.pem"), false});
    EXPECT_EQ(attempt.nResult, -1);
    EXPECT_TRUE(attempt.strProblem.startsWith(QStringLiteral("the certificate file /nonexistent/ca.pem cannot be used")));
}

TEST(Tls, EveryCertificateOfTheTrustFileIsAnAnchorAndWildcardsAreWhole)
{
    CTestCertificates certificates;
    const CTlsOptions root{certificates.CaFile(), false};
    const CTlsOptions intermediate{certificates.IntermediateFile(), false};
    const QByteArray ip = "127.0.0.1";

    // The peer sends its certificate and the intermediate that signed it.
    CTlsPeer chained(certificates.MakeIntermediateLeaf("IP:127.0.0.1"), {});
    CAttempt attempt = Handshake(chained.Port(), root, ip);
    EXPECT_EQ(attempt.nResult, 0) << "the chain leads to the root: " << attempt.strProblem.toStdString();
    attempt = Handshake(chained.Port(), intermediate, ip);
    EXPECT_EQ(attempt.nResult, 0) << "the intermediate alone is trusted: " << attempt.strProblem.toStdString();

    const CTestCertificates::Leaf leaf = certificates.MakeLeaf("IP:127.0.0.1");
    CTlsPeer direct(leaf, {});
    attempt = Handshake(direct.Port(), {leaf.strCertFile, false}, ip);
    EXPECT_EQ(attempt.nResult, 0) << "the device's own certificate is trusted: " << attempt.strProblem.toStdString();
    attempt = Handshake(direct.Port(), {leaf.strCertFile, false}, "cam.site.example");
    EXPECT_TRUE(attempt.bRefused) << "a trusted certificate still carries the names it is for";
    EXPECT_TRUE(attempt.strProblem.startsWith(QStringLiteral("certificate refused, name mismatch (")))
        << attempt.strProblem.toStdString();
    attempt = Handshake(direct.Port(), intermediate, ip);
    EXPECT_TRUE(attempt.bRefused) << "the intermediate does not vouch for what the root signed itself";
    EXPECT_TRUE(attempt.strProblem.startsWith(QStringLiteral("certificate refused, untrusted issuer (")))
        << attempt.strProblem.toStdString();

    const CTestCertificates::Leaf expiredLeaf = certificates.MakeLeaf("IP:127.0.0.1", -30, -1);
    CTlsPeer expired(expiredLeaf, {});
    attempt = Handshake(expired.Port(), {expiredLeaf.strCertFile, false}, ip);
    EXPECT_TRUE(attempt.bRefused) << "trusting a certificate does not extend it";
    EXPECT_TRUE(attempt.strProblem.startsWith(QStringLiteral("certificate refused, expired (")))
        << attempt.strProblem.toStdString();

    // A wildcard stands for a whole label, never for part of one.
    CTlsPeer partial(certificates.MakeLeaf("DNS:c*.site.example"), {});
    attempt = Handshake(partial.Port(), root, "cam.site.example");
    EXPECT_TRUE(attempt.bRefused);
    EXPECT_TRUE(attempt.strProblem.startsWith(QStringLiteral("certificate refused, name mismatch (")))
        << attempt.strProblem.toStdString();
    CTlsPeer whole(certificates.MakeLeaf("DNS:*.site.example"), {});
    attempt = Handshake(whole.Port(), root, "cam.site.example");
    EXPECT_EQ(attempt.nResult, 0) << attempt.strProblem.toStdString();
    EXPECT_EQ(whole.ServerNames(1), QList<QByteArray>{"cam.site.example"});
}

TEST(Tls, UnusableCertificateFilesAreToldBeforeAnyConnection)
{
    CTestCertificates certificates;
    QTemporaryDir dir;
    const auto write = [&dir](const QString& strName, const QByteArray& text) {
        QFile file(dir.filePath(strName));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return file.fileName();
    };
    // "usable", or why not.
    const auto problem = [](const QString& strPath) {
        QString strProblem = QStringLiteral("unchanged");
        const bool bUsable = CTlsConnection::CheckCaFile(strPath, &strProblem);
        return (bUsable ? QStringLiteral("usable") + strProblem : strProblem).toStdString();
    };
    const CTestCertificates::Leaf leaf = certificates.MakeIntermediateLeaf("IP:127.0.0.1");
    QFile ca(certificates.CaFile());
    ASSERT_TRUE(ca.open(QIODevice::ReadOnly));
    const QByteArray caText = ca.readAll();

    EXPECT_EQ(problem(certificates.CaFile()), "usable");
    EXPECT_EQ(problem(leaf.strCertFile), "usable") << "a device's certificate and its chain";
    EXPECT_EQ(problem(write(QStringLiteral("notes.pem"), "Camera CA\n" + caText + "end\n")), "usable")
        << "text around the blocks is skipped";
    EXPECT_EQ(problem(dir.filePath(QStringLiteral("none.pem"))), "cannot be read: No such file or directory");
    EXPECT_EQ(problem(dir.path()), "cannot be read: file to open is a directory");
    EXPECT_EQ(problem(write(QStringLiteral("empty.pem"), "")), "is empty");
    EXPECT_EQ(problem(write(QStringLiteral("text.pem"), "trust the camera\n")), "holds no certificate");
    EXPECT_EQ(problem(leaf.strKeyFile), "holds no certificate") << "a key is not a certificate";
    QByteArray damaged = caText;
    damaged.insert(damaged.indexOf('\n') + 10, "!!");
    EXPECT_EQ(problem(write(QStringLiteral("damaged.pem"), caText + damaged)),
              "holds a damaged PEM block (bad base64 decode)");

    // Configure tells the same reason, and no handshake starts.
    CTlsPeer peer(certificates.MakeLeaf("IP:127.0.0.1"), {});
    const QString strEmpty = dir.filePath(QStringLiteral("empty.pem"));
    CTlsConnection tls;
    EXPECT_FALSE(tls.Configure({strEmpty, false}));
    EXPECT_EQ(tls.Problem().toStdString(),
              QStringLiteral("the certificate file %1 cannot be used: is empty").arg(strEmpty).toStdString());
    const CAttempt attempt = Handshake(peer.Port(), {strEmpty, false}, "127.0.0.1");
    EXPECT_EQ(attempt.nResult, -1);
    EXPECT_FALSE(attempt.bRefused);
    EXPECT_EQ(attempt.strProblem, tls.Problem());
}

TEST(Tls, DigestSha256ExchangeOnTheKeptConnection)
{
    CTestCertificates certificates;
    const QByteArray unauthorized = "HTTP/1.1 401 Unauthorized\r\n"
                                    "WWW-Authenticate: Digest realm=\"cam\", nonce=\"abc\", qop=\"auth\", algorithm=MD5\r\n"
                                    "WWW-Authenticate: Digest realm=\"cam\", nonce=\"abc\", qop=\"auth\", algorithm=SHA-256\r\n"
                                    "Content-Length: 0\r\n\r\n";
    CTlsPeer peer(certificates.MakeLeaf("IP:127.0.0.1"), {unauthorized, kOk});
    CHTTPLayer layer;
    layer.SetTls(true, {certificates.CaFile(), false});
    const CExchange ex = RunExchange(layer, peer.Port(), "/httpapi/x");
    EXPECT_EQ(ex.hr, S_OK);
    EXPECT_EQ(ex.nStatus, 200);
    EXPECT_EQ(ex.response.left(ex.nLength), kOk);
    const QList<QByteArray> requests = peer.Requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[0], "GET /httpapi/x HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: keep-alive\r\n\r\n");
    EXPECT_TRUE(requests[1].contains(", algorithm=SHA-256, ")) << requests[1].toStdString();
}

TEST(Tls, HostilePeersDuringTheHandshake)
{
    // Garbage instead of a ServerHello; a reset; silence. Each ends in bounded
    // time with a line that says what happened.
    CScriptedServer server;
    server.AddConnection({Step::Pause(50), Step::Write("HTTP/1.1 400 Bad Request\r\n\r\nplain text here"), Step::Wait()});
    server.AddConnection({Step::Pause(50), Step::Abort()});
    server.AddConnection({Step::Wait()});
    server.AddConnection({Step::Wait()});
    CAttempt attempt = Attempt(server.Port(), {});
    EXPECT_EQ(attempt.nResult, -1);
    EXPECT_FALSE(attempt.bRefused);
    EXPECT_TRUE(attempt.strProblem.startsWith(QStringLiteral("TLS handshake failed: "))) << attempt.strProblem.toStdString();
    attempt = Attempt(server.Port(), {});
    EXPECT_EQ(attempt.nResult, -1);
    EXPECT_TRUE(attempt.strProblem.startsWith(QStringLiteral("TLS handshake failed: "))) << attempt.strProblem.toStdString();

    CShortWaitLayer quick(300);
    quick.SetHost(QStringLiteral("127.0.0.1"));
    quick.SetTls(true);
    const long long nMs = MeasureMs([&] { EXPECT_EQ(quick.Connect(server.Port()), -1); });
    EXPECT_EQ(quick.TlsProblem(), QStringLiteral("TLS handshake timed out"));
    EXPECT_GE(nMs, 250);
    EXPECT_EQ(quick.Connect(0), -1);
    EXPECT_EQ(quick.TlsProblem(), QString()) << "a connect that fails before TLS has no TLS reason";

    // Closing (the cancel signal) ends a stalled handshake at once.
    CCancelSignal cancel;
    CAttempt cancelled;
    std::thread worker([&] {
        CCancelSignal::WatchOnThisThread(&cancel);
        cancelled = Attempt(server.Port(), {});
        CCancelSignal::WatchOnThisThread(nullptr);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const long long nCancelMs = MeasureMs([&] {
        cancel.Raise();
        worker.join();
    });
    EXPECT_EQ(cancelled.nResult, -1);
    EXPECT_LT(nCancelMs, 1000);
}
