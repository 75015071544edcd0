// Runs the velkor-devsim binary and talks HTTP to it over loopback.

#include "DevsimProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using namespace devsimtest;

namespace {

const QByteArray kGetPosition = "/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0";

} // namespace

TEST(DevsimProcess, AnnouncesItsPortAndWritesThePortFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString portFile = dir.filePath(QStringLiteral("port"));
    Devsim sim;
    ASSERT_TRUE(sim.Start({"--port", "0", "--port-file", portFile})) << sim.firstLine().toStdString();
    QFile file(portFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray::number(sim.port()) + '\n');
}

TEST(DevsimProcess, PositionMovesOverOneKeptConnection)
{
    Devsim sim;
    ASSERT_TRUE(sim.Start({"--verbose"}));
    auto socket = sim.Connect();
    ASSERT_TRUE(socket);
    auto exchange = [&](const QByteArray& target) {
        socket->write(GetRequest(target));
        HttpReply reply;
        EXPECT_TRUE(ReadReply(*socket, reply)) << target.toStdString();
        EXPECT_EQ(reply.status, 200) << target.toStdString();
        EXPECT_EQ(reply.header("Content-Type"), "text/plain");
        EXPECT_EQ(reply.header("Connection"), "keep-alive");
        return reply.body;
    };
    EXPECT_EQ(exchange(kGetPosition), "pan=0 tilt=0 zoom=1\r\n\r\n");
    EXPECT_EQ(exchange("/httpapi/SendPTZ?action=sendptz&PTZ_CHANNEL=1&PTZ_MOVE=right,5"), "OK\r\n\r\n");
    EXPECT_EQ(exchange("/httpapi/SendPTZ?action=sendptz&PTZ_CHANNEL=1&PTZ_MOVE=right,5"), "OK\r\n\r\n");
    EXPECT_EQ(exchange("/httpapi/SendPTZ?action=sendptz&PTZ_MOVE=up,2&PTZ_MOVE=zoomin,3"), "OK\r\n\r\n");
    EXPECT_EQ(exchange(kGetPosition), "pan=10 tilt=2 zoom=4\r\n\r\n");
    EXPECT_EQ(exchange("/httpapi/SendPTZ?action=sendptz&PTZ_MOVE=left,15&PTZ_MOVE=down,3"), "OK\r\n\r\n");
    EXPECT_EQ(exchange(kGetPosition), "pan=-5 tilt=-1 zoom=4\r\n\r\n");
    // The state belongs to the device, not to the connection.
    EXPECT_EQ(sim.Get(kGetPosition).body, "pan=-5 tilt=-1 zoom=4\r\n\r\n");

    EXPECT_EQ(sim.Get("/httpapi/SendOSD?action=show").status, 200);
    EXPECT_EQ(sim.Get("/cgi-bin/none").status, 404);
}

TEST(DevsimProcess, BasicAuth)
{
    Devsim sim;
    ASSERT_TRUE(sim.Start({"--auth", "basic", "--user", "op", "--password", "s3cret"}));
    const HttpReply challenge = sim.Get(kGetPosition);
    EXPECT_EQ(challenge.status, 401);
    EXPECT_EQ(challenge.header("WWW-Authenticate"), "Basic realm=\"Velkor Device\"");

    const HttpReply good =
        sim.Get(kGetPosition, "Authorization: Basic " + QByteArray("op:s3cret").toBase64() + "\r\n");
    EXPECT_EQ(good.status, 200);
    EXPECT_EQ(good.body, "pan=0 tilt=0 zoom=1\r\n\r\n");

    const HttpReply bad =
        sim.Get(kGetPosition, "Authorization: Basic " + QByteArray("op:secret").toBase64() + "\r\n");
    EXPECT_EQ(bad.status, 401);
    EXPECT_FALSE(bad.header("WWW-Authenticate").isEmpty());
}

