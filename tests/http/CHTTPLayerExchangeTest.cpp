// Exchanges against the scripted loopback server: wire bytes, end conditions,
// hostile and broken peers.
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
    char buffer[2048] = {};
    int nLength = sizeof buffer;
    int nStatus = 0;
    EXPECT_EQ(layer.GetResponse(buffer, nLength, &nStatus, 5, 5), S_OK);
    EXPECT_EQ(nStatus, 200);
    ASSERT_EQ(server.Requests().size(), 1);
    EXPECT_EQ(server.Requests()[0], "GET /a HTTP/1.1\r\nHost: localhost\r\nConnection: keep-alive\r\n\r\n");
}

TEST(CHTTPLayerExchange, ResponseEndsWhenPeerCloses)
{
    CScriptedServer server;
    AddPass(server);
    const QByteArray response = "HTTP/1.1 200 OK\r\nX-A: 1\r\n\r\nno length, ends at close";
    server.AddConnection({Step::Read(), Step::Write(response), Step::Pause(100), Step::Shut()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, S_OK);
    EXPECT_EQ(ex.nStatus, 200);
    EXPECT_EQ(Text(ex), response);
    EXPECT_LT(ex.nMs, 1000);
}

TEST(CHTTPLayerExchange, BodyEndingInBlankLineEndsAtOnce)
{
    CScriptedServer server;
    AddPass(server);
    const QByteArray response = "HTTP/1.1 200 OK\r\nX-A: 1\r\n\r\nline\r\n\r\n";
    server.AddConnection({Step::Read(), Step::Write(response), Step::Wait()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, S_OK);
    EXPECT_EQ(Text(ex), response);
    EXPECT_LT(ex.nMs, 1000);
}

TEST(CHTTPLayerExchange, ChunkedBodyEndsAtLastChunkAcrossWrites)
{
    CScriptedServer server;
    AddPass(server);
    const QByteArray head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    server.AddConnection({Step::Read(), Step::Write(head + "5\r\nhel"), Step::Pause(50), Step::Write("lo\r\n1"),
                          Step::Pause(50), Step::Write("0;ext=1\r\n0123456789abcdef\r\n0\r\nX-Trailer: 1\r"),
                          Step::Pause(50), Step::Write("\n\r\n"), Step::Wait()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, S_OK);
    EXPECT_EQ(ex.nStatus, 200);
    EXPECT_TRUE(Text(ex).endsWith("0\r\nX-Trailer: 1\r\n\r\n"));
    EXPECT_LT(ex.nMs, 1000);
}

TEST(CHTTPLayerExchange, BlankLineInsideAnnouncedBodyDoesNotEndIt)
{
    CScriptedServer server;
    AddPass(server);
    const QByteArray response = "HTTP/1.1 200 OK\r\nContent-Length: 30\r\n\r\nline1\r\n\r\nline2-after-blank-END";
    server.AddConnection({Step::Read(), Step::Write(response.chopped(15)), Step::Pause(200),
                          Step::Write(response.right(15) + "junk after the body"), Step::Wait()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, S_OK);
    EXPECT_EQ(Text(ex), response) << "the whole announced body, and nothing after it";
    EXPECT_LT(ex.nMs, 1000);
}

TEST(CHTTPLayerExchange, SilentPeerRunsOutTheFiveSecondWait)
{
    CScriptedServer server;
    server.AddConnection({Step::Read(), Step::Wait()});
    CHTTPLayer layer;
    layer.SetHost(QStringLiteral("127.0.0.1"));
    ASSERT_EQ(layer.Connect(server.Port()), 0);
    ASSERT_EQ(layer.SendGet("/silent"), S_OK);
    char buffer[2048];
    std::memset(buffer, 'x', sizeof buffer);
    int nLength = sizeof buffer;
    int nStatus = 0;
    HRESULT hr = 0;
    const long long nMs = MeasureMs([&] { hr = layer.GetResponse(buffer, nLength, &nStatus, 5, 5); });
    EXPECT_EQ(hr, S_WAIT_TIMEOUT);
    EXPECT_EQ(nStatus, 400);
    EXPECT_EQ(nLength, 0);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_GE(nMs, 4900);
    EXPECT_LT(nMs, 7000);
    EXPECT_TRUE(layer.m_strLastError.startsWith(QStringLiteral("HTTP: GetResponse select timeout WSAErr: ")));
    EXPECT_TRUE(layer.m_strLastError.endsWith(QLatin1Char('\n')));
}

TEST(CHTTPLayerExchange, SilenceInSendRequestGivesOneAndLeavesBufferAlone)
{
    CScriptedServer server;
    AddPass(server);
    server.AddConnection({Step::Read(), Step::Wait()});
    CShortWaitLayer layer(300);
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, S_WAIT_TIMEOUT);
    EXPECT_EQ(ex.nStatus, 400);
    EXPECT_EQ(ex.nLength, 2048) << "length keeps its entry value";
    EXPECT_EQ(ex.response, QByteArray(2048, '\0'));
}

TEST(CHTTPLayerExchange, PartialResponseThenStallIsTakenAfterTheWait)
{
    CScriptedServer server;
    AddPass(server);
    const QByteArray partial = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc";
    server.AddConnection({Step::Read(), Step::Write(partial), Step::Wait()});
    CShortWaitLayer layer(400);
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, S_OK) << "more than 18 bytes came: a run-out wait is no error";
    EXPECT_EQ(ex.nStatus, 200);
    EXPECT_EQ(Text(ex), partial);
    EXPECT_GE(ex.nMs, 350);
}

TEST(CHTTPLayerExchange, TricklingPeerIsCutOffByTheResponseLimit)
{
    CScriptedServer server;
    AddPass(server);
    CScriptedServer::Script script{Step::Read(), Step::Write("HTTP/1.1 200 OK\r\nContent-Length: 999\r\n\r\n")};
    for (int i = 0; i < 40; ++i) {
        script.push_back(Step::Pause(100));
        script.push_back(Step::Write("x"));
    }
    script.push_back(Step::Wait());
    server.AddConnection(script);
    CShortWaitLayer layer(1000, 1200);
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, S_OK);
    EXPECT_EQ(ex.nStatus, 200);
    EXPECT_GE(ex.nMs, 1100);
    EXPECT_LT(ex.nMs, 2500) << "each byte came within the wait, yet the whole response is bounded";
    EXPECT_EQ(layer.m_strLastError, QStringLiteral("HTTP: GetResponse time limit reached\n"));
}

TEST(CHTTPLayerExchange, ResetInTheMiddleOfTheBodyKeepsWhatCame)
{
    CScriptedServer server;
    AddPass(server);
    const QByteArray part = "HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + QByteArray(100, 'b');
    server.AddConnection({Step::Read(), Step::Write(part), Step::Pause(200), Step::Abort()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, S_OK);
    EXPECT_EQ(ex.nStatus, 200);
    EXPECT_LE(ex.nLength, part.size());
    EXPECT_GT(ex.nLength, 18);
    EXPECT_LT(ex.nMs, 1000);
}

TEST(CHTTPLayerExchange, MegabyteBodyFillsTheBuffer)
{
    CScriptedServer server;
    AddPass(server);
    const QByteArray big = "HTTP/1.1 200 OK\r\nContent-Length: 1048576\r\n\r\n" + QByteArray(1048576, 'm');
    server.AddConnection({Step::Read(), Step::Write(big), Step::Wait()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, E_OUTOFMEMORY);
    EXPECT_EQ(ex.nStatus, 400);
    EXPECT_EQ(ex.nLength, 2048);
    EXPECT_EQ(ex.response, QByteArray(2048, '\0'));
    EXPECT_EQ(layer.m_strLastError, QStringLiteral("HTTP: GetResponse not enough memory\n"));
}

TEST(CHTTPLayerExchange, FullBufferKeepsTheDataNulTerminated)
{
    CScriptedServer server;
    const QByteArray big = "HTTP/1.1 200 OK\r\nContent-Length: 1048576\r\n\r\n" + QByteArray(1048576, 'm');
    server.AddConnection({Step::Read(), Step::Write(big), Step::Wait()});
    CHTTPLayer layer;
    layer.SetHost(QStringLiteral("127.0.0.1"));
    ASSERT_EQ(layer.Connect(server.Port()), 0);
    ASSERT_EQ(layer.SendGet("/big"), S_OK);
    QByteArray buffer(CHTTPLayer::kReceiveBufferSize, 'z');
    int nLength = buffer.size();
    int nStatus = 0;
    EXPECT_EQ(layer.GetResponse(buffer.data(), nLength, &nStatus, 5, 5), E_OUTOFMEMORY);
    EXPECT_EQ(nStatus, 400);
    EXPECT_GE(nLength, 102400 - 1024);
    EXPECT_LE(nLength, 102399);
    EXPECT_EQ(buffer[nLength], '\0');
    EXPECT_EQ(buffer.left(nLength), big.left(nLength));
}

TEST(CHTTPLayerExchange, GarbageIsNotHttp)
{
    CScriptedServer server;
    AddPass(server);
    QByteArray garbage;
    for (int i = 0; i < 300; ++i)
        garbage.append(static_cast<char>((i * 37 + 11) % 256));
    server.AddConnection({Step::Read(), Step::Write(garbage), Step::Shut()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, E_FAIL);
    EXPECT_EQ(ex.nStatus, 400);
    EXPECT_EQ(ex.response, QByteArray(2048, '\0'));
}

TEST(CHTTPLayerExchange, GarbageDataAndLengthAreStillReturnedByGetResponse)
{
    CScriptedServer server;
    const QByteArray garbage = "XTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";
    server.AddConnection({Step::Read(), Step::Write(garbage), Step::Shut()});
    CHTTPLayer layer;
    layer.SetHost(QStringLiteral("127.0.0.1"));
    ASSERT_EQ(layer.Connect(server.Port()), 0);
    ASSERT_EQ(layer.SendGet("/"), S_OK);
    char buffer[2048] = {};
    int nLength = sizeof buffer;
    EXPECT_EQ(layer.GetResponse(buffer, nLength, nullptr, 5, 5), E_FAIL);
    EXPECT_EQ(QByteArray(buffer, nLength), garbage);
}

TEST(CHTTPLayerExchange, StatusIsTheFirstNumberFromByteEight)
{
    CScriptedServer server;
    AddPass(server);
    const QByteArray odd = "HTTP/1.1 abc\r\nX-Id: 7";
    ASSERT_EQ(odd.size(), 21);
    server.AddConnection({Step::Read(), Step::Write(odd), Step::Shut()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, S_OK);
    EXPECT_EQ(ex.nStatus, 7);
    EXPECT_EQ(Text(ex), odd);
}

TEST(CHTTPLayerExchange, TwelveByteResponseHasNoStatus)
{
    CScriptedServer server;
    AddPass(server);
    server.AddConnection({Step::Read(), Step::Write("HTTP/1.1 204"), Step::Shut()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, S_OK);
    EXPECT_EQ(ex.nStatus, 400);
    EXPECT_EQ(ex.nLength, 12);
    EXPECT_EQ(Text(ex), "HTTP/1.1 204");
}

TEST(CHTTPLayerExchange, LongResponseIsCutToCapacityLessOne)
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
    EXPECT_EQ(buffer.left(19), response.left(19));
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
    char buffer[2048] = {};
    int nLength = sizeof buffer;
    int nStatus = 0;
    EXPECT_EQ(layer.GetResponse(buffer, nLength, &nStatus, 5, 5), S_OK);
    EXPECT_EQ(nStatus, 200);
    EXPECT_EQ(server.ConnectionCount(), 2);
    ASSERT_EQ(server.Requests().size(), 1);
    EXPECT_TRUE(server.Requests()[0].startsWith("GET /retry HTTP/1.1\r\n"));
}

// --- authentication -------------------------------------------------------

TEST(CHTTPLayerAuth, NoSecondRequestAfterA200)
{
    CScriptedServer server;
    AddPass(server);
    server.AddConnection({Step::Read(), Step::Write(kOk), Step::Read(), Step::Write(kOk), Step::Wait()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, S_OK);
    EXPECT_EQ(server.Requests().size(), 1);
}

TEST(CHTTPLayerAuth, BasicOnTheKeptConnection)
{
    CScriptedServer server;
    AddPass(server);
    server.AddConnection({Step::Read(), Step::Write(Unauthorized("WWW-Authenticate: Basic realm=\"cam\"\r\n")),
                          Step::Read(), Step::Write(kOk), Step::Wait()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port(), "/httpapi/x");
    EXPECT_EQ(ex.hr, S_OK);
    EXPECT_EQ(ex.nStatus, 200);
    EXPECT_EQ(Text(ex), kOk);
    EXPECT_LT(ex.nMs, 1000);
    EXPECT_EQ(server.ConnectionCount(), 2) << "the pass connection and one for the exchange";
    ASSERT_EQ(server.Requests().size(), 2);
    EXPECT_EQ(server.Requests()[1], "GET /httpapi/x HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Basic "
                                    "YWRtaW46NDcxOQ==\r\nConnection: keep-alive\r\n\r\n");
}

TEST(CHTTPLayerAuth, EmptyCredentialsStillGiveBasic)
{
    CScriptedServer server;
    AddPass(server);
    server.AddConnection({Step::Read(), Step::Write(Unauthorized("WWW-Authenticate: Basic realm=\"cam\"\r\n")),
                          Step::Read(), Step::Write(kOk), Step::Wait()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port(), "/x", "", "");
    EXPECT_EQ(ex.hr, S_OK);
    ASSERT_EQ(server.Requests().size(), 2);
    EXPECT_TRUE(server.Requests()[1].contains("\r\nAuthorization: Basic Og==\r\n"));
}

TEST(CHTTPLayerAuth, CloseRightAfterThe401UsesANewConnection)
{
    CScriptedServer server;
    AddPass(server);
    server.AddConnection({Step::Read(), Step::Write(Unauthorized("WWW-Authenticate: Basic realm=\"cam\"\r\n")),
                          Step::Shut()});
    server.AddConnection({Step::Read(), Step::Write(kOk), Step::Wait()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, S_OK);
    EXPECT_EQ(ex.nStatus, 200);
    EXPECT_EQ(Text(ex), kOk);
    EXPECT_EQ(server.ConnectionCount(), 3);
    ASSERT_EQ(server.Requests().size(), 2);
    EXPECT_TRUE(server.Requests()[1].contains("Authorization: Basic YWRtaW46NDcxOQ=="));
}

TEST(CHTTPLayerAuth, ConnectionCloseHeaderUsesANewConnection)
{
    CScriptedServer server;
    AddPass(server);
    // The server says close but keeps the socket open: the client must not wait on it.
    server.AddConnection({Step::Read(),
                          Step::Write(Unauthorized("WWW-Authenticate: Basic realm=\"cam\"\r\n", "Connection: Close\r\n")),
                          Step::Wait()});
    server.AddConnection({Step::Read(), Step::Write(kOk), Step::Wait()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, S_OK);
    EXPECT_EQ(ex.nStatus, 200);
    EXPECT_EQ(server.ConnectionCount(), 3);
    EXPECT_LT(ex.nMs, 1000);
}

TEST(CHTTPLayerAuth, KeptConnectionIsReusedOnlyAfterThe401WasReadToItsEnd)
{
    // The 401's body holds a blank line and comes in two parts: it is read
    // whole, and the credentials go on the same connection.
    const QByteArray body = "<html>\r\n\r\nlogin please</html>";
    const QByteArray unauthorized = "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"cam\"\r\n"
                                    "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    CScriptedServer server;
    AddPass(server);
    server.AddConnection({Step::Read(), Step::Write(unauthorized.chopped(10)), Step::Pause(100),
                          Step::Write(unauthorized.right(10)), Step::Read(), Step::Write(kOk), Step::Wait()});
    CHTTPLayer layer;
    CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, S_OK);
    EXPECT_EQ(ex.nStatus, 200);
    EXPECT_EQ(Text(ex), kOk);
    EXPECT_EQ(server.ConnectionCount(), 2);

    // Bytes beyond the 401's announced end: that connection is not trusted.
    CScriptedServer other;
    AddPass(other);
    other.AddConnection({Step::Read(), Step::Write(unauthorized + "stray"), Step::Read(), Step::Write("HTTP/1.1 500 X\r\n\r\n"),
                         Step::Wait()});
    other.AddConnection({Step::Read(), Step::Write(kOk), Step::Wait()});
    ex = RunExchange(layer, other.Port());
    EXPECT_EQ(ex.nStatus, 200);
    EXPECT_EQ(other.ConnectionCount(), 3);
}

TEST(CHTTPLayerAuth, InterimResponsesAreSkipped)
{
    const QByteArray interim = "HTTP/1.1 100 Continue\r\n\r\n";
    CScriptedServer server;
    AddPass(server);
    server.AddConnection({Step::Read(), Step::Write(interim), Step::Pause(50),
                          Step::Write(Unauthorized("WWW-Authenticate: Basic realm=\"cam\"\r\n")), Step::Read(),
                          Step::Write(interim + "HTTP/1.1 102 Processing\r\nX: 1\r\n\r\n" + kOk), Step::Wait()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, S_OK);
    EXPECT_EQ(ex.nStatus, 200);
    EXPECT_EQ(Text(ex), kOk) << "the caller gets the final response alone";
    EXPECT_EQ(server.Requests().size(), 2) << "the 401 after the 100 was answered";
    EXPECT_LT(ex.nMs, 1000);
}

TEST(CHTTPLayerAuth, Http10WithoutKeepAliveUsesANewConnection)
{
    CScriptedServer server;
    AddPass(server);
    server.AddConnection({Step::Read(),
                          Step::Write("HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"c\"\r\n"
                                      "Content-Length: 0\r\n\r\n"),
                          Step::Wait()});
    server.AddConnection({Step::Read(), Step::Write(kOk), Step::Wait()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, S_OK);
    EXPECT_EQ(ex.nStatus, 200);
    EXPECT_EQ(server.ConnectionCount(), 3);
}

TEST(CHTTPLayerAuth, KeptConnectionDroppedUnderTheCredentialsIsRetriedOnce)
{
    CScriptedServer server;
    AddPass(server);
    // Keep-alive 401, but the server drops the connection as the credentials come in.
    server.AddConnection({Step::Read(), Step::Write(Unauthorized("WWW-Authenticate: Basic realm=\"cam\"\r\n")),
                          Step::Read(), Step::Shut()});
    server.AddConnection({Step::Read(), Step::Write(kOk), Step::Wait()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, S_OK);
    EXPECT_EQ(ex.nStatus, 200);
    EXPECT_EQ(Text(ex), kOk);
    EXPECT_EQ(server.Requests().size(), 3);
}

TEST(CHTTPLayerAuth, EmptySecondResponseOnANewConnectionIsNotRetriedAgain)
{
    CScriptedServer server;
    AddPass(server);
    server.AddConnection({Step::Read(), Step::Write(Unauthorized("WWW-Authenticate: Basic realm=\"cam\"\r\n")),
                          Step::Shut()});
    server.AddConnection({Step::Read(), Step::Shut()});
    server.AddConnection({Step::Read(), Step::Write(kOk), Step::Wait()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, S_OK);
    EXPECT_EQ(ex.nStatus, 400);
    EXPECT_EQ(ex.nLength, 0);
    EXPECT_EQ(server.ConnectionCount(), 3);
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

TEST(CHTTPLayerAuth, FirstAnswerableChallengeAmongSeveralHeaders)
{
    CScriptedServer server;
    AddPass(server);
    const QByteArray challenges = "WWW-Authenticate: Negotiate\r\n"
                                  "WWW-Authenticate: Digest realm=\"r\", nonce=\"n\", algorithm=SHA-1, qop=\"auth\", "
                                  "BASIC realm=\"b\"\r\n";
    server.AddConnection({Step::Read(), Step::Write(Unauthorized(challenges)), Step::Read(), Step::Write(kOk),
                          Step::Wait()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, S_OK);
    ASSERT_EQ(server.Requests().size(), 2);
    EXPECT_TRUE(server.Requests()[1].contains("\r\nAuthorization: Basic YWRtaW46NDcxOQ==\r\n"));
}

TEST(CHTTPLayerAuth, UnknownSchemeIsNotAnswered)
{
    CScriptedServer server;
    AddPass(server);
    server.AddConnection({Step::Read(), Step::Write(Unauthorized("WWW-Authenticate: Negotiate abc==\r\n")),
                          Step::Read(), Step::Write(kOk), Step::Wait()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, S_OK);
    EXPECT_EQ(ex.nStatus, 401);
    EXPECT_EQ(ex.nLength, 2048);
    EXPECT_EQ(ex.response, QByteArray(2048, '\0'));
    EXPECT_EQ(server.Requests().size(), 1);
}

TEST(CHTTPLayerAuth, DigestWithoutNonceFailsWithThe401)
{
    CScriptedServer server;
    AddPass(server);
    const QByteArray response = Unauthorized("WWW-Authenticate: Digest realm=\"r\", qop=\"auth\"\r\n");
    server.AddConnection({Step::Read(), Step::Write(response), Step::Wait()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, E_FAIL);
    EXPECT_EQ(ex.nStatus, 401);
    EXPECT_EQ(Text(ex), response);
}

TEST(CHTTPLayerAuth, FailedSecondResponseGivesThe401)
{
    CScriptedServer server;
    AddPass(server);
    const QByteArray response = Unauthorized("WWW-Authenticate: Basic realm=\"r\"\r\n");
    server.AddConnection({Step::Read(), Step::Write(response), Step::Read(), Step::Wait()});
    CShortWaitLayer layer(300);
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, S_WAIT_TIMEOUT);
    EXPECT_EQ(ex.nStatus, 400);
    EXPECT_EQ(Text(ex), response);
}

TEST(CHTTPLayerAuth, RefusedCredentialsGiveTheSecond401)
{
    CScriptedServer server;
    AddPass(server);
    const QByteArray first = Unauthorized("WWW-Authenticate: Basic realm=\"r\"\r\n");
    const QByteArray second = Unauthorized("WWW-Authenticate: Basic realm=\"again\"\r\n");
    server.AddConnection({Step::Read(), Step::Write(first), Step::Read(), Step::Write(second), Step::Read(),
                          Step::Write(kOk), Step::Wait()});
    CHTTPLayer layer;
    const CExchange ex = RunExchange(layer, server.Port());
    EXPECT_EQ(ex.hr, S_OK);
    EXPECT_EQ(ex.nStatus, 401);
    EXPECT_EQ(Text(ex), second);
    EXPECT_EQ(server.Requests().size(), 2) << "no third request";
}
