// Reading responses: end conditions, status line, head fields and challenges.
#include "http/CAuthChallenge.h"
#include "http/CHTTPLayer.h"
#include "http/CResponseEnd.h"
#include "http/CResponseHead.h"

#include <gtest/gtest.h>

namespace {

bool Complete(const QByteArray& data)
{
    return CResponseEnd::IsComplete(data.constData(), static_cast<int>(data.size()));
}

CResponseEnd::Decision Decide(const QByteArray& data)
{
    return CResponseEnd::Decide(data.constData(), static_cast<int>(data.size()));
}

int Interim(const QByteArray& data)
{
    return CResponseEnd::InterimLength(data.constData(), static_cast<int>(data.size()));
}

QList<CAuthChallenge> Challenges(const QByteArray& value)
{
    QList<CAuthChallenge> challenges;
    CAuthChallenge::ParseFieldValue(value, challenges);
    return challenges;
}

int Status(const QByteArray& data, HRESULT* pResult = nullptr)
{
    int nStatus = -1;
    const HRESULT hr = CHTTPLayer::ParseStatusCode(data.constData(), static_cast<int>(data.size()), nStatus);
    if (pResult)
        *pResult = hr;
    return nStatus;
}

} // namespace

TEST(CResponseEnd, ContentLength)
{
    EXPECT_FALSE(Complete("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nO"));
    EXPECT_TRUE(Complete("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nOK"));
    EXPECT_TRUE(Complete("HTTP/1.1 200 OK\r\ncontent-length:   0  \r\n\r\n"));
    EXPECT_FALSE(Complete("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n"));
    EXPECT_FALSE(Complete("HTTP/1.1 200 OK\r\nContent-Length: 2, 3\r\n\r\nOKO")) << "conflicting lengths: read to close";
    EXPECT_TRUE(Complete("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 2\r\n\r\nOK"));
    EXPECT_FALSE(Complete("HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\nOK"));
    EXPECT_FALSE(Complete("HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\nOK"));
    EXPECT_FALSE(Complete("HTTP/1.1 200 OK\r\nContent-Length : 0\r\n\r\n")) << "no blank before the colon";
}

TEST(CResponseEnd, NoLengthMeansReadUntilClose)
{
    EXPECT_FALSE(Complete("HTTP/1.1 200 OK\r\nServer: x\r\n\r\nbody"));
    EXPECT_FALSE(Complete("HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\nContent-Length: 4\r\n\r\nbody"))
        << "a coding other than chunked runs until close, whatever the length says";
}

TEST(CResponseEnd, StatusWithoutBody)
{
    EXPECT_TRUE(Complete("HTTP/1.1 204 No Content\r\nServer: x\r\n\r\n"));
    EXPECT_TRUE(Complete("HTTP/1.1 304 Not Modified\r\nServer: x\r\n\r\n"));
    EXPECT_FALSE(Complete("HTTP/1.1 204 No Content\r\nServer: x\r\n"));
}

TEST(CResponseEnd, EndMarkAsOriginallyRead)
{
    EXPECT_TRUE(Complete("HTTP/1.1 200 OK\r\nX: 1\r\n\r\nabc\r\n\r\n"));
    EXPECT_TRUE(Complete("HTTP/1.1 200 OK\r\nX: 1\r\n\r\nabc\n\r\nmore"));
    EXPECT_FALSE(Complete("HTTP/1.1 200 OK\r\nX: 1\r\n\r\n\n\r\n")) << "the mark must lie at offset 1 or more";
    static const char kWithNul[] = "HTTP/1.1 200 OK\r\nX: 1\r\n\r\nab\0c\r\n\r\n";
    EXPECT_FALSE(Complete(QByteArray(kWithNul, sizeof kWithNul - 1)))
        << "the text ends at the first NUL";
    EXPECT_FALSE(Complete("\r\n\r\nabc\r\n\r\n")) << "a blank line at offset 0 does not count";
}

TEST(CResponseEnd, FramingDecidesBeforeTheEndMark)
{
    // A blank line inside a body of announced length is body, not the end.
    const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Length: 30\r\n\r\n";
    EXPECT_FALSE(Complete(head + "line1\r\n\r\nline2-"));
    EXPECT_EQ(Decide(head + "line1\r\n\r\nline2-after-blank-END").nLength, head.size() + 30);
    // Bytes after the announced body are cut off, and the end is then not exact.
    const auto decision = Decide("HTTP/1.1 401 X\r\nContent-Length: 2\r\n\r\nOKHTTP/1.1 200");
    EXPECT_EQ(decision.nLength, 39);
    EXPECT_TRUE(decision.bFramed);
    // Chunked: the end mark inside chunk data does not end it.
    EXPECT_FALSE(Complete("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n9\r\nab\r\n\r\n"));
    // Without framing the end mark still ends the response, unframed.
    EXPECT_FALSE(Decide("HTTP/1.1 200 OK\r\nX: 1\r\n\r\nabc\r\n\r\n").bFramed);
}

