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

// The challenge of RFC 7616, section 3.9.1, with the algorithm filled in.
QByteArray Rfc7616Challenge(const QByteArray& algorithm)
{
    return "Digest realm=\"http-auth@example.org\", qop=\"auth, auth-int\", algorithm=" + algorithm
        + ", nonce=\"7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v\", "
          "opaque=\"FQhe/qaN2XU2VI6sc1F5bB3uLe3t8+qRh5pcQYp8tTJS2GKsnJq8BM/BfrM=\"";
}
const QByteArray kRfc7616ClientNonce = "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ";

} // namespace

TEST(CDigestAuth, Rfc7616Examples)
{
    CDigestAuth digest;
    ASSERT_EQ(digest.MakeDigestResponse("/dir/index.html", OneChallenge(Rfc7616Challenge("MD5")), "Mufasa",
                                        "Circle of Life", "00000001", kRfc7616ClientNonce),
              S_OK);
    EXPECT_EQ(digest.Response(), "8ca523f5e9506fed4657c9700eebdbec");
    ASSERT_EQ(digest.MakeDigestResponse("/dir/index.html", OneChallenge(Rfc7616Challenge("SHA-256")), "Mufasa",
                                        "Circle of Life", "00000001", kRfc7616ClientNonce),
              S_OK);
    EXPECT_EQ(digest.Response(), "753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1");
    EXPECT_EQ(digest.AuthorizationValue(),
              "Digest username=\"Mufasa\", realm=\"http-auth@example.org\", "
              "nonce=\"7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v\", uri=\"/dir/index.html\", algorithm=SHA-256, "
              "response=\"753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1\", qop=auth, nc=00000001, "
              "cnonce=\"f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ\", "
              "opaque=\"FQhe/qaN2XU2VI6sc1F5bB3uLe3t8+qRh5pcQYp8tTJS2GKsnJq8BM/BfrM=\"");
}

TEST(CDigestAuth, UserHashCharsetAndSessions)
{
    // The parameters of RFC 7616, section 3.9.2 (its printed digests carry a
    // reported erratum, so the figures here are those of Python's hashlib).
    CDigestAuth digest;
    ASSERT_EQ(digest.MakeDigestResponse(
                  "/doe.json",
                  OneChallenge("Digest realm=\"api@example.org\", qop=\"auth\", algorithm=SHA-512-256, "
                               "nonce=\"5TsQWLVdgBdmrQ0XsxbDODV+57QdFR34I9HAbC/RVvkK\", charset=UTF-8, userhash=true"),
                  QByteArray("J\xE4s\xF8n Doe"), "Secret, or not?", "00000001",
                  "NTg6RKcb9boFIAS3KrFK9BGeh+iDa/sm6jUMp2wds69v"),
              S_OK);
    EXPECT_EQ(digest.UserName(), "793263caabb707a56211940d90411ea4a575adeccb7e360aeb624ed06ece9b0b");
    EXPECT_EQ(digest.Response(), "3798d4131c277846293534c3edc11bd8a5e4cdcbff78b05db9d95eeb1cec68a5");
    EXPECT_TRUE(digest.AuthorizationValue().endsWith(", userhash=true"));

    // Without userhash, a non-ASCII name goes in the extended form.
    ASSERT_EQ(digest.MakeDigestResponse("/", OneChallenge("Digest realm=\"r\", nonce=\"n\", algorithm=SHA-256, charset=utf-8"),
                                        QByteArray("J\xE4"), "p", "00000001", "c"),
              S_OK);
    EXPECT_TRUE(digest.AuthorizationValue().startsWith("Digest username*=UTF-8''J%C3%A4, realm=\"r\""));

    // MD5-sess: HA1 takes the nonce and a fresh client nonce.
    ASSERT_EQ(digest.MakeDigestResponse("/a", OneChallenge("Digest realm=\"r\", nonce=\"n\", qop=auth, algorithm=MD5-sess"),
                                        "u", "p", "00000001", QByteArray()),
              S_OK);
    const QByteArray clientNonce = digest.ClientNonce();
    EXPECT_EQ(clientNonce.size(), 32);
    const QByteArray ha1 = QtMd5Hex(QtMd5Hex("u:r:p") + ":n:" + clientNonce);
    EXPECT_EQ(digest.Response(), QtMd5Hex(ha1 + ":n:00000001:" + clientNonce + ":auth:" + QtMd5Hex("GET:/a")));
    EXPECT_TRUE(digest.AuthorizationValue().contains(", algorithm=MD5-sess, "));
    ASSERT_EQ(digest.MakeDigestResponse("/a", OneChallenge("Digest realm=\"r\", nonce=\"n\", qop=auth, algorithm=MD5-sess"),
                                        "u", "p", "00000001", QByteArray()),
              S_OK);
    EXPECT_NE(digest.ClientNonce(), clientNonce) << "a fresh client nonce each time";

    EXPECT_EQ(digest.MakeDigestResponse("/", OneChallenge("Digest realm=\"r\", nonce=\"n\", algorithm=SHA-1"), "u", "p",
                                        "00000001", QByteArray()),
              E_FAIL);
}

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

TEST(CDigestAuth, MissingRealmOrNonceOrEmptyNonceFails)
{
    // (An empty realm is a realm: see the hostile-device table.)
    CDigestAuth digest;
    EXPECT_EQ(digest.MakeDigestResponse("/", OneChallenge("Digest nonce=\"n\""), "u", "p", "00000001", ""), E_FAIL);
    EXPECT_EQ(digest.MakeDigestResponse("/", OneChallenge("Digest realm=\"r\""), "u", "p", "00000001", ""), E_FAIL);
    EXPECT_EQ(digest.MakeDigestResponse("/", OneChallenge("Digest realm=\"r\", nonce=\"\""), "u", "p", "00000001", ""),
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
