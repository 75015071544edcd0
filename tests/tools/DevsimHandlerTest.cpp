#include "Authenticator.h"
#include "DeviceHandler.h"
#include "HttpRequest.h"
#include "PtzState.h"

#include <QCryptographicHash>

#include <gtest/gtest.h>

using devsim::Authenticator;
using devsim::AuthMode;
using devsim::DeviceHandler;
using devsim::PtzState;
using devsim::Reply;

namespace {

devsim::HttpRequest Request(const QByteArray& target, const QByteArray& method = "GET")
{
    devsim::HttpRequest request;
    request.method = method;
    request.target = target;
    request.version = "HTTP/1.1";
    request.addHeader("Host", "127.0.0.1");
    return request;
}

QByteArray Text(const Reply& reply)
{
    EXPECT_TRUE(reply.body.endsWith("\r\n\r\n")) << reply.body.toStdString();
    return reply.body.chopped(4);
}

// Reads a challenge value the way a minimal client does: the first place the
// key occurs anywhere in the reply, cut at the next comma, between quotes.
QByteArray NaiveChallengeValue(const QByteArray& reply, const QByteArray& key)
{
    const qsizetype at = reply.indexOf(key);
    if (at <= 0)
        return {};
    const qsizetype comma = reply.indexOf(',', at);
    if (comma < 0)
        return {};
    const QByteArray piece = reply.mid(at, comma - at);
    const qsizetype open = piece.indexOf('"');
    if (open <= 0)
        return {};
    const qsizetype close = piece.indexOf('"', open + 1);
    if (close <= open + 1)
        return {};
    return piece.mid(open + 1, close - open - 1);
}

class DevsimHandler : public ::testing::Test {
protected:
    Authenticator auth{AuthMode::None, "admin", "4719"};
    PtzState ptz;
    DeviceHandler handler{auth, ptz};

    QByteArray Ptz(const QByteArray& params, int expectedStatus = 200)
    {
        const Reply reply = handler.Handle(Request("/httpapi/SendPTZ?action=sendptz&" + params));
        EXPECT_EQ(reply.status, expectedStatus) << params.toStdString();
        return Text(reply);
    }
};

} // namespace

TEST_F(DevsimHandler, PositionFollowsMoves)
{
    EXPECT_EQ(Ptz("PTZ_GETPOSITION=0"), "pan=0 tilt=0 zoom=1");
    EXPECT_EQ(Ptz("PTZ_CHANNEL=1&PTZ_MOVE=right,5"), "OK");
    EXPECT_EQ(Ptz("PTZ_GETPOSITION=0"), "pan=5 tilt=0 zoom=1");
    EXPECT_EQ(Ptz("PTZ_MOVE=right,5"), "OK");
    EXPECT_EQ(Ptz("PTZ_MOVE=up,3"), "OK");
    EXPECT_EQ(Ptz("PTZ_MOVE=zoomin,2"), "OK");
    EXPECT_EQ(Ptz("PTZ_MOVE=left"), "OK"); // one step when no count is given
    EXPECT_EQ(Ptz("PTZ_GETPOSITION=0"), "pan=9 tilt=3 zoom=3");
    EXPECT_EQ(Ptz("PTZ_MOVE=down,4&PTZ_MOVE=zoomout,1&PTZ_GETPOSITION=0"), "pan=9 tilt=-1 zoom=2");
    EXPECT_EQ(Ptz("PTZ_MOVE=right%2C1&PTZ_GETPOSITION=0"), "pan=10 tilt=-1 zoom=2");
}

TEST_F(DevsimHandler, BadPtzRequestsChangeNothing)
{
    Ptz("PTZ_MOVE=right,5");
    EXPECT_TRUE(Ptz("PTZ_MOVE=left,3&PTZ_MOVE=sideways,1", 400).startsWith("ERROR"));
    Ptz("PTZ_MOVE=right,x", 400);
    Ptz("PTZ_MOVE=right,-2", 400);
    Ptz("PTZ_MOVE=right,", 400);
    Ptz("PTZ_MOVE=right,99999999999", 400);
    Ptz("PTZ_CHANNEL=0", 400);
    Ptz("PTZ_PRESETSET=0", 400);
    Ptz("PTZ_PRESETGOTO=abc", 400);
    EXPECT_EQ(Ptz("PTZ_GETPOSITION=0"), "pan=5 tilt=0 zoom=1");

    const Reply noAction = handler.Handle(Request("/httpapi/SendPTZ?PTZ_GETPOSITION=0"));
    EXPECT_EQ(noAction.status, 400);
    const Reply otherAction = handler.Handle(Request("/httpapi/SendPTZ?action=reboot&PTZ_MOVE=left,5"));
    EXPECT_EQ(otherAction.status, 400);
    EXPECT_EQ(ptz.pan(), 5);
}

