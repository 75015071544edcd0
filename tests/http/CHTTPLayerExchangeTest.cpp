// Exchanges against the scripted loopback server: wire bytes, waits, retries
// and the answer to a 401 (the ways a response can end are in
// HostileDeviceTest.cpp).
#include "CScriptedServer.h"
#include "HttpTestSupport.h"

#include "http/CDigestAuth.h"

#include <gtest/gtest.h>

#include <cstring>

using Step = CScriptedServer::Step;

namespace {

const QByteArray kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nOK";

// The connection that the connection pass leaves open before each exchange.
void AddPass(CScriptedServer& server)
{
    server.AddConnection({Step::Wait()});
}

QByteArray Unauthorized(const QByteArray& challengeLines, const QByteArray& extraHeaders = {})
{
    const QByteArray body = "<html>401 Unauthorized</html>";
    return "HTTP/1.1 401 Unauthorized\r\n" + challengeLines + extraHeaders
        + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

QByteArray Text(const CExchange& exchange)
{
    return exchange.response.left(exchange.nLength);
}

} // namespace

TEST(CHTTPLayerExchange, PlainRequestBytesAndImmediateEndByContentLength)
{
    CScriptedServer server;
    AddPass(server);
    server.AddConnection({Step::Read(), Step::Write(kOk), Step::Wait()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port(), "/httpapi/SendPTZ?a=1&b=%20");
    EXPECT_EQ(ex.hr, S_OK);
    EXPECT_EQ(ex.nStatus, 200);
    EXPECT_EQ(Text(ex), kOk);
    EXPECT_EQ(ex.response[ex.nLength], '\0');
    EXPECT_LT(ex.nMs, 1000) << "the announced body has come: no wait for the peer";
    ASSERT_EQ(server.Requests().size(), 1);
    EXPECT_EQ(server.Requests()[0],
              "GET /httpapi/SendPTZ?a=1&b=%20 HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: keep-alive\r\n\r\n");
    EXPECT_EQ(layer.Socket(), INVALID_SOCKET) << "every exchange ends with the socket closed";
}

TEST(CHTTPLayerExchange, HostHeaderCarriesTheNameWithoutPort)
{
    CScriptedServer server;
    server.AddConnection({Step::Read(), Step::Write(kOk), Step::Wait()});
    CHTTPLayer layer;
    layer.SetHost(QStringLiteral("localhost"));
    ASSERT_EQ(layer.SendGet("/a"), E_FAIL) << "no Connect yet: port 80 where nothing of ours listens";
    ASSERT_EQ(layer.Connect(server.Port()), 0);
    ASSERT_EQ(layer.SendGet("/a"), S_OK);
    CResponseParser response;
    EXPECT_EQ(layer.ReadResponse(response), S_OK);
    EXPECT_EQ(response.Status(), 200);
    ASSERT_EQ(server.Requests().size(), 1);
    EXPECT_EQ(server.Requests()[0], "GET /a HTTP/1.1\r\nHost: localhost\r\nConnection: keep-alive\r\n\r\n");
}

TEST(CHTTPLayerExchange, SilentPeerRunsOutTheFiveSecondWait)
{
    CScriptedServer server;
    server.AddConnection({Step::Read(), Step::Wait()});
    CHTTPLayer layer;
    layer.SetHost(QStringLiteral("127.0.0.1"));
    ASSERT_EQ(layer.Connect(server.Port()), 0);
    ASSERT_EQ(layer.SendGet("/silent"), S_OK);
    CResponseParser response;
    HRESULT hr = 0;
    const long long nMs = MeasureMs([&] { hr = layer.ReadResponse(response); });
    EXPECT_EQ(hr, S_WAIT_TIMEOUT);
    EXPECT_EQ(response.Status(), -1);
    EXPECT_TRUE(response.IsEmpty());
    EXPECT_GE(nMs, 4900);
    EXPECT_LT(nMs, 7000);
    EXPECT_EQ(layer.Failure(), QString()) << "the time-out line says it all";
}

TEST(CHTTPLayerExchange, SilenceInSendRequestGivesOneAndLeavesBufferAlone)
{
    CScriptedServer server;
    AddPass(server);
    server.AddConnection({Step::Read(), Step::Wait()});
    CShortWaitLayer layer(300);
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, S_WAIT_TIMEOUT);
    EXPECT_EQ(ex.nStatus, -1) << "no status is made up";
    EXPECT_EQ(ex.nLength, 2048) << "length keeps its entry value";
    EXPECT_EQ(ex.response, QByteArray(2048, '\0'));
}

TEST(CHTTPLayerExchange, LongResponseIsCutToCapacityLessOneWithTheBodyFirst)
{
    CScriptedServer server;
    AddPass(server);
    const QByteArray response = "HTTP/1.1 200 OK\r\nContent-Length: 40\r\n\r\n" + QByteArray(40, 'q');
    server.AddConnection({Step::Read(), Step::Write(response), Step::Wait()});
    CHTTPLayer layer;
    layer.SetHost(QStringLiteral("127.0.0.1"));
    ASSERT_EQ(layer.Connect(server.Port()), 0);
    QByteArray buffer(64, 'Z');
    int nLength = 20;
    int nStatus = 0;
    EXPECT_EQ(layer.SendRequest("/cut", buffer.data(), nLength, nStatus, "", ""), S_OK);
    EXPECT_EQ(nStatus, 200);
    EXPECT_EQ(nLength, 19);
    // The body's first bytes keep their room; the head gives up its start.
    EXPECT_EQ(buffer.left(19), "\r\n\r\n" + QByteArray(15, 'q'));
    EXPECT_EQ(buffer[19], '\0');
    EXPECT_EQ(buffer.mid(20), QByteArray(44, 'Z')) << "nothing written past the capacity";
}

TEST(CHTTPLayerExchange, LongRequestTargetGoesOutWhole)
{
    CScriptedServer server;
    AddPass(server);
    server.AddConnection({Step::Read(), Step::Write(kOk), Step::Wait()});
    const QByteArray target = "/httpapi/long?x=" + QByteArray(20000, 'a');
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port(), target);
    EXPECT_EQ(ex.hr, S_OK);
    ASSERT_EQ(server.Requests().size(), 1);
    EXPECT_EQ(server.Requests()[0], "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: keep-alive\r\n\r\n");
}

