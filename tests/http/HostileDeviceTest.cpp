// Devices that answer badly, as data: what each sends, in what pieces, with
// what pauses, and how it ends the connection; and what the client must make
// of it. Every row is played by the scripted peer over plain TCP and over TLS.
#include "CScriptedServer.h"
#include "CTlsPeer.h"
#include "HttpTestSupport.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using Step = CScriptedServer::Step;

namespace {

enum class EEnd { Answered, Timeout, Failed };
enum EOver { kTcp = 1, kTls = 2, kBoth = 3 };

struct DeviceCase
{
    const char* pName;
    std::vector<CScriptedServer::Script> connections;  // after the connection pass's own
    EEnd end;
    int nStatus;            // -1: no status line read
    QString strFailure;     // the reason for the log; "~" starts a pattern
    QString strAuth;        // the [AUTH] reason
    QByteArray body;        // what the response data shows (after the blank line)
    int nOver = kBoth;
    // A request that must carry this text: "N:text" for the N-th request.
    QByteArray sentCheck = {};
    QByteArray user = "admin";
    QByteArray password = "4719";
    bool bUtf8 = false;
};

const QByteArray kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nOK";

QByteArray Unauthorized(const QByteArray& challenges)
{
    return "HTTP/1.1 401 Unauthorized\r\n" + challenges + "Content-Length: 4\r\n\r\nauth";
}

QByteArray Repeat(char c, int n) { return QByteArray(n, c); }

QByteArray Chunked(const QByteArray& body, int nChunk)
{
    QByteArray out = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";  // as chunkedHead
    for (qsizetype i = 0; i < body.size(); i += nChunk) {
        const QByteArray piece = body.mid(i, nChunk);
        out += QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n";
    }
    return out + "0\r\n\r\n";
}

// One byte every nMs, n times.
CScriptedServer::Script Trickle(const QByteArray& head, int n, int nMs)
{
    CScriptedServer::Script script{Step::Read(), Step::Write(head)};
    for (int i = 0; i < n; ++i) {
        script.push_back(Step::Pause(nMs));
        script.push_back(Step::Write("x"));
    }
    return script;
}

std::vector<DeviceCase> Cases()
{
    const QByteArray head100 = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n";
    const QByteArray big = Repeat('b', 3 * 1024 * 1024);
    const QByteArray bigHead = "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(big.size()) + "\r\n\r\n";
    const QByteArray chunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const QByteArray digestMd5 = "WWW-Authenticate: Digest realm=\"cam\", nonce=\"n1\", qop=\"auth\"\r\n";
    // A 401 of exactly 64 KiB (one full read; over TLS, four full records),
    // and a 200 nobody asked for right behind it.
    const QByteArray head401 = "HTTP/1.1 401 Unauthorized\r\n" + digestMd5 + "Content-Length: 65000\r\nX-Pad: ";
    const QByteArray pad401 = head401 + Repeat('p', 65536 - 65000 - 4 - head401.size()) + "\r\n\r\n";
    const QByteArray unauthorized64k = pad401 + Repeat('u', 65000);
    const QByteArray forbidden = "HTTP/1.1 403 Forbidden\r\nContent-Length: 2\r\n\r\nno";
    // Heads of 2.1 KB and 1.95 KB before a body of 300 bytes.
    const QByteArray body300 = Repeat('d', 300);
    auto headOf = [](int nSize) {
        const QByteArray start = "HTTP/1.1 200 OK\r\nContent-Length: 300\r\nX-Pad: ";
        return start + Repeat('h', nSize - static_cast<int>(start.size()) - 4) + "\r\n\r\n";
    };
    // realm="" is a realm: the digest of admin, the empty realm and 4719.
    const QByteArray emptyRealmResponse =
        QtMd5Hex(QtMd5Hex("admin::4719") + ":n1:00000001::auth:" + QtMd5Hex("GET:/httpapi/test"));
    return {
        // Nothing, or too little, before the end.
        {"closes without a byte", {{Step::Read(), Step::Shut()}}, EEnd::Failed, -1,
         "no response (connection closed before a status line)", "", ""},
        {"resets without a byte", {{Step::Read(), Step::Abort()}}, EEnd::Failed, -1,
         "connection reset (nothing received)", "", ""},
        {"refuses the missing client certificate", {{Step::RequireClientCert(), Step::Read()}}, EEnd::Failed, -1,
         "~^no response \\(TLS error: .*certificate required\\)$", "", "", kTls},
        {"says nothing", {{Step::Read(), Step::Wait()}}, EEnd::Timeout, -1, "", "", ""},
        {"cuts the body short and closes", {{Step::Read(), Step::Write(head100 + Repeat('x', 10)), Step::Shut()}},
         EEnd::Failed, 200, "response cut short (10 of 100 body bytes)", "", ""},
        {"cuts the body short without close_notify",
         {{Step::Read(), Step::Write(head100 + Repeat('x', 10)), Step::ShutQuietly()}}, EEnd::Failed, 200,
         "response cut short (10 of 100 body bytes)", "", ""},
        {"cuts the body short by a reset",
         {{Step::Read(), Step::Write(head100 + Repeat('x', 10)), Step::Pause(100), Step::Abort()}}, EEnd::Failed, 200,
         "connection reset (10 of 100 body bytes)", "", ""},
        {"announces a body and stalls", {{Step::Read(), Step::Write("HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\n"),
                                          Step::Wait()}},
         EEnd::Failed, 200, "no more data for 300 ms (0 of 20 body bytes)", "", ""},
        {"trickles for longer than the limit", {Trickle("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n", 30, 100)},
         EEnd::Failed, 200, "~^response still incomplete after 2 s \\(1\\d of 1000 body bytes\\)$", "", ""},
        {"stalls in the head", {{Step::Read(), Step::Write("HTTP/1.1 200 OK\r\nServer: x\r\n"), Step::Wait()}},
         EEnd::Failed, 200, "no more data for 300 ms (header section unfinished after 28 bytes)", "", ""},
        {"stalls in the status line", {{Step::Read(), Step::Write("HTTP/1.1 2"), Step::Wait()}}, EEnd::Timeout, -1,
         "no more data for 300 ms (status line unfinished after 10 bytes)", "", ""},
        {"sends no framing and keeps the connection", {{Step::Read(), Step::Write("HTTP/1.1 200 OK\r\n\r\nbody"),
                                                        Step::Wait()}},
         EEnd::Failed, 200, "no more data for 300 ms (4 body bytes)", "", ""},
        {"sends two lengths", {{Step::Read(),
                                Step::Write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nOKO"),
                                Step::Wait()}},
         EEnd::Failed, 200, "invalid response (conflicting Content-Length)", "", ""},
        {"sends a status line alone", {{Step::Read(), Step::Write("HTTP/1.1 200"), Step::Shut()}}, EEnd::Failed, -1,
         "response cut short (status line unfinished after 12 bytes)", "", ""},
        {"is not HTTP", {{Step::Read(), Step::Write("SSH-2.0-OpenSSH_9.2p1 Debian-2\r\n"), Step::Wait()}},
         EEnd::Failed, -1, "invalid response (not HTTP)", "", ""},
        {"sends a malformed status line", {{Step::Read(), Step::Write("HTTP/1.1 abc\r\nX-Id: 7\r\n\r\n"), Step::Shut()}},
         EEnd::Failed, -1, "invalid response (malformed status line)", "", ""},
        {"breaks the chunk framing",
         {{Step::Read(), Step::Write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nHELLOxx"),
           Step::Wait()}},
         EEnd::Failed, 200, "invalid response (bad chunk: no line end after its data)", "", ""},
        {"ends a chunked body early",
         {{Step::Read(), Step::Write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nHELLO\r\n"),
           Step::Shut()}},
         EEnd::Failed, 200, "response cut short (5 body bytes, chunked body unfinished)", "", ""},

        // Whole responses, however they come.
        // (The caller's 2048 bytes show the first 2043 body bytes, whatever the head's size.)
        {"answers a large body", {{Step::Read(), Step::Write(bigHead + big), Step::Wait()}}, EEnd::Answered, 200, "",
         "", big.left(2043)},
        {"answers a large chunked body", {{Step::Read(), Step::Write(Chunked(big, 16384)), Step::Wait()}},
         EEnd::Answered, 200, "", "", big.left(2043)},
        {"answers with a head of 2.1 KB", {{Step::Read(), Step::Write(headOf(2150) + body300), Step::Wait()}},
         EEnd::Answered, 200, "", "", body300},
        {"answers with a head of 1.95 KB", {{Step::Read(), Step::Write(headOf(1950) + body300), Step::Wait()}},
         EEnd::Answered, 200, "", "", body300},
        {"sends chunks with extensions and a trailer",
         {{Step::Read(),
           Step::Write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;ext=1;q=\"a b\"\r\nHELLO\r\n7 ; foo=bar\r\n"
                       "-WORLD-\r\n0\r\nX-Trailer: 1\r\n\r\n"),
           Step::Wait()}},
         EEnd::Answered, 200, "", "", "HELLO-WORLD-"},
        {"splits everything and pauses", {{Step::Read(), Step::Write("HTT"), Step::Pause(50),
                                           Step::Write("P/1.1 200 OK\r\nContent-Le"), Step::Pause(50),
                                           Step::Write("ngth: 14\r\n\r\nline1\r\n\r\n"), Step::Pause(100),
                                           Step::Write("line2"), Step::Wait()}},
         EEnd::Answered, 200, "", "", "line1\r\n\r\nline2"},
        {"sends interim responses first",
         {{Step::Read(), Step::Write("HTTP/1.1 100 Continue\r\n\r\n"), Step::Pause(50),
           Step::Write("HTTP/1.1 102 Processing\r\nX: 1\r\n\r\n" + kOk), Step::Wait()}},
         EEnd::Answered, 200, "", "", "OK"},
        {"answers 204", {{Step::Read(), Step::Write("HTTP/1.1 204 No Content\r\n\r\n"), Step::Wait()}},
         EEnd::Answered, 204, "", "", ""},
        {"answers 304", {{Step::Read(), Step::Write("HTTP/1.1 304 Not Modified\r\nETag: \"1\"\r\n\r\n"), Step::Wait()}},
         EEnd::Answered, 304, "", "", ""},
        {"ends an HTTP/1.0 body by closing",
         {{Step::Read(), Step::Write("HTTP/1.0 200 OK\r\n\r\nold"), Step::Pause(50), Step::Write(" device"),
           Step::Shut()}},
         EEnd::Answered, 200, "", "", "old device"},
        {"ends an unframed body with a blank line", {{Step::Read(), Step::Write("HTTP/1.1 200 OK\r\n\r\nOK\r\n\r\n"),
                                                      Step::Wait()}},
         EEnd::Answered, 200, "", "", "OK\r\n\r\n"},

        // Answering a 401.
        {"offers Basic before Digest",
         {{Step::Read(),
           Step::Write(Unauthorized("WWW-Authenticate: Basic realm=\"cam\"\r\nWWW-Authenticate: Digest realm=\"cam\", "
                                    "nonce=\"n1\", algorithm=MD5\r\nWWW-Authenticate: Digest realm=\"cam\", "
                                    "nonce=\"n2\", algorithm=SHA-256, qop=\"auth\"\r\n")),
           Step::Read(), Step::Write(kOk), Step::Wait()}},
         EEnd::Answered, 200, "", "", "OK", kBoth, "2:Authorization:Digest username=\"admin\", realm=\"cam\", nonce=\"n2\""},
        {"finds the nonce stale",
         {{Step::Read(), Step::Write(Unauthorized(digestMd5)), Step::Read(),
           Step::Write(Unauthorized("WWW-Authenticate: Digest realm=\"cam\", nonce=\"n2\", qop=\"auth\", stale=true\r\n")),
           Step::Read(), Step::Write(kOk), Step::Wait()}},
         EEnd::Answered, 200, "", "", "OK", kBoth, "3:nonce=\"n2\""},
        {"refuses the credentials",
         {{Step::Read(), Step::Write(Unauthorized(digestMd5)), Step::Read(), Step::Write(Unauthorized(digestMd5)),
           Step::Wait()}},
         EEnd::Answered, 401, "", "credentials refused", "auth"},
        {"stays stale", {{Step::Read(), Step::Write(Unauthorized(digestMd5)), Step::Read(),
                          Step::Write(Unauthorized("WWW-Authenticate: Digest realm=\"cam\", nonce=\"n2\", stale=true\r\n")),
                          Step::Read(),
                          Step::Write(Unauthorized("WWW-Authenticate: Digest realm=\"cam\", nonce=\"n3\", stale=true\r\n")),
                          Step::Wait()}},
         EEnd::Answered, 401, "", "credentials refused", "auth", kBoth, "3:nonce=\"n2\""},
        {"gets a name beyond Latin-1 with Basic",
         {{Step::Read(), Step::Write(Unauthorized("WWW-Authenticate: Basic realm=\"cam\"\r\n")), Step::Read(),
           Step::Write(kOk), Step::Wait()}},
         EEnd::Answered, 200, "", "", "OK", kBoth,
         "2:Authorization: Basic " + QByteArray("\xe7\x8e\x8b:p\xc3\xa4\xe2\x82\xac").toBase64(), "\xe7\x8e\x8b",
         "p\xc3\xa4\xe2\x82\xac", true},
        {"gets a name beyond Latin-1 with Digest",
         {{Step::Read(), Step::Write(Unauthorized(digestMd5)), Step::Read(), Step::Write(kOk), Step::Wait()}},
         EEnd::Answered, 200, "", "", "OK", kBoth, "2:Digest username*=UTF-8''%E7%8E%8B, realm=\"cam\"",
         "\xe7\x8e\x8b", "pw", true},
        {"sends a 200 right behind a 401 that fills a 64 KiB read",
         {{Step::Read(), Step::Write(unauthorized64k + kOk), Step::Wait()},
          {Step::Read(), Step::Write(forbidden), Step::Wait()}},
         EEnd::Answered, 403, "", "", "no", kBoth, "2:Authorization:Digest username=\"admin\", realm=\"cam\""},
        {"offers Digest with an empty realm",
         {{Step::Read(), Step::Write(Unauthorized("WWW-Authenticate: Digest realm=\"\", nonce=\"n1\", qop=\"auth\"\r\n")),
           Step::Read(), Step::Write(kOk), Step::Wait()}},
         EEnd::Answered, 200, "", "", "OK", kBoth,
         "2:realm=\"\", nonce=\"n1\", uri=\"/httpapi/test\", algorithm=\"MD5\", response=\"" + emptyRealmResponse + "\""},
        {"cuts the answer to the credentials short",
         {{Step::Read(), Step::Write(Unauthorized(digestMd5)), Step::Read(), Step::Write(head100 + "abc"),
           Step::Shut()}},
         EEnd::Failed, 200, "response cut short (3 of 100 body bytes)", "", ""},
    };
}