TEST(DevsimProcess, DigestAuthOnTheChallengedConnection)
{
    Devsim sim;
    ASSERT_TRUE(sim.Start({"--auth", "digest"}));
    const QByteArray move = "/httpapi/SendPTZ?action=sendptz&PTZ_MOVE=right,7";

    // Plain request, 401, then the answer to the challenge on the same connection.
    auto exchange = [&](const QByteArray& uri, const QByteArray& password, bool withQop,
                        const QByteArray& cnonce) {
        HttpReply reply;
        auto socket = sim.Connect();
        EXPECT_TRUE(socket);
        if (!socket)
            return reply;
        socket->write(GetRequest(uri));
        HttpReply challenge;
        EXPECT_TRUE(ReadReply(*socket, challenge));
        EXPECT_EQ(challenge.status, 401);
        EXPECT_EQ(challenge.body, "ERROR authentication required\r\n\r\n");
        const QByteArray value = challenge.header("WWW-Authenticate");
        EXPECT_TRUE(value.startsWith("Digest ")) << value.toStdString();
        const QByteArray realm = ChallengeParam(value, "realm");
        const QByteArray nonce = ChallengeParam(value, "nonce");
        EXPECT_EQ(ChallengeParam(value, "qop"), "auth");
        EXPECT_FALSE(nonce.isEmpty());

        // RFC 2617, computed here independently of the device's code.
        const QByteArray ha1 = Md5Hex("admin:" + realm + ':' + password);
        const QByteArray ha2 = Md5Hex("GET:" + uri);
        QByteArray header = "Authorization:Digest username=\"admin\", realm=\"" + realm
            + "\", nonce=\"" + nonce + "\", uri=\"" + uri + "\", algorithm=\"MD5\"";
        if (withQop) {
            const QByteArray response = Md5Hex(ha1 + ':' + nonce + ":00000001:" + cnonce + ":auth:" + ha2);
            header += ", response=\"" + response + "\", qop=\"auth\", nc=00000001, cnonce=\"" + cnonce
                + "\", opaque=\"" + ChallengeParam(value, "opaque") + "\"";
        } else {
            header += ", response=\"" + Md5Hex(ha1 + ':' + nonce + ':' + ha2) + "\"";
        }
        socket->write("GET " + uri + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + header + "\r\n\r\n");
        EXPECT_TRUE(ReadReply(*socket, reply));
        return reply;
    };

    EXPECT_EQ(exchange(move, "4719", true, "").status, 200);
    EXPECT_EQ(exchange(move, "4719", true, "0a4f113b").status, 200);
    EXPECT_EQ(exchange(move, "4719", false, "").status, 200);
    const HttpReply refused = exchange(move, "4718", true, "");
    EXPECT_EQ(refused.status, 401);
    EXPECT_FALSE(refused.header("WWW-Authenticate").isEmpty());
    EXPECT_EQ(exchange(move, "", false, "").status, 401);

    // Three accepted moves of 7; the refused ones moved nothing.
    const HttpReply position = exchange(kGetPosition, "4719", true, "");
    EXPECT_EQ(position.status, 200);
    EXPECT_EQ(position.body, "pan=21 tilt=0 zoom=1\r\n\r\n");
}