TEST(CHTTPLayerExchange, SendFailureIsRetriedOnceOnANewConnection)
{
    CScriptedServer server;
    server.AddConnection({Step::Pause(200), Step::Abort()});  // drops the first connection once it is up
    server.AddConnection({Step::Read(), Step::Write(kOk), Step::Wait()});
    CHTTPLayer layer;
    layer.SetHost(QStringLiteral("127.0.0.1"));
    ASSERT_EQ(layer.Connect(server.Port()), 0);
    for (int i = 0; i < 300 && !SocketPeerClosed(layer.Socket()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(SocketPeerClosed(layer.Socket())) << "the reset has arrived";
    HRESULT hr = E_FAIL;
    const long long nMs = MeasureMs([&] { hr = layer.SendGet("/retry"); });
    EXPECT_EQ(hr, S_OK);
    EXPECT_GE(nMs, 25) << "the new connection comes after 25 ms";
    EXPECT_TRUE(layer.m_strLastError.startsWith(QStringLiteral("HTTP: Error while send data WSAErr: ")));
    CResponseParser response;
    EXPECT_EQ(layer.ReadResponse(response), S_OK);
    EXPECT_EQ(response.Status(), 200);
    EXPECT_EQ(server.ConnectionCount(), 2);
    ASSERT_EQ(server.Requests().size(), 1);
    EXPECT_TRUE(server.Requests()[0].startsWith("GET /retry HTTP/1.1\r\n"));
}

// --- authentication -------------------------------------------------------

// How a 401 is answered, and on which connection: one row per device
// behaviour. Each exchange comes after the connection pass's connection; the
// row gives the scripts of the connections the exchange opens, then what the
// caller must see. A check left empty (or -1) is not made.
struct CAuthCase {
    const char* pszName;
    std::vector<CScriptedServer::Script> connections;
    HRESULT hr;
    int nStatus;
    int nConnections;             // the pass's connection included
    int nRequests;
    QByteArray text;              // what the caller is given
    QByteArray secondRequestHas;  // a piece of the request with credentials
    QString strProblem;           // Failure() for a failed command, else AuthProblem()
    QByteArray user = "admin";
    QByteArray password = "4719";
};

TEST(CHTTPLayerAuth, EachWayADeviceAnswersA401)
{
    const QByteArray basic = Unauthorized("WWW-Authenticate: Basic realm=\"cam\"\r\n");
    const QByteArray again = Unauthorized("WWW-Authenticate: Basic realm=\"again\"\r\n");
    const QByteArray noNonce = Unauthorized("WWW-Authenticate: Digest realm=\"r\", qop=\"auth\"\r\n");
    const QByteArray interim = "HTTP/1.1 100 Continue\r\n\r\n";
    // The 401's body holds a blank line and comes in two parts.
    const QByteArray body = "<html>\r\n\r\nlogin please</html>";
    const QByteArray split = "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"cam\"\r\n"
                             "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    const QByteArray withBasic = "\r\nAuthorization: Basic YWRtaW46NDcxOQ==\r\n";
    const std::vector<CAuthCase> cases = {
        {"no second request after a 200",
         {{Step::Read(), Step::Write(kOk), Step::Read(), Step::Write(kOk), Step::Wait()}},
         S_OK, 200, 2, 1, kOk, {}, {}},
        {"Basic on the kept connection",
         {{Step::Read(), Step::Write(basic), Step::Read(), Step::Write(kOk), Step::Wait()}},
         S_OK, 200, 2, 2, kOk, withBasic, {}},
        {"empty credentials still give Basic",
         {{Step::Read(), Step::Write(basic), Step::Read(), Step::Write(kOk), Step::Wait()}},
         S_OK, 200, 2, 2, kOk, "\r\nAuthorization: Basic Og==\r\n", {}, "", ""},
        {"a close right after the 401: a new connection",
         {{Step::Read(), Step::Write(basic), Step::Shut()}, {Step::Read(), Step::Write(kOk), Step::Wait()}},
         S_OK, 200, 3, 2, kOk, withBasic, {}},
        // The server says close but keeps the socket open: the client must not wait on it.
        {"Connection: close on the 401: a new connection",
         {{Step::Read(), Step::Write(Unauthorized("WWW-Authenticate: Basic realm=\"cam\"\r\n", "Connection: Close\r\n")),
           Step::Wait()},
          {Step::Read(), Step::Write(kOk), Step::Wait()}},
         S_OK, 200, 3, 2, kOk, withBasic, {}},
        {"HTTP/1.0 without keep-alive: a new connection",
         {{Step::Read(),
           Step::Write("HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"c\"\r\nContent-Length: 0\r\n\r\n"),
           Step::Wait()},
          {Step::Read(), Step::Write(kOk), Step::Wait()}},
         S_OK, 200, 3, 2, kOk, withBasic, {}},
        {"the kept connection is reused once the 401 was read to its end",
         {{Step::Read(), Step::Write(split.chopped(10)), Step::Pause(100), Step::Write(split.right(10)), Step::Read(),
           Step::Write(kOk), Step::Wait()}},
         S_OK, 200, 2, 2, kOk, withBasic, {}},
        {"bytes beyond the 401's end: that connection is not trusted",
         {{Step::Read(), Step::Write(split + "stray"), Step::Read(), Step::Write("HTTP/1.1 500 X\r\n\r\n"), Step::Wait()},
          {Step::Read(), Step::Write(kOk), Step::Wait()}},
         S_OK, 200, 3, 2, kOk, withBasic, {}},
        {"interim responses are skipped, the caller gets the final one alone",
         {{Step::Read(), Step::Write(interim), Step::Pause(50), Step::Write(basic), Step::Read(),
           Step::Write(interim + "HTTP/1.1 102 Processing\r\nX: 1\r\n\r\n" + kOk), Step::Wait()}},
         S_OK, 200, 2, 2, kOk, withBasic, {}},
        {"the kept connection dropped under the credentials is retried once",
         {{Step::Read(), Step::Write(basic), Step::Read(), Step::Shut()}, {Step::Read(), Step::Write(kOk), Step::Wait()}},
         S_OK, 200, 3, 3, kOk, withBasic, {}},
        {"no answer to the credentials on a new connection is a failed command, not retried again",
         {{Step::Read(), Step::Write(basic), Step::Shut()}, {Step::Read(), Step::Shut()},
          {Step::Read(), Step::Write(kOk), Step::Wait()}},
         E_FAIL, -1, 3, 2, {}, withBasic, QStringLiteral("no response (connection closed before a status line)")},
        {"Basic is chosen when the Digest offered cannot be answered",
         {{Step::Read(),
           Step::Write(Unauthorized("WWW-Authenticate: Negotiate\r\nWWW-Authenticate: Digest realm=\"r\", nonce=\"n\", "
                                    "algorithm=SHA-1, qop=\"auth\", BASIC realm=\"b\"\r\n")),
           Step::Read(), Step::Write(kOk), Step::Wait()}},
         S_OK, 200, 2, 2, kOk, withBasic, {}},
        {"an unknown scheme is not answered: the 401 is the answer",
         {{Step::Read(), Step::Write(Unauthorized("WWW-Authenticate: Negotiate abc==\r\n")), Step::Read(),
           Step::Write(kOk), Step::Wait()}},
         S_OK, 401, 2, 1, Unauthorized("WWW-Authenticate: Negotiate abc==\r\n"), {},
         QStringLiteral("no supported challenge among: Negotiate")},
        {"Digest without a nonce fails with the 401",
         {{Step::Read(), Step::Write(noNonce), Step::Wait()}},
         E_FAIL, 401, 2, 1, noNonce, {}, QStringLiteral("the Digest challenge lacks its realm or nonce")},
        {"refused credentials give the second 401, and no third request",
         {{Step::Read(), Step::Write(basic), Step::Read(), Step::Write(again), Step::Read(), Step::Write(kOk),
           Step::Wait()}},
         S_OK, 401, 2, 2, again, withBasic, QStringLiteral("credentials refused")},
    };
    for (const CAuthCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        CScriptedServer server;
        AddPass(server);
        for (const CScriptedServer::Script& script : c.connections)
            server.AddConnection(script);
        CHTTPLayer layer;
        const CExchange ex = RunExchange(layer, server.Port(), "/httpapi/x", c.user, c.password);
        EXPECT_EQ(ex.hr, c.hr);
        EXPECT_EQ(ex.nStatus, c.nStatus);
        if (!c.text.isEmpty()) {
            EXPECT_EQ(Text(ex), c.text);
        }
        if (c.hr == S_OK && c.nStatus == 200) {
            EXPECT_LT(ex.nMs, 1000) << "the answer was whole: no wait for the device";
        }
        EXPECT_EQ(server.ConnectionCount(), c.nConnections);
        ASSERT_EQ(server.Requests().size(), c.nRequests);
        if (!c.secondRequestHas.isEmpty()) {
            EXPECT_TRUE(server.Requests()[1].contains(c.secondRequestHas)) << server.Requests()[1].constData();
        }
        if (c.hr == E_FAIL && c.nStatus < 0) {
            EXPECT_EQ(layer.Failure(), c.strProblem);
        } else {
            EXPECT_EQ(layer.AuthProblem(), c.strProblem);
        }
    }
}

TEST(CHTTPLayerAuth, BasicRequestBytes)
{
    CScriptedServer server;
    AddPass(server);
    server.AddConnection({Step::Read(), Step::Write(Unauthorized("WWW-Authenticate: Basic realm=\"cam\"\r\n")),
                          Step::Read(), Step::Write(kOk), Step::Wait()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port(), "/httpapi/x");
    EXPECT_EQ(ex.hr, S_OK);
    ASSERT_EQ(server.Requests().size(), 2);
    EXPECT_EQ(server.Requests()[1], "GET /httpapi/x HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Basic "
                                    "YWRtaW46NDcxOQ==\r\nConnection: keep-alive\r\n\r\n");
}

TEST(CHTTPLayerAuth, DigestWithQopListAndCommaRealmNoOpaque)
{
    CScriptedServer server;
    AddPass(server);
    const QByteArray challenge =
        "WWW-Authenticate: Digest realm=\"cam, inc\", nonce=\"abc=def==\", algorithm=MD5, qop=\"auth,auth-int\"\r\n";
    server.AddConnection({Step::Read(), Step::Write(Unauthorized(challenge)), Step::Read(), Step::Write(kOk),
                          Step::Wait()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port(), "/httpapi/q?x=1");
    EXPECT_EQ(ex.hr, S_OK);
    EXPECT_EQ(ex.nStatus, 200);
    ASSERT_EQ(server.Requests().size(), 2);
    const QByteArray ha1 = QtMd5Hex("admin:cam, inc:4719");
    const QByteArray ha2 = QtMd5Hex("GET:/httpapi/q?x=1");
    const QByteArray response = QtMd5Hex(ha1 + ":abc=def==:00000001::auth:" + ha2);
    EXPECT_EQ(server.Requests()[1],
              "GET /httpapi/q?x=1 HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization:Digest username=\"admin\", "
              "realm=\"cam, inc\", nonce=\"abc=def==\", uri=\"/httpapi/q?x=1\", algorithm=\"MD5\", response=\""
                  + response + "\", qop=\"auth\", nc=00000001, cnonce=\"\"\r\n\r\n");
}

TEST(CHTTPLayerAuth, DigestWithOpaqueSendsIt)
{
    CScriptedServer server;
    AddPass(server);
    const QByteArray challenge = "WWW-Authenticate: Digest realm=\"r\", nonce=\"n1\", qop=\"auth\", opaque=\"op\"\r\n";
    server.AddConnection({Step::Read(), Step::Write(Unauthorized(challenge)), Step::Read(), Step::Write(kOk),
                          Step::Wait()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port(), "/p");
    EXPECT_EQ(ex.hr, S_OK);
    ASSERT_EQ(server.Requests().size(), 2);
    EXPECT_TRUE(server.Requests()[1].endsWith(", qop=\"auth\", nc=00000001, cnonce=\"\", opaque=\"op\"\r\n\r\n"));
}

TEST(CHTTPLayerAuth, DigestWithoutQopUsesTheOlderForm)
{
    CScriptedServer server;
    AddPass(server);
    const QByteArray challenge = "WWW-Authenticate: digest realm=\"r\", nonce=\"n1\"\r\n";
    server.AddConnection({Step::Read(), Step::Write(Unauthorized(challenge)), Step::Read(), Step::Write(kOk),
                          Step::Wait()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port(), "/p");
    EXPECT_EQ(ex.hr, S_OK);
    ASSERT_EQ(server.Requests().size(), 2);
    const QByteArray response = QtMd5Hex(QtMd5Hex("admin:r:4719") + ":n1:" + QtMd5Hex("GET:/p"));
    EXPECT_EQ(server.Requests()[1], "GET /p HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization:Digest username=\"admin\", "
                                    "realm=\"r\", nonce=\"n1\", uri=\"/p\", algorithm=\"MD5\", response=\""
                                        + response + "\"\r\n\r\n");
}

TEST(CHTTPLayerAuth, SilenceAfterTheCredentialsIsATimeout)
{
    CScriptedServer server;
    AddPass(server);
    const QByteArray response = Unauthorized("WWW-Authenticate: Basic realm=\"r\"\r\n");
    server.AddConnection({Step::Read(), Step::Write(response), Step::Read(), Step::Wait()});
    CShortWaitLayer layer(300);
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, S_WAIT_TIMEOUT);
    EXPECT_EQ(ex.nStatus, -1) << "the answer to the credentials brought no status";
    EXPECT_EQ(ex.response, QByteArray(2048, '\0')) << "no answer, nothing to show";
}

