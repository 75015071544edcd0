// Digest arithmetic and the three request texts.
#include "HttpTestSupport.h"

#include "http/CAuthChallenge.h"
#include "http/CDigestAuth.h"
#include "http/CRequestText.h"

#include <gtest/gtest.h>

namespace {

CAuthChallenge OneChallenge(const QByteArray& value)
{
    QList<CAuthChallenge> challenges;
    CAuthChallenge::ParseFieldValue(value, challenges);
    EXPECT_EQ(challenges.size(), 1);
    return challenges.value(0);
}

// The challenge of RFC 2617, section 3.5.
const QByteArray kRfcChallenge = "Digest realm=\"testrealm@host.com\", qop=\"auth,auth-int\", "
                                 "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
                                 "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"";

} // namespace

TEST(CDigestAuth, Rfc2617WorkedExample)
{
    CDigestAuth digest;
    ASSERT_EQ(digest.MakeDigestResponse("/dir/index.html", OneChallenge(kRfcChallenge), "Mufasa", "Circle Of Life",
                                        "00000001", "0a4f113b"),
              S_OK);
    EXPECT_EQ(digest.Response(), "6629fae49393a05397450978507c4ef1");
    EXPECT_EQ(digest.Qop(), "auth") << "auth chosen from the list";
    EXPECT_EQ(digest.Realm(), "testrealm@host.com");
    EXPECT_EQ(digest.Opaque(), "5ccc069c403ebaf9f0171e9517f40e41");
    EXPECT_EQ(digest.AuthorizationValue(),
              "Digest username=\"Mufasa\", realm=\"testrealm@host.com\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
              "uri=\"/dir/index.html\", algorithm=\"MD5\", response=\"6629fae49393a05397450978507c4ef1\", "
              "qop=\"auth\", nc=00000001, cnonce=\"0a4f113b\", opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"");
}

TEST(CDigestAuth, ComputeResponseFromParts)
{
    const QByteArray ha1 = QtMd5Hex("Mufasa:testrealm@host.com:Circle Of Life");
    const QByteArray ha2 = QtMd5Hex("GET:/dir/index.html");
    EXPECT_EQ(CDigestAuth::ComputeResponse(ha1, "dcd98b7102dd2f0e8b11d0f600bfb0c093", "00000001", "0a4f113b", "auth",
                                           ha2),
              "6629fae49393a05397450978507c4ef1");
    EXPECT_EQ(CDigestAuth::ComputeResponse(ha1, "n", "00000001", "", "auth", ha2),
              QtMd5Hex(ha1 + ":n:00000001::auth:" + ha2))
        << "the empty client nonce gives two colons in a row";
    EXPECT_EQ(CDigestAuth::ComputeResponse(ha1, "n", "00000001", "", QByteArray(), ha2), QtMd5Hex(ha1 + ":n:" + ha2));
}

TEST(CDigestAuth, AuthIntForAGetHashesTheEmptyBody)
{
    CDigestAuth digest;
    ASSERT_EQ(digest.MakeDigestResponse("/a", OneChallenge("Digest realm=\"r\", nonce=\"n\", qop=\"auth-int\""), "u",
                                        "p", "00000001", ""),
              S_OK);
    EXPECT_EQ(digest.Qop(), "auth-int");
    const QByteArray ha2 = QtMd5Hex("GET:/a:" + QtMd5Hex(""));
    EXPECT_EQ(digest.Response(), QtMd5Hex(QtMd5Hex("u:r:p") + ":n:00000001::auth-int:" + ha2));
}

TEST(CDigestAuth, MissingRealmOrNonceFails)
{
    CDigestAuth digest;
    EXPECT_EQ(digest.MakeDigestResponse("/", OneChallenge("Digest nonce=\"n\""), "u", "p", "00000001", ""), E_FAIL);
    EXPECT_EQ(digest.MakeDigestResponse("/", OneChallenge("Digest realm=\"r\""), "u", "p", "00000001", ""), E_FAIL);
    EXPECT_EQ(digest.MakeDigestResponse("/", OneChallenge("Digest realm=\"\", nonce=\"n\""), "u", "p", "00000001", ""),
              E_FAIL);
}

TEST(CDigestAuth, ValuesOfAnyLengthAndQuotesAreEscapedOnTheWire)
{
    const QByteArray nonce(5000, 'n');
    CDigestAuth digest;
    ASSERT_EQ(digest.MakeDigestResponse("/", OneChallenge("Digest realm=\"a \\\"b\\\\\", nonce=\"" + nonce + "\""),
                                        "us\"er", "p", "00000001", ""),
              S_OK);
    EXPECT_EQ(digest.Realm(), "a \"b\\");
    EXPECT_EQ(digest.Response(), QtMd5Hex(QtMd5Hex("us\"er:a \"b\\:p") + ":" + nonce + ":" + QtMd5Hex("GET:/")));
    EXPECT_TRUE(digest.AuthorizationValue().startsWith("Digest username=\"us\\\"er\", realm=\"a \\\"b\\\\\", nonce=\""
                                                       + nonce + "\""));
}

TEST(CRequestText, PlainBasicAndDigestBytes)
{
    EXPECT_EQ(CRequestText::Plain("/httpapi/a?b=c", "cam"),
              "GET /httpapi/a?b=c HTTP/1.1\r\nHost: cam\r\nConnection: keep-alive\r\n\r\n");
    EXPECT_EQ(CRequestText::Basic("/x", "10.0.0.1", "Og=="),
              "GET /x HTTP/1.1\r\nHost: 10.0.0.1\r\nAuthorization: Basic Og==\r\nConnection: keep-alive\r\n\r\n");
    CDigestAuth digest;
    ASSERT_EQ(digest.MakeDigestResponse("/x", OneChallenge("Digest realm=\"r\", nonce=\"n\", qop=auth"), "u", "p",
                                        "00000001", ""),
              S_OK);
    EXPECT_EQ(CRequestText::Digest("/x", "h", digest),
              "GET /x HTTP/1.1\r\nHost: h\r\nAuthorization:Digest username=\"u\", realm=\"r\", nonce=\"n\", "
              "uri=\"/x\", algorithm=\"MD5\", response=\""
                  + digest.Response() + "\", qop=\"auth\", nc=00000001, cnonce=\"\"\r\n\r\n");
}

TEST(CRequestText, EmptyOpaqueOfTheChallengeIsSentEmpty)
{
    CDigestAuth digest;
    ASSERT_EQ(digest.MakeDigestResponse("/x", OneChallenge("Digest realm=\"r\", nonce=\"n\", opaque=\"\""), "u", "p",
                                        "00000001", ""),
              S_OK);
    EXPECT_TRUE(digest.AuthorizationValue().endsWith(", opaque=\"\""));
}