TEST(DevsimProcess, HttpsWithDigestSha256DropsFailedHandshakesAndReboots)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QString certificate;
    QString key;
    ASSERT_TRUE(MakeCertificate(dir.path(), certificate, key));
    Devsim sim;
    ASSERT_TRUE(sim.Start({"--tls", certificate, key, "--auth", "digest", "--digest-algorithm", "SHA-256",
        "--reboot-seconds", "1", "--verbose"}))
        << sim.firstLine().toStdString();
    sim.UseTls(certificate);

    auto socket = sim.Connect();
    ASSERT_TRUE(socket) << "no TLS connection verified against the certificate";
    const QSsl::SslProtocol protocol = static_cast<QSslSocket&>(*socket).sessionProtocol();
    EXPECT_TRUE(protocol == QSsl::TlsV1_2 || protocol == QSsl::TlsV1_3) << protocol;
    socket->write(GetRequest(kGetPosition));
    HttpReply challenge;
    ASSERT_TRUE(ReadReply(*socket, challenge));
    EXPECT_EQ(challenge.status, 401);
    const QByteArray value = challenge.header("WWW-Authenticate");
    EXPECT_TRUE(value.startsWith("Digest ") && value.endsWith(", algorithm=SHA-256")) << value.toStdString();
    socket->write(GetRequest(kGetPosition,
        "Authorization: " + DigestAuthorization(value, "admin", "4719", kGetPosition) + "\r\n"));
    HttpReply reply;
    ASSERT_TRUE(ReadReply(*socket, reply));
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, "pan=0 tilt=0 zoom=1\r\n\r\n");

    // Plain HTTP, and a TLS record with garbage in it: both dropped.
    for (const QByteArray& notTls :
        {GetRequest(kGetPosition), QByteArray("\x16\x03\x01\x00\x05garbagegarbage", 19)}) {
        QTcpSocket client;
        client.connectToHost(QStringLiteral("127.0.0.1"), sim.port());
        ASSERT_TRUE(client.waitForConnected(3000));
        client.write(notTls);
        EXPECT_TRUE(WaitDisconnected(client, 3000)) << notTls.toHex().toStdString();
        EXPECT_FALSE(client.readAll().startsWith("HTTP/"));
    }
    EXPECT_TRUE(sim.running());
    EXPECT_EQ(sim.GetWithDigest("/httpapi/SendPTZ?action=sendptz&PTZ_MOVE=right,5", "admin", "4719").status,
        200);

    // A reboot over TLS: away, then back on the same port at the home position.
    const HttpReply rebooting = sim.GetWithDigest("/httpapi/SendReboot?action=reboot", "admin", "4719");
    EXPECT_EQ(rebooting.status, 200);
    EXPECT_EQ(rebooting.body, "OK rebooting\r\n\r\n");
    QElapsedTimer away;
    away.start();
    std::unique_ptr<QTcpSocket> back;
    while (!back && away.elapsed() < 10000) {
        back = sim.Connect(500);
        if (!back)
            QThread::msleep(50);
    }
    ASSERT_TRUE(back);
    const HttpReply position = sim.GetWithDigest(kGetPosition, "admin", "4719");
    EXPECT_EQ(position.status, 200);
    EXPECT_EQ(position.body, "pan=0 tilt=0 zoom=1\r\n\r\n");
}

TEST(DevsimProcess, DelaysEveryReply)
{
    Devsim sim;
    ASSERT_TRUE(sim.Start({"--delay", "300"}));
    auto socket = sim.Connect();
    ASSERT_TRUE(socket);
    for (int i = 0; i < 2; ++i) {
        QElapsedTimer clock;
        clock.start();
        socket->write(GetRequest(kGetPosition));
        HttpReply reply;
        ASSERT_TRUE(ReadReply(*socket, reply));
        EXPECT_EQ(reply.status, 200);
        EXPECT_GE(clock.elapsed(), 295) << "reply " << i;
    }
}

TEST(DevsimProcess, KeepAliveIsTheDefault)
{
    Devsim sim;
    ASSERT_TRUE(sim.Start({"--keep-alive"}));
    auto socket = sim.Connect();
    ASSERT_TRUE(socket);
    socket->write(GetRequest(kGetPosition));
    HttpReply reply;
    ASSERT_TRUE(ReadReply(*socket, reply));
    EXPECT_FALSE(WaitDisconnected(*socket, 300));
    // A client that asks for close gets it.
    socket->write("GET /httpapi/a HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    ASSERT_TRUE(ReadReply(*socket, reply));
    EXPECT_EQ(reply.header("Connection"), "close");
    EXPECT_TRUE(WaitDisconnected(*socket, 3000));
}

TEST(DevsimProcess, CloseModeEndsEveryConnection)
{
    Devsim sim;
    ASSERT_TRUE(sim.Start({"--close", "--auth", "basic"}));
    for (const QByteArray& extra :
        {QByteArray(), "Authorization: Basic " + QByteArray("admin:4719").toBase64() + "\r\n"}) {
        auto socket = sim.Connect();
        ASSERT_TRUE(socket);
        socket->write(GetRequest(kGetPosition, extra));
        HttpReply reply;
        ASSERT_TRUE(ReadReply(*socket, reply));
        EXPECT_EQ(reply.status, extra.isEmpty() ? 401 : 200);
        EXPECT_EQ(reply.header("Connection"), "close");
        EXPECT_TRUE(WaitDisconnected(*socket, 3000));
    }
}

TEST(DevsimProcess, RebootGoesAwayAndComesBack)
{
    Devsim sim;
    ASSERT_TRUE(sim.Start({"--reboot-seconds", "1"}));
    HttpReply moved = sim.Get("/httpapi/SendPTZ?action=sendptz&PTZ_MOVE=right,5");
    ASSERT_EQ(moved.status, 200);

    auto idle = sim.Connect();
    ASSERT_TRUE(idle);
    auto socket = sim.Connect();
    ASSERT_TRUE(socket);
    QElapsedTimer away;
    away.start();
    socket->write(GetRequest("/httpapi/SendReboot?action=reboot"));
    HttpReply reply;
    ASSERT_TRUE(ReadReply(*socket, reply));
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, "OK rebooting\r\n\r\n");
    EXPECT_EQ(reply.header("Connection"), "close");
    EXPECT_TRUE(WaitDisconnected(*socket, 3000));
    EXPECT_TRUE(WaitDisconnected(*idle, 3000)) << "open connections are closed by a reboot";

    // While away, connecting is refused at once.
    QTcpSocket probe;
    probe.connectToHost(QStringLiteral("127.0.0.1"), sim.port());
    EXPECT_FALSE(probe.waitForConnected(2000));
    EXPECT_EQ(probe.error(), QAbstractSocket::ConnectionRefusedError);
    EXPECT_LT(away.elapsed(), 900) << "too slow to observe the reboot window";

    // Back on the same port after about a second.
    std::unique_ptr<QTcpSocket> back;
    while (!back && away.elapsed() < 10000) {
        back = sim.Connect(500);
        if (!back)
            QThread::msleep(50);
    }
    ASSERT_TRUE(back);
    EXPECT_GE(away.elapsed(), 900);
    back->write(GetRequest(kGetPosition));
    ASSERT_TRUE(ReadReply(*back, reply));
    EXPECT_EQ(reply.body, "pan=0 tilt=0 zoom=1\r\n\r\n") << "a reboot returns to the home position";
}