TEST(CResponseEnd, InterimResponses)
{
    const QByteArray interim = "HTTP/1.1 100 Continue\r\n\r\n";
    EXPECT_EQ(Interim(interim + "HTTP/1.1 200 OK\r\n"), interim.size());
    EXPECT_EQ(Interim("HTTP/1.1 103 Early Hints\r\nLink: </a>\r\n\r\n"), 40);
    EXPECT_EQ(Interim("HTTP/1.1 100 Continue\r\n"), 0) << "head not complete yet";
    EXPECT_EQ(Interim("HTTP/1.1 200 OK\r\n\r\n"), 0);
    EXPECT_EQ(Interim("HTTP/1.1 1000 X\r\n\r\n"), 0) << "four digits: not a status line";
    EXPECT_EQ(Interim("HTTP/1.1 abc\r\nX-Id: 100\r\n\r\n"), 0);
}

TEST(CResponseEnd, ChunkedBodies)
{
    const QByteArray head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    EXPECT_FALSE(Complete(head));
    EXPECT_FALSE(Complete(head + "4\r\nab"));
    EXPECT_FALSE(Complete(head + "4\r\nabcd\r\n"));
    EXPECT_FALSE(Complete(head + "4\r\nabcd\r\n0\r\n"));
    EXPECT_TRUE(Complete(head + "4\r\nabcd\r\n0\r\n\r\n"));
    EXPECT_TRUE(Complete(head + "A;name=val\r\n0123456789\r\n0\r\nTrailer: x\r\n\r\n"));
    EXPECT_FALSE(Complete(head + "4\r\nabcd\r\n0\r\nTrailer: x\r\n"));
    // (The end mark would end these two at once; the chunk reading alone says no.)
    EXPECT_FALSE(CResponseEnd::IsChunkedBodyComplete("4\r\nabcdXY0\r\n\r\n", 14)) << "data must end with CR LF";
    EXPECT_FALSE(Complete(head + "zz\r\n")) << "not a chunk: read on";
    EXPECT_FALSE(Complete(head + "FFFFFFFFFFFFFFFFFFFFFF\r\nab"));
    // A zero inside the data of a larger chunk is not the last chunk.
    EXPECT_FALSE(CResponseEnd::IsChunkedBodyComplete("8\r\n0\r\n\r\nabc", 13));
    EXPECT_TRUE(CResponseEnd::IsChunkedBodyComplete("0\n\n", 3)) << "bare line feeds are tolerated";
}

TEST(ParseStatusCode, ReadsTheFirstNumberFromByteEight)
{
    HRESULT hr = 0;
    EXPECT_EQ(Status("HTTP/1.1 200 OK\r\nServer: x\r\n", &hr), 200);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(Status("HTTP/1.0 401 Unauthorized"), 401);
    EXPECT_EQ(Status("HTTP/1.1 abc\r\nX-Id: 7"), 7);
    EXPECT_EQ(Status("HTTP/1.1 abc\r\nX-Id: none"), 0);
    EXPECT_EQ(Status("HTTP/1.1 99999999999999999999"), INT_MAX);
    EXPECT_EQ(Status("HTTP/2 404 Not found here"), 4) << "the scan starts at byte 8 whatever the version";
    static const char kWithNul[] = "HTTP/1.1 \0 205 xxxxxxxxx";
    EXPECT_EQ(Status(QByteArray(kWithNul, sizeof kWithNul - 1)), 0) << "the scan stops at a NUL";
}

TEST(ParseStatusCode, RefusesShortOrForeignData)
{
    HRESULT hr = 0;
    EXPECT_EQ(Status("HTTP/1.1 200 OK\r\n", &hr), -1);
    EXPECT_EQ(hr, E_INVALIDARG) << "17 bytes";
    Status("http/1.1 200 OK\r\nX: y", &hr);
    EXPECT_EQ(hr, E_FAIL);
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
        const CAuthChallenge* pChosen = CAuthChallenge::FirstAnswerable(challenges);
        return pChosen ? pChosen->Scheme() + ' ' + pChosen->Param("nonce") : QByteArray("none");
    };
    EXPECT_EQ(chosen("Digest realm=\"r\", nonce=\"1\", Digest realm=\"r\", nonce=\"2\", algorithm=SHA-512-256-sess, "
                     "Digest realm=\"r\", nonce=\"3\", algorithm=sha-256, Digest realm=\"r\", nonce=\"4\", algorithm=SHA-512-256"),
              "Digest 2");
    EXPECT_EQ(chosen("Digest realm=\"r\", nonce=\"1\", algorithm=SHA-1, Digest realm=\"r\", nonce=\"2\", algorithm=md5"),
              "Digest 2");
    EXPECT_EQ(chosen("Basic realm=\"b\", Digest realm=\"r\", nonce=\"2\", algorithm=SHA-256"), "Basic ")
        << "Basic offered first keeps its place";
    const auto unanswerable = Challenges("Negotiate, Digest realm=\"r\", nonce=\"1\", algorithm=SHA-1");
    EXPECT_EQ(CAuthChallenge::FirstAnswerable(unanswerable), nullptr);
    EXPECT_EQ(CAuthChallenge::Describe(unanswerable), "Negotiate, Digest algorithm=SHA-1");
}
