// Reading responses: framing, status line, head fields and challenges.
#include "http/CAuthChallenge.h"
#include "http/CHTTPLayer.h"
#include "http/CResponseParser.h"
#include "http/CResponseHead.h"

#include <gtest/gtest.h>

namespace {

QList<CAuthChallenge> Challenges(const QByteArray& value)
{
    QList<CAuthChallenge> challenges;
    CAuthChallenge::ParseFieldValue(value, challenges);
    return challenges;
}

// How the parser ends the bytes: "complete", "more" (needs more), "invalid: why".
struct ParseCase
{
    const char* pName;
    QByteArray data;
    bool bClosed;          // the device closes after the data
    const char* pEnd;
    int nStatus;           // -1: no status line read
    QByteArray body;       // kept body (decoded); ignored unless complete
    qsizetype nTaken;      // bytes that belong to the response; -1: all
};

QString Ended(const CResponseParser& parser)
{
    if (parser.IsComplete())
        return QStringLiteral("complete");
    if (parser.IsInvalid())
        return QStringLiteral("invalid: ") + parser.Problem();
    return QStringLiteral("more");
}

} // namespace

// The framing rules, fed whole, byte by byte and in pieces of 7: each way
// must give the same ending, status, kept body and length taken.
TEST(CResponseParser, FramingTable)
{
    const QByteArray ok = "HTTP/1.1 200 OK\r\n";
    const QByteArray chunked = ok + "Transfer-Encoding: chunked\r\n\r\n";
    static const char kWithNul[] = "HTTP/1.1 200 OK\r\nX: 1\r\n\r\nab\0c\r\n\r\n";
    const ParseCase cases[] = {
        {"length reached", ok + "Content-Length: 2\r\n\r\nOK", false, "complete", 200, "OK", -1},
        {"length not reached", ok + "Content-Length: 2\r\n\r\nO", false, "more", 200, "", -1},
        {"length zero, blanks", ok + "content-length:   0  \r\n\r\n", false, "complete", 200, "", -1},
        {"bytes after the length", "HTTP/1.1 401 X\r\nContent-Length: 2\r\n\r\nOKHTTP/1.1 200", false, "complete",
         401, "OK", 39},
        {"same length twice", ok + "Content-Length: 2\r\nContent-Length: 2\r\n\r\nOK", false, "complete", 200, "OK", -1},
        {"conflicting lengths", ok + "Content-Length: 2, 3\r\n\r\nOKO", false, "invalid: conflicting Content-Length",
         200, "", -1},
        {"negative length", ok + "Content-Length: -1\r\n\r\nOK", false, "invalid: bad Content-Length", 200, "", -1},
        {"blank line inside the length", ok + "Content-Length: 30\r\n\r\nline1\r\n\r\nline2-", false, "more", 200, "",
         -1},
        {"no framing, open", ok + "Server: x\r\n\r\nbody", false, "more", 200, "", -1},
        {"no framing, closed", ok + "Server: x\r\n\r\nbody", true, "complete", 200, "body", -1},
        {"other coding runs until close", ok + "Transfer-Encoding: gzip\r\nContent-Length: 4\r\n\r\nbody", false,
         "more", 200, "", -1},
        {"204 and 304 end with the head", "HTTP/1.1 204 No Content\r\nServer: x\r\n\r\n", false, "complete", 204, "",
         -1},
        {"304", "HTTP/1.1 304 Not Modified\r\n\r\n", false, "complete", 304, "", -1},
        {"end mark", ok + "X: 1\r\n\r\nabc\r\n\r\n", false, "complete", 200, "abc\r\n\r\n", -1},
        {"end mark, more after it", ok + "X: 1\r\n\r\nabc\n\r\nmore", false, "complete", 200, "abc\n\r\n", 31},
        {"end mark at the body's first byte", ok + "X: 1\r\n\r\n\n\r\n", false, "more", 200, "", -1},
        {"end mark after a NUL", QByteArray(kWithNul, sizeof kWithNul - 1), false, "more", 200, "", -1},
        {"interim skipped", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early\r\nLink: </a>\r\n\r\n" + ok
             + "Content-Length: 1\r\n\r\nx", false, "complete", 200, "x", -1},
        {"chunked", chunked + "4\r\nabcd\r\nA;name=val\r\n0123456789\r\n0\r\nTrailer: x\r\n\r\n", false, "complete",
         200, "abcd0123456789", -1},
        {"chunked without its last chunk", chunked + "4\r\nabcd\r\n0\r\n", false, "more", 200, "", -1},
        {"end mark inside chunk data", chunked + "9\r\nab\r\n\r\n", false, "more", 200, "", -1},
        {"zero inside chunk data", chunked + "8\r\n0\r\n\r\nabc", false, "more", 200, "", -1},
        {"bare line feeds in chunks", chunked + "2\nab\n0\n\n", false, "complete", 200, "ab", -1},
        {"chunk data without its line end", chunked + "4\r\nabcdXY0\r\n\r\n", false,
         "invalid: bad chunk: no line end after its data", 200, "", -1},
        {"not a chunk size", chunked + "zz\r\n", false, "invalid: bad chunk size", 200, "", -1},
        {"huge chunk size", chunked + "FFFFFFFFFFFFFFFFFFFFFF\r\nab", false, "invalid: bad chunk size", 200, "", -1},
        {"not HTTP", "SSH-2.0-OpenSSH_9.2\r\n", false, "invalid: not HTTP", -1, "", -1},
        {"lower-case version", "http/1.1 200 OK\r\n\r\n", false, "invalid: not HTTP", -1, "", -1},
        {"status without digits", "HTTP/1.1 abc\r\nX-Id: 7\r\n\r\n", false, "invalid: malformed status line", -1, "",
         -1},
        {"four-digit status", "HTTP/1.1 1000 X\r\n\r\n", false, "invalid: malformed status line", -1, "", -1},
        {"status below 100", "HTTP/1.1 020 OK\r\n\r\n", false, "invalid: malformed status line", -1, "", -1},
        {"status line without reason", "HTTP/1.1 200\r\nContent-Length: 0\r\n\r\n", false, "complete", 200, "", -1},
        {"status line cut", "HTTP/1.1 200", true, "more", -1, "", -1},
    };
    for (const ParseCase& c : cases) {
        for (const int nPiece : {0, 1, 7}) {
            CResponseParser parser(4096);
            qsizetype nTaken = 0;
            const qsizetype nStep = nPiece == 0 ? c.data.size() : nPiece;
            for (qsizetype i = 0; i < c.data.size() && (parser.State() == CResponseParser::EState::Head
                                                      || parser.State() == CResponseParser::EState::Body);
                 i += nStep)
                nTaken += parser.Feed(c.data.constData() + i, std::min(nStep, c.data.size() - i));
            if (c.bClosed)
                parser.PeerClosed();
            SCOPED_TRACE(std::string(c.pName) + ", pieces of " + std::to_string(nPiece));
            EXPECT_EQ(Ended(parser), QString::fromLatin1(c.pEnd));
            EXPECT_EQ(parser.Status(), c.nStatus);
            if (parser.IsComplete()) {
                EXPECT_EQ(parser.Body(), c.body);
                EXPECT_EQ(nTaken, c.nTaken < 0 ? c.data.size() : c.nTaken);
            }
        }
    }
}