TEST_F(DevsimHandler, Presets)
{
    Ptz("PTZ_MOVE=right,20&PTZ_MOVE=up,10");
    EXPECT_EQ(Ptz("PTZ_PRESETSET=2"), "OK");
    Ptz("PTZ_MOVE=home");
    EXPECT_EQ(Ptz("PTZ_PRESETGOTO=3", 404), "ERROR preset 3 not set");
    EXPECT_EQ(Ptz("PTZ_PRESETGOTO=2&PTZ_GETPOSITION=0"), "pan=20 tilt=10 zoom=1");
}

TEST_F(DevsimHandler, OtherPathsAndMethods)
{
    const Reply ok = handler.Handle(Request("/httpapi/SendAudio?action=mute"));
    EXPECT_EQ(ok.status, 200);
    EXPECT_EQ(Text(ok), "OK");
    EXPECT_FALSE(ok.close);
    EXPECT_FALSE(ok.reboot);

    for (const QByteArray target : {"/", "/index.html", "/httpapi", "/httpapi/", "/HTTPAPI/SendPTZ"}) {
        const Reply missing = handler.Handle(Request(target));
        EXPECT_EQ(missing.status, 404) << target.toStdString();
        EXPECT_EQ(missing.reason, "Not Found");
    }

    const Reply post = handler.Handle(Request("/httpapi/SendPTZ", "POST"));
    EXPECT_EQ(post.status, 405);
    ASSERT_EQ(post.extraHeaders.size(), 1);
    EXPECT_EQ(post.extraHeaders[0].first, "Allow");
}

TEST_F(DevsimHandler, RebootRequest)
{
    const Reply reboot = handler.Handle(Request("/httpapi/SendReboot?action=reboot"));
    EXPECT_EQ(reboot.status, 200);
    EXPECT_EQ(Text(reboot), "OK rebooting");
    EXPECT_TRUE(reboot.reboot);
    EXPECT_TRUE(reboot.close);

    const Reply wrong = handler.Handle(Request("/httpapi/SendReboot?action=restart"));
    EXPECT_EQ(wrong.status, 400);
    EXPECT_FALSE(wrong.reboot);
}

TEST(DevsimReply, WireFormat)
{
    const Reply reply = devsim::TextReply(200, "OK", "pan=1 tilt=2 zoom=3");
    EXPECT_EQ(reply.ToBytes(false),
        "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 23\r\n"
        "Connection: keep-alive\r\n\r\npan=1 tilt=2 zoom=3\r\n\r\n");
    EXPECT_TRUE(reply.ToBytes(true).contains("\r\nConnection: close\r\n"));

    const Reply bad = devsim::BadRequestReply("garbage");
    EXPECT_EQ(bad.status, 400);
    EXPECT_TRUE(bad.close);
}

TEST(DevsimReply, BodyEndMarkFollowsTheHeaders)
{
    // A reader that ignores Content-Length looks for LF CR LF after the header
    // block; every reply must carry one there, or that reader waits for a
    // time-out on a kept-alive connection.
    for (const Reply& reply : {devsim::TextReply(200, "OK", "OK"),
             devsim::TextReply(404, "Not Found", "ERROR no such path"),
             devsim::BadRequestReply("x")}) {
        const QByteArray bytes = reply.ToBytes(false);
        const qsizetype headEnd = bytes.indexOf("\r\n\r\n");
        ASSERT_GT(headEnd, 0);
        EXPECT_GT(bytes.mid(headEnd + 4).indexOf("\n\r\n"), 0);
    }
}

TEST(DevsimHandlerAuth, BasicChallengeThenAccept)
{
    Authenticator auth(AuthMode::Basic, "admin", "4719");
    PtzState ptz;
    DeviceHandler handler(auth, ptz);

    auto request = Request("/httpapi/SendPTZ?action=sendptz&PTZ_MOVE=right,5");
    const Reply challenge = handler.Handle(request);
    EXPECT_EQ(challenge.status, 401);
    EXPECT_EQ(challenge.reason, "Unauthorized");
    EXPECT_EQ(ptz.pan(), 0) << "a refused request must not move the head";
    const QByteArray bytes = challenge.ToBytes(false);
    EXPECT_TRUE(bytes.contains("\r\nWWW-Authenticate: Basic realm=\"Velkor Device\"\r\n"));

    request.addHeader("Authorization", "Basic " + QByteArray("admin:4719").toBase64());
    EXPECT_EQ(handler.Handle(request).status, 200);
    EXPECT_EQ(ptz.pan(), 5);

    // Even unknown paths are challenged first.
    EXPECT_EQ(handler.Handle(Request("/nothing")).status, 401);
}

