#include "Authenticator.h"
#include "HttpRequest.h"

#include <gtest/gtest.h>

using devsim::Authenticator;
using devsim::AuthMode;
using devsim::DigestResponse;
using devsim::HttpRequest;

namespace {

HttpRequest Get(const QByteArray& target, const QByteArray& authorization = {})
{
    HttpRequest request;
    request.method = "GET";
    request.target = target;
    request.version = "HTTP/1.1";
    request.addHeader("Host", "127.0.0.1");
    if (!authorization.isNull())
        request.addHeader("Authorization", authorization);
    return request;
}

// The example exchange of RFC 7616 section 3.9.1, answered with the given
// algorithm and response.
const QByteArray kRfcNonce = "7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v";

QByteArray RfcAnswer(const QByteArray& algorithm, const QByteArray& response)
{
    return "Digest username=\"Mufasa\", realm=\"http-auth@example.org\", uri=\"/dir/index.html\", "
           "algorithm="
        + algorithm + ", nonce=\"" + kRfcNonce
        + "\", nc=00000001, cnonce=\"f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ\", qop=auth, "
          "response=\""
        + response + "\", opaque=\"FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS\"";
}

// The nonce of a Digest challenge value.
QByteArray NonceOf(const QByteArray& challenge)
{
    const auto params = devsim::ParseAuthParams(challenge.mid(challenge.indexOf(' ') + 1));
    return params ? params->value("nonce") : QByteArray();
}

} // namespace