bool Matches(const QString& strActual, const QString& strExpected)
{
    if (strExpected.startsWith(QLatin1Char('~')))
        return QRegularExpression(strExpected.mid(1)).match(strActual).hasMatch();
    return strActual == strExpected;
}

QByteArray BodyOf(const CExchange& exchange)
{
    const QByteArray text = exchange.response.left(exchange.nLength);
    const qsizetype nBlank = text.indexOf("\r\n\r\n");
    return nBlank < 0 ? QByteArray() : text.mid(nBlank + 4);
}

void Play(const DeviceCase& c, CScriptedServer& server, bool bTls)
{
    server.AddConnection({Step::Wait()});  // the connection pass's
    for (const CScriptedServer::Script& script : c.connections)
        server.AddConnection(script);
    CShortWaitLayer layer(300, 2000);
    if (bTls) {
        CTlsOptions options;
        options.bInsecure = true;
        layer.SetTls(true, options);
    }
    const CExchange ex = RunExchange(layer, server.Port(), "/httpapi/test", c.user, c.password, 2048, c.bUtf8);
    const HRESULT expected = c.end == EEnd::Answered ? S_OK : c.end == EEnd::Timeout ? S_WAIT_TIMEOUT : E_FAIL;
    EXPECT_EQ(ex.hr, expected) << layer.Failure().toStdString();
    EXPECT_EQ(ex.nStatus, c.nStatus);
    EXPECT_TRUE(Matches(layer.Failure(), c.strFailure)) << "reason: " << layer.Failure().toStdString();
    EXPECT_EQ(layer.AuthProblem(), c.strAuth);
    if (c.end == EEnd::Answered) {
        EXPECT_EQ(BodyOf(ex), c.body);
    }
    if (!c.sentCheck.isEmpty()) {
        const int nRequest = c.sentCheck.left(1).toInt();
        const QList<QByteArray> requests = server.Requests();
        ASSERT_GE(requests.size(), nRequest);
        EXPECT_TRUE(requests[nRequest - 1].contains(c.sentCheck.mid(2))) << requests[nRequest - 1].toStdString();
    }
}

} // namespace

TEST(HostileDevice, EveryCaseOverTcpAndTls)
{
    CTestCertificates certificates;
    const CTestCertificates::Leaf leaf = certificates.MakeLeaf("IP:127.0.0.1");
    for (const DeviceCase& c : Cases()) {
        if (c.nOver & kTcp) {
            SCOPED_TRACE(std::string(c.pName) + " (TCP)");
            CScriptedServer server;
            Play(c, server, false);
        }
        if (c.nOver & kTls) {
            SCOPED_TRACE(std::string(c.pName) + " (TLS)");
            CScriptedServer server(leaf.strCertFile, leaf.strKeyFile);
            Play(c, server, true);
        }
    }
}