TEST(CResponseParser, BodyBeyondWhatIsKeptIsCountedNotHeld)
{
    CResponseParser parser(16);
    const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n";
    parser.Feed(head.constData(), head.size());
    const QByteArray block(1000, 'x');
    for (int i = 0; i < 999; ++i)
        parser.Feed(block.constData(), block.size());
    EXPECT_FALSE(parser.IsComplete());
    EXPECT_EQ(parser.Progress(), QStringLiteral("(999000 of 1000000 body bytes)"));
    parser.Feed(block.constData(), block.size());
    EXPECT_TRUE(parser.IsComplete());
    EXPECT_EQ(parser.Body(), QByteArray(16, 'x'));
    EXPECT_EQ(parser.BodyBytes(), 1000000);
    EXPECT_EQ(parser.Text(), head + QByteArray(16, 'x'));
}

TEST(CResponseHead, FieldsAndFolding)
{
    const QByteArray data = "HTTP/1.0 200 OK\r\nA: 1\r\nB:  two  \r\n   more\r\nbad line\r\nConnection: Keep-Alive, x\r\n\r\nbody";
    const CResponseHead head(data.constData(), static_cast<int>(data.size()));
    ASSERT_TRUE(head.IsComplete());
    EXPECT_EQ(head.BodyOffset(), data.indexOf("body"));
    EXPECT_TRUE(head.IsHttp10());
    EXPECT_EQ(head.Values("a"), QList<QByteArray>{"1"});
    EXPECT_EQ(head.Values("B"), QList<QByteArray>{"two more"});
    EXPECT_TRUE(head.HasToken("connection", "keep-alive"));
    EXPECT_FALSE(head.HasToken("connection", "close"));
}

TEST(CAuthChallenge, QuotedValuesWithCommasAndEquals)
{
    const auto challenges = Challenges("Digest realm=\"a, b\", nonce=\"x=y==\", qop=\"auth,auth-int\", opaque=\"\"");
    ASSERT_EQ(challenges.size(), 1);
    EXPECT_TRUE(challenges[0].IsDigest());
    EXPECT_EQ(challenges[0].Param("realm"), "a, b");
    EXPECT_EQ(challenges[0].Param("NONCE"), "x=y==");
    EXPECT_EQ(challenges[0].Param("qop"), "auth,auth-int");
    EXPECT_TRUE(challenges[0].HasParam("opaque"));
    EXPECT_EQ(challenges[0].Param("opaque"), "");
    EXPECT_FALSE(challenges[0].HasParam("stale"));
}