TEST(DevsimAuth, Md5HexKnownValues)
{
    // RFC 1321 test suite.
    EXPECT_EQ(devsim::Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(devsim::Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(devsim::Md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
}

TEST(DevsimAuth, DigestResponseMatchesRfc2617WorkedExample)
{
    // RFC 2617, section 3.5.
    EXPECT_EQ(DigestResponse("Mufasa", "testrealm@host.com", "Circle Of Life", "GET",
                  "/dir/index.html", "dcd98b7102dd2f0e8b11d0f600bfb0c093", "00000001", "0a4f113b",
                  "auth"),
        "6629fae49393a05397450978507c4ef1");
}

TEST(DevsimAuth, DigestResponseWithoutQopIsTheOlderForm)
{
    const QByteArray ha1 = devsim::Md5Hex("Mufasa:testrealm@host.com:Circle Of Life");
    const QByteArray ha2 = devsim::Md5Hex("GET:/dir/index.html");
    EXPECT_EQ(DigestResponse("Mufasa", "testrealm@host.com", "Circle Of Life", "GET",
                  "/dir/index.html", "abc", "00000001", "xyz", ""),
        devsim::Md5Hex(ha1 + ":abc:" + ha2));
    // An empty client nonce stays in the text as an empty field.
    EXPECT_EQ(DigestResponse("u", "r", "p", "GET", "/x", "n", "00000001", "", "auth"),
        devsim::Md5Hex(devsim::Md5Hex("u:r:p") + ":n:00000001::auth:" + devsim::Md5Hex("GET:/x")));
}

TEST(DevsimAuth, ParseAuthParams)
{
    const auto params = devsim::ParseAuthParams(
        "username=\"admin\", realm=\"a, b\", nc=00000001,cnonce=\"\", qop=auth ,"
        " opaque=\"q\\\"x\"");
    ASSERT_TRUE(params);
    EXPECT_EQ(params->value("username"), "admin");
    EXPECT_EQ(params->value("realm"), "a, b");
    EXPECT_EQ(params->value("nc"), "00000001");
    EXPECT_TRUE(params->contains("cnonce"));
    EXPECT_EQ(params->value("cnonce"), "");
    EXPECT_EQ(params->value("qop"), "auth");
    EXPECT_EQ(params->value("opaque"), "q\"x");

    EXPECT_FALSE(devsim::ParseAuthParams("username=\"open"));
    EXPECT_FALSE(devsim::ParseAuthParams("novalue"));
    EXPECT_FALSE(devsim::ParseAuthParams("a=\"1\" b=2"));
    EXPECT_FALSE(devsim::ParseAuthParams("a=1, a=2"));
}

TEST(DevsimAuth, NoneLetsEverythingThrough)
{
    const Authenticator auth(AuthMode::None, "admin", "4719");
    EXPECT_TRUE(auth.Check(Get("/httpapi/x")));
}

TEST(DevsimAuth, BasicGoodAndBadCredentials)
{
    Authenticator auth(AuthMode::Basic, "admin", "4719");
    EXPECT_EQ(auth.Challenge(), "Basic realm=\"Velkor Device\"");
    EXPECT_FALSE(auth.Check(Get("/x")));
    EXPECT_TRUE(auth.Check(Get("/x", "Basic " + QByteArray("admin:4719").toBase64())));
    EXPECT_TRUE(auth.Check(Get("/x", "basic  " + QByteArray("admin:4719").toBase64())));
    EXPECT_FALSE(auth.Check(Get("/x", "Basic " + QByteArray("admin:4718").toBase64())));
    EXPECT_FALSE(auth.Check(Get("/x", "Basic " + QByteArray("admin:47190").toBase64())));
    EXPECT_FALSE(auth.Check(Get("/x", "Basic " + QByteArray("Admin:4719").toBase64())));
    EXPECT_FALSE(auth.Check(Get("/x", "Basic !!notbase64!!")));
    EXPECT_FALSE(auth.Check(Get("/x", "Basic")));
    EXPECT_FALSE(auth.Check(Get("/x", "Digest " + QByteArray("admin:4719").toBase64())));
}

TEST(DevsimAuth, DigestChallengeHasFreshNonces)
{
    Authenticator auth(AuthMode::Digest, "admin", "4719");
    const QByteArray first = auth.Challenge();
    const QByteArray second = auth.Challenge();
    EXPECT_TRUE(first.startsWith("Digest realm=\"Velkor Device\", qop=\"auth\", nonce=\""));
    EXPECT_TRUE(first.contains(", algorithm=MD5"));
    EXPECT_EQ(NonceOf(first).size(), 32);
    EXPECT_NE(NonceOf(first), NonceOf(second));
}

TEST(DevsimAuth, DigestAcceptsTheRightResponse)
{
    Authenticator auth(AuthMode::Digest, "admin", "4719");
    const QByteArray nonce = NonceOf(auth.Challenge());
    const QByteArray uri = "/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0";
    const QByteArray response = DigestResponse("admin", "Velkor Device", "4719", "GET", uri, nonce,
        "00000001", "", "auth");
    // Written the way the Velkor client writes it: quoted algorithm and qop,
    // unquoted nc, empty cnonce and opaque.
    const QByteArray header = "Digest username=\"admin\", realm=\"Velkor Device\", nonce=\"" + nonce
        + "\", uri=\"" + uri + "\", algorithm=\"MD5\", response=\"" + response
        + "\", qop=\"auth\", nc=00000001, cnonce=\"\", opaque=\"\"";
    EXPECT_TRUE(auth.Check(Get(uri, header)));
    // Upper-case hex is the same number.
    QByteArray upper = header;
    upper.replace(response, response.toUpper());
    EXPECT_TRUE(auth.Check(Get(uri, upper)));
}

TEST(DevsimAuth, DigestAcceptsTheFormWithoutQop)
{
    Authenticator auth(AuthMode::Digest, "admin", "4719");
    const QByteArray nonce = NonceOf(auth.Challenge());
    const QByteArray response = DigestResponse("admin", "Velkor Device", "4719", "GET", "/httpapi/a",
        nonce, "", "", "");
    EXPECT_TRUE(auth.Check(Get("/httpapi/a", "Digest username=\"admin\", realm=\"Velkor Device\", "
                                             "nonce=\"" + nonce + "\", uri=\"/httpapi/a\", response=\""
            + response + "\"")));
}

TEST(DevsimAuth, DigestRefusesEveryWrongPiece)
{
    Authenticator auth(AuthMode::Digest, "admin", "4719");
    const QByteArray nonce = NonceOf(auth.Challenge());
    const QByteArray uri = "/httpapi/a";

    struct Fields {
        QByteArray user = "admin";
        QByteArray realm = "Velkor Device";
        QByteArray password = "4719";
        QByteArray nonce;
        QByteArray uri = "/httpapi/a";
        QByteArray qop = "auth";
        QByteArray nc = "00000001";
        QByteArray cnonce = "c1";
        QByteArray algorithm = "MD5";
    };
    auto header = [](const Fields& f) {
        const QByteArray response = DigestResponse(f.user, f.realm, f.password, "GET", f.uri,
            f.nonce, f.nc, f.cnonce, f.qop);
        return "Digest username=\"" + f.user + "\", realm=\"" + f.realm + "\", nonce=\"" + f.nonce
            + "\", uri=\"" + f.uri + "\", algorithm=" + f.algorithm + ", response=\"" + response
            + "\", qop=" + f.qop + ", nc=" + f.nc + ", cnonce=\"" + f.cnonce + "\"";
    };

    Fields good;
    good.nonce = nonce;
    ASSERT_TRUE(auth.Check(Get(uri, header(good))));

    Fields f = good;
    f.password = "4718";
    EXPECT_FALSE(auth.Check(Get(uri, header(f)))) << "wrong password";
    f = good;
    f.user = "guest";
    EXPECT_FALSE(auth.Check(Get(uri, header(f)))) << "wrong user";
    f = good;
    f.realm = "Other";
    EXPECT_FALSE(auth.Check(Get(uri, header(f)))) << "wrong realm";
    f = good;
    f.nonce = "00000000000000000000000000000000";
    EXPECT_FALSE(auth.Check(Get(uri, header(f)))) << "nonce never handed out";
    f = good;
    f.uri = "/httpapi/b";
    EXPECT_FALSE(auth.Check(Get(uri, header(f)))) << "uri of another request";
    f = good;
    f.qop = "auth-int";
    EXPECT_FALSE(auth.Check(Get(uri, header(f)))) << "qop not offered";
    f = good;
    f.algorithm = "SHA-256";
    EXPECT_FALSE(auth.Check(Get(uri, header(f)))) << "algorithm not offered";

    // Right digest, but the response value tampered with.
    QByteArray tampered = header(good);
    const qsizetype at = tampered.indexOf("response=\"") + 10;
    tampered[at] = tampered[at] == '0' ? '1' : '0';
    EXPECT_FALSE(auth.Check(Get(uri, tampered)));

    // qop=auth without nc or cnonce.
    QByteArray noNc = header(good);
    noNc.replace(", nc=00000001", "");
    EXPECT_FALSE(auth.Check(Get(uri, noNc)));

    // Malformed parameter list and wrong scheme.
    EXPECT_FALSE(auth.Check(Get(uri, "Digest username=\"admin")));
    EXPECT_FALSE(auth.Check(Get(uri, "Basic " + QByteArray("admin:4719").toBase64())));
    EXPECT_FALSE(auth.Check(Get(uri)));
}

TEST(DevsimAuth, ForgetsOldNonces)
{
    Authenticator auth(AuthMode::Digest, "admin", "4719");
    const QByteArray oldest = NonceOf(auth.Challenge());
    auto accepted = [&](const QByteArray& nonce) {
        const QByteArray response =
            DigestResponse("admin", "Velkor Device", "4719", "GET", "/a", nonce, "", "", "");
        return auth.Check(Get("/a", "Digest username=\"admin\", realm=\"Velkor Device\", nonce=\""
                + nonce + "\", uri=\"/a\", response=\"" + response + "\""));
    };
    EXPECT_TRUE(accepted(oldest));
    for (qsizetype i = 0; i < Authenticator::kNonceMemory; ++i)
        auth.Challenge();
    EXPECT_FALSE(accepted(oldest));
}

TEST(DevsimAuth, DigestSha2AnswersOfTheOfferedAlgorithmOnly)
{
    // The MD5 and SHA-256 responses are the RFC's own; the others were
    // computed for the same exchange with Python's hashlib.
    const QByteArray md5 = "8ca523f5e9506fed4657c9700eebdbec";
    const QByteArray sha256 = "753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1";
    const QByteArray sha512_256 = "430d05014cecc49cab6fbe03176d41a1da86cbfe24a16580e22aaad928d960d0";
    const QByteArray sha256Sess = "2fd51b3a77ad75bad6afad6003e818d767133c46d9e2749e7f5232ae1ea3efd7";
    QByteArray tampered = sha256;
    tampered[10] = tampered[10] == '0' ? '1' : '0';

    struct Case {
        const char* offered;
        QByteArray algorithm;
        QByteArray response;
        bool accepted;
    };
    const Case cases[] = {
        {"SHA-256", "SHA-256", sha256, true},
        {"SHA-512-256", "SHA-512-256", sha512_256, true},
        {"sha-256-SESS", "SHA-256-sess", sha256Sess, true},
        {"MD5,SHA-256", "MD5", md5, true},
        {"MD5,SHA-256", "SHA-256", sha256, true},
        {"SHA-256", "SHA-256", tampered, false},
        {"SHA-256", "MD5", md5, false},
        {"MD5", "SHA-256", sha256, false},
        {"SHA-256", "SHA-512-256", sha512_256, false},
        {"SHA-512-256", "SHA-512-256", sha256, false},
        {"SHA-256-sess", "SHA-256-sess", sha256, false},
    };
    for (const Case& c : cases) {
        const auto offered = devsim::ParseDigestAlgorithms(c.offered);
        ASSERT_TRUE(offered) << c.offered;
        Authenticator auth(AuthMode::Digest, "Mufasa", "Circle of Life", "http-auth@example.org", *offered);
        auth.RememberNonce(kRfcNonce);
        EXPECT_EQ(auth.Check(Get("/dir/index.html", RfcAnswer(c.algorithm, c.response))), c.accepted)
            << c.offered << " answered with " << c.algorithm.toStdString() << ' ' << c.response.toStdString();
    }
    for (const char* bad : {"", "SHA-1", "MD5,MD5", "MD5;SHA-256", "MD5,"})
        EXPECT_FALSE(devsim::ParseDigestAlgorithms(bad)) << bad;
}
