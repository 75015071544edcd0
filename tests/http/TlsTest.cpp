// HTTPS: certificates checked or accepted as set, Digest with SHA-256 over
// TLS, and hostile peers during the handshake.
#include "CScriptedServer.h"
#include "CTlsPeer.h"
#include "HttpTestSupport.h"

#include "platform/CCancelSignal.h"

#include <gtest/gtest.h>

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