TEST(DevsimProcess, GarbageGets400AndClose)
{
    Devsim sim;
    ASSERT_TRUE(sim.Start({}));
    for (const QByteArray& garbage :
        {QByteArray("garbage\r\n\r\n"), QByteArray("\x16\x03\x01\x00\xff\x01\n\n", 8),
            QByteArray("GET /httpapi/a HTTP/1.1\r\n\r\n")}) {
        auto socket = sim.Connect();
        ASSERT_TRUE(socket);
        socket->write(garbage);
        HttpReply reply;
        ASSERT_TRUE(ReadReply(*socket, reply));
        EXPECT_EQ(reply.status, 400);
        EXPECT_EQ(reply.header("Connection"), "close");
        EXPECT_TRUE(WaitDisconnected(*socket, 3000));
    }
    EXPECT_EQ(sim.Get(kGetPosition).status, 200);
}

TEST(DevsimProcess, OversizedHeadersAreCut)
{
    Devsim sim;
    ASSERT_TRUE(sim.Start({}));
    auto socket = sim.Connect();
    ASSERT_TRUE(socket);
    socket->write("GET /httpapi/a HTTP/1.1\r\nHost: 127.0.0.1\r\n");
    const QByteArray line = "X-Fill: " + QByteArray(1000, 'a') + "\r\n";
    for (int i = 0; i < 70; ++i)
        socket->write(line);
    HttpReply reply;
    ASSERT_TRUE(ReadReply(*socket, reply));
    EXPECT_EQ(reply.status, 400);
    EXPECT_TRUE(WaitDisconnected(*socket, 3000));
    EXPECT_EQ(sim.Get(kGetPosition).status, 200);
}

TEST(DevsimProcess, SurvivesClientsThatVanish)
{
    Devsim sim;
    ASSERT_TRUE(sim.Start({"--delay", "150", "--verbose"}));
    {
        auto half = sim.Connect(); // half a request, then a reset
        ASSERT_TRUE(half);
        half->write("GET /httpapi/SendPTZ?act");
        half->waitForBytesWritten(1000);
        half->abort();
    }
    {
        // A whole request, then a reset before the delayed reply is due. The
        // reset may discard the request before the device reads it, so what
        // it did is not checked.
        auto reset = sim.Connect();
        ASSERT_TRUE(reset);
        reset->write(GetRequest("/httpapi/SendPTZ?action=sendptz&PTZ_MOVE=zoomin,1"));
        reset->waitForBytesWritten(1000);
        reset->abort();
    }
    {
        // A whole request, then an orderly close before the reply is due: the
        // device has the request and carries it out all the same.
        auto leaving = sim.Connect();
        ASSERT_TRUE(leaving);
        leaving->write(GetRequest("/httpapi/SendPTZ?action=sendptz&PTZ_MOVE=up,1"));
        leaving->waitForBytesWritten(1000);
        leaving->disconnectFromHost();
    }
    auto silent = sim.Connect(); // connects and never says anything
    ASSERT_TRUE(silent);
    QThread::msleep(400);
    EXPECT_TRUE(sim.running());
    const HttpReply reply = sim.Get(kGetPosition);
    EXPECT_EQ(reply.status, 200);
    const QRegularExpression expected(QStringLiteral("^pan=0 tilt=1 zoom=[12]\r\n\r\n$"));
    EXPECT_TRUE(expected.match(QString::fromLatin1(reply.body)).hasMatch()) << reply.body.toStdString();
}