TEST(CAuthChallenge, SeveralChallengesInOneField)
{
    const auto challenges = Challenges("Newauth realm=\"apps\", type=1, title=\"Login to \\\"apps\\\"\", "
                                       "Basic realm=\"simple\", Negotiate abc+/=, bearer");
    ASSERT_EQ(challenges.size(), 4);
    EXPECT_EQ(challenges[0].Scheme(), "Newauth");
    EXPECT_EQ(challenges[0].Param("type"), "1");
    EXPECT_EQ(challenges[0].Param("title"), "Login to \"apps\"");
    EXPECT_TRUE(challenges[1].IsBasic());
    EXPECT_EQ(challenges[1].Param("realm"), "simple");
    EXPECT_EQ(challenges[2].Scheme(), "Negotiate");
    EXPECT_EQ(challenges[2].Token68(), "abc+/=");
    EXPECT_EQ(challenges[3].Scheme(), "bearer");
}

TEST(CAuthChallenge, BlanksAroundEqualsAndBareScheme)
{
    auto challenges = Challenges("DIGEST realm = \"r\" , nonce= n1 ,qop=auth");
    ASSERT_EQ(challenges.size(), 1);
    EXPECT_TRUE(challenges[0].IsDigest());
    EXPECT_EQ(challenges[0].Param("realm"), "r");
    EXPECT_EQ(challenges[0].Param("nonce"), "n1");
    EXPECT_EQ(challenges[0].Param("qop"), "auth");
    challenges = Challenges("Basic");
    ASSERT_EQ(challenges.size(), 1);
    EXPECT_TRUE(challenges[0].IsBasic());
}

TEST(CAuthChallenge, JunkIsSkippedNotFatal)
{
    const auto challenges = Challenges("=x, \"q\", realm=\"before scheme\", Basic realm=\"r\" junk, @@, Digest "
                                       "realm=\"unterminated");
    ASSERT_EQ(challenges.size(), 2);
    EXPECT_TRUE(challenges[0].IsBasic());
    EXPECT_EQ(challenges[0].Param("realm"), "r");
    EXPECT_TRUE(challenges[1].IsDigest());
    EXPECT_EQ(challenges[1].Param("realm"), "unterminated");
}

TEST(CAuthChallenge, OnlyHeadFieldsCount)
{
    const QByteArray data = "HTTP/1.1 401 Unauthorized\r\nwww-authenticate:basic realm=\"r\"\r\nX: realm=\"no\"\r\n"
                            "WWW-Authenticate: Digest realm=\"d\",\r\n nonce=\"n\"\r\n\r\n"
                            "WWW-Authenticate: Basic realm=\"in the body\"\r\n";
    const auto challenges = CAuthChallenge::ParseResponse(data.constData(), static_cast<int>(data.size()));
    ASSERT_EQ(challenges.size(), 2);
    EXPECT_TRUE(challenges[0].IsBasic());
    EXPECT_EQ(challenges[1].Param("nonce"), "n") << "folded continuation line";
}

TEST(CAuthChallenge, TheStrongestDigestIsAnswered)
{
    auto chosen = [](const QByteArray& value) {
        const auto challenges = Challenges(value);
        const CAuthChallenge* pChosen = CAuthChallenge::Choose(challenges);
        return pChosen ? pChosen->Scheme() + ' ' + pChosen->Param("nonce") : QByteArray("none");
    };
    EXPECT_EQ(chosen("Digest realm=\"r\", nonce=\"1\", Digest realm=\"r\", nonce=\"2\", algorithm=SHA-512-256-sess, "
                     "Digest realm=\"r\", nonce=\"3\", algorithm=sha-256, Digest realm=\"r\", nonce=\"4\", algorithm=SHA-512-256"),
              "Digest 2");
    EXPECT_EQ(chosen("Digest realm=\"r\", nonce=\"1\", algorithm=SHA-1, Digest realm=\"r\", nonce=\"2\", algorithm=md5"),
              "Digest 2");
    EXPECT_EQ(chosen("Basic realm=\"b\", Digest realm=\"r\", nonce=\"2\", algorithm=MD5, Digest realm=\"r\", "
                     "nonce=\"3\", algorithm=SHA-256"),
              "Digest 3")
        << "Digest before Basic, whatever the order";
    EXPECT_EQ(chosen("Basic realm=\"b\", Digest realm=\"r\", nonce=\"2\", algorithm=SHA-1"), "Basic ")
        << "Basic only when no Digest can be answered";
    const auto unanswerable = Challenges("Negotiate, Digest realm=\"r\", nonce=\"1\", algorithm=SHA-1");
    EXPECT_EQ(CAuthChallenge::Choose(unanswerable), nullptr);
    EXPECT_EQ(CAuthChallenge::Describe(unanswerable), "Negotiate, Digest algorithm=SHA-1");
}