TEST(DevsimHandlerAuth, DigestChallengeReadableByAMinimalClient)
{
    Authenticator auth(AuthMode::Digest, "admin", "4719");
    PtzState ptz;
    DeviceHandler handler(auth, ptz);

    const QByteArray uri = "/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0";
    const QByteArray bytes = handler.Handle(Request(uri)).ToBytes(false);
    ASSERT_TRUE(bytes.startsWith("HTTP/1.1 401 Unauthorized\r\n"));
    // Scheme word right after "WWW-Authenticate: ", followed by a blank.
    EXPECT_TRUE(bytes.contains("\r\nWWW-Authenticate: Digest "));

    const QByteArray realm = NaiveChallengeValue(bytes, "realm");
    const QByteArray nonce = NaiveChallengeValue(bytes, "nonce");
    const QByteArray qop = NaiveChallengeValue(bytes, "qop");
    EXPECT_EQ(realm, "Velkor Device");
    EXPECT_EQ(nonce.size(), 32);
    EXPECT_EQ(qop, "auth");
    EXPECT_EQ(NaiveChallengeValue(bytes, "opaque").size(), 32);

    const QByteArray response =
        devsim::DigestResponse("admin", realm, "4719", "GET", uri, nonce, "00000001", "", qop);
    auto request = Request(uri);
    request.addHeader("Authorization",
        "Digest username=\"admin\", realm=\"" + realm + "\", nonce=\"" + nonce + "\", uri=\"" + uri
            + "\", algorithm=\"MD5\", response=\"" + response + "\", qop=\"" + qop
            + "\", nc=00000001, cnonce=\"\", opaque=\"\"");
    const Reply answer = handler.Handle(request);
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(Text(answer), "pan=0 tilt=0 zoom=1");
}

TEST(DevsimHandlerAuth, Md5AndSha256ChallengesInTwoHeadersEitherAnswered)
{
    const auto algorithms = devsim::ParseDigestAlgorithms("MD5,SHA-256");
    ASSERT_TRUE(algorithms);
    Authenticator auth(AuthMode::Digest, "admin", "4719", "Velkor Device", *algorithms);
    PtzState ptz;
    DeviceHandler handler(auth, ptz);

    const QByteArray uri = "/httpapi/SendPTZ?action=sendptz&PTZ_MOVE=right,1";
    const Reply challenge = handler.Handle(Request(uri));
    ASSERT_EQ(challenge.status, 401);
    QList<QByteArray> values;
    for (const auto& [name, value] : challenge.extraHeaders) {
        if (name == "WWW-Authenticate")
            values.append(value);
    }
    ASSERT_EQ(values.size(), 2);
    const QByteArray nonce = NaiveChallengeValue(values[0], "nonce");
    const QByteArray opaque = NaiveChallengeValue(values[0], "opaque");
    EXPECT_EQ(nonce.size(), 32);
    // MD5 first, exactly as the MD5-only challenge; both with the same nonce.
    const QByteArray common =
        "Digest realm=\"Velkor Device\", qop=\"auth\", nonce=\"" + nonce + "\", opaque=\"" + opaque + "\"";
    EXPECT_EQ(values[0], common + ", algorithm=MD5");
    EXPECT_EQ(values[1], common + ", algorithm=SHA-256");
    EXPECT_TRUE(challenge.ToBytes(false).contains(
        "\r\nWWW-Authenticate: " + values[0] + "\r\nWWW-Authenticate: " + values[1] + "\r\n"));

    // Either answer is taken; computed here with Qt's hashes.
    const QPair<QCryptographicHash::Algorithm, QByteArray> answers[] = {
        {QCryptographicHash::Md5, "MD5"}, {QCryptographicHash::Sha256, "SHA-256"}};
    for (const auto& [hash, name] : answers) {
        auto h = [hash](const QByteArray& data) { return QCryptographicHash::hash(data, hash).toHex(); };
        const QByteArray response =
            h(h("admin:Velkor Device:4719") + ':' + nonce + ":00000001:c1:auth:" + h("GET:" + uri));
        auto request = Request(uri);
        request.addHeader("Authorization",
            "Digest username=\"admin\", realm=\"Velkor Device\", nonce=\"" + nonce + "\", uri=\"" + uri
                + "\", algorithm=" + name + ", response=\"" + response
                + "\", qop=auth, nc=00000001, cnonce=\"c1\"");
        EXPECT_EQ(handler.Handle(request).status, 200) << name.toStdString();
    }
    EXPECT_EQ(ptz.pan(), 2);
}