TEST(DevsimProcess, RefusesNonLoopbackAddressesAndBadOptions)
{
    for (const QStringList& args : {QStringList{"--bind", "0.0.0.0"}, QStringList{"--bind", "192.0.2.1"},
             QStringList{"--bind", "nonsense"}, QStringList{"--auth", "ntlm"},
             QStringList{"--keep-alive", "--close"}, QStringList{"--port", "70000"},
             QStringList{"--delay", "-5"}, QStringList{"--no-such-option"}}) {
        const Outcome outcome = RunToEnd(args);
        EXPECT_EQ(outcome.exitCode, 1) << args.join(' ').toStdString();
        EXPECT_FALSE(outcome.out.contains("listening")) << args.join(' ').toStdString();
        EXPECT_FALSE(outcome.err.isEmpty());
    }
}

TEST(DevsimProcess, HelpDescribesTheRequests)
{
    const Outcome outcome = RunToEnd({"--help"});
    EXPECT_EQ(outcome.exitCode, 0);
    for (const char* word : {"--port", "--port-file", "--auth", "--digest-algorithm", "SHA-512-256",
             "--tls <cert> <key>", "--delay", "--close", "--reboot-seconds", "--verbose",
             "SendReboot?action=reboot", "PTZ_GETPOSITION", "PTZ_MOVE"})
        EXPECT_TRUE(outcome.out.contains(word)) << word;
}

TEST(DevsimProcess, DevicesAnswerOnTheirOwnAddressesWithTheirOwnState)
{
    Devsim sim;
    ASSERT_TRUE(sim.Start({"--devices", "2", "--auth", "digest", "--reboot-seconds", "2"}));
    EXPECT_EQ(sim.firstLine(), "listening 127.0.1.1:" + QByteArray::number(sim.port()));
    const QByteArray move = "/httpapi/SendPTZ?action=sendptz&PTZ_MOVE=right,7";

    // A move on the second device leaves the first where it was.
    sim.UseAddress(QStringLiteral("127.0.1.2"));
    EXPECT_EQ(sim.GetWithDigest(move, "admin", "4719").status, 200);
    EXPECT_EQ(sim.GetWithDigest(kGetPosition, "admin", "4719").body, "pan=7 tilt=0 zoom=1\r\n\r\n");
    const HttpReply challenge = sim.Get(kGetPosition);
    ASSERT_EQ(challenge.status, 401);
    sim.UseAddress(QStringLiteral("127.0.1.1"));
    EXPECT_EQ(sim.GetWithDigest(kGetPosition, "admin", "4719").body, "pan=0 tilt=0 zoom=1\r\n\r\n");

    // The second device's nonce is no good on the first.
    const QByteArray answer = "Authorization: " +
        DigestAuthorization(challenge.header("WWW-Authenticate"), "admin", "4719", kGetPosition) + "\r\n";
    EXPECT_EQ(sim.Get(kGetPosition, answer).status, 401);

    // A reboot of the first keeps the second answering.
    EXPECT_EQ(sim.GetWithDigest("/httpapi/SendReboot?action=reboot", "admin", "4719").status, 200);
    QThread::msleep(200);
    EXPECT_FALSE(sim.Connect(500)) << "the first device is away";
    sim.UseAddress(QStringLiteral("127.0.1.2"));
    EXPECT_EQ(sim.GetWithDigest(kGetPosition, "admin", "4719").body, "pan=7 tilt=0 zoom=1\r\n\r\n");
    EXPECT_EQ(sim.Get(kGetPosition, answer).status, 200) << "its own nonce is still good";
}
