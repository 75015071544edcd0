#include "DevsimProcess.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QDir>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QSslSocket>

#include <gtest/gtest.h>

namespace devsimtest {

namespace {

// An application for the process and socket classes, unless the test
// program has one of its own (the window tests do).
void EnsureApp()
{
    if (QCoreApplication::instance() != nullptr)
        return;
    static int argc = 1;
    static char name[] = "devsim_process_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    (void)app;
}

} // namespace

QByteArray HttpReply::header(const QByteArray& name) const
{
    for (const QByteArray& line : head.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        const qsizetype colon = trimmed.indexOf(':');
        if (colon > 0 && trimmed.left(colon).compare(name, Qt::CaseInsensitive) == 0)
            return trimmed.mid(colon + 1).trimmed();
    }
    return {};
}

// Reads one reply: the header block, then Content-Length bytes of body.
bool ReadReply(QTcpSocket& socket, HttpReply& reply, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QByteArray data;
    qsizetype headEnd = -1;
    qsizetype total = -1;
    while (true) {
        if (headEnd < 0) {
            headEnd = data.indexOf("\r\n\r\n");
            if (headEnd >= 0) {
                reply.head = data.left(headEnd);
                const QList<QByteArray> statusLine = reply.head.left(reply.head.indexOf('\r')).split(' ');
                if (statusLine.size() < 3 || !statusLine[0].startsWith("HTTP/1."))
                    return false;
                reply.status = statusLine[1].toInt();
                bool ok = false;
                const qsizetype length = reply.header("Content-Length").toLongLong(&ok);
                if (!ok)
                    return false;
                total = headEnd + 4 + length;
            }
        }
        if (total >= 0 && data.size() >= total) {
            reply.body = data.mid(headEnd + 4, total - headEnd - 4);
            // Whatever follows belongs to the next reply; these tests never pipeline.
            return data.size() == total;
        }
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0)
            return false;
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(static_cast<int>(left)))
            return false;
        data += socket.readAll();
    }
}

QByteArray GetRequest(const QByteArray& target, const QByteArray& extraHeaders)
{
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders
        + "Connection: keep-alive\r\n\r\n";
}

QByteArray Md5Hex(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex();
}

// A challenge parameter: key="value".
QByteArray ChallengeParam(const QByteArray& challenge, const QByteArray& key)
{
    const QRegularExpression re(QStringLiteral("\\b%1=\"([^\"]*)\"").arg(QString::fromLatin1(key)));
    const auto match = re.match(QString::fromLatin1(challenge));
    return match.hasMatch() ? match.captured(1).toLatin1() : QByteArray();
}

QByteArray DigestAuthorization(const QByteArray& challenge, const QByteArray& user,
    const QByteArray& password, const QByteArray& uri)
{
    const auto match = QRegularExpression(QStringLiteral("\\balgorithm=([^,\\s]+)"))
                           .match(QString::fromLatin1(challenge));
    const QByteArray algorithm = match.hasMatch() ? match.captured(1).toLatin1() : "MD5";
    QCryptographicHash::Algorithm hash = QCryptographicHash::Md5;
    if (algorithm == "SHA-256")
        hash = QCryptographicHash::Sha256;
    else if (algorithm != "MD5")
        ADD_FAILURE() << "no answer for " << algorithm.toStdString();
    auto h = [hash](const QByteArray& data) { return QCryptographicHash::hash(data, hash).toHex(); };
    const QByteArray realm = ChallengeParam(challenge, "realm");
    const QByteArray nonce = ChallengeParam(challenge, "nonce");
    const QByteArray cnonce = "0a4f113b";
    const QByteArray response = h(h(user + ':' + realm + ':' + password) + ':' + nonce + ":00000001:"
        + cnonce + ":auth:" + h("GET:" + uri));
    return "Digest username=\"" + user + "\", realm=\"" + realm + "\", nonce=\"" + nonce + "\", uri=\""
        + uri + "\", algorithm=" + algorithm + ", response=\"" + response
        + "\", qop=auth, nc=00000001, cnonce=\"" + cnonce + "\", opaque=\""
        + ChallengeParam(challenge, "opaque") + "\"";
}

bool MakeCertificate(const QString& dir, QString& certificate, QString& key)
{
    EnsureApp();
    certificate = QDir(dir).filePath(QStringLiteral("cert.pem"));
    key = QDir(dir).filePath(QStringLiteral("key.pem"));
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
        {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-days",
            "2", "-subj", "/CN=localhost", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key,
            "-out", certificate});
    if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit
        || openssl.exitCode() != 0) {
        ADD_FAILURE() << "openssl: " << openssl.errorString().toStdString()
                      << openssl.readAllStandardError().toStdString();
        return false;
    }
    return true;
}

bool Devsim::Start(const QStringList& args)
{
    EnsureApp();
    m_process.setProgram(QStringLiteral(VELKOR_DEVSIM_PATH));
    m_process.setArguments(args);
    m_process.start();
    if (!m_process.waitForStarted(10000))
        return false;
    QElapsedTimer clock;
    clock.start();
    while (!m_process.canReadLine()) {
        if (clock.elapsed() > 15000 || m_process.state() != QProcess::Running)
            return false;
        m_process.waitForReadyRead(200);
    }
    m_firstLine = m_process.readLine().trimmed();
    const QRegularExpression re(QStringLiteral("^listening (127\\.\\d+\\.\\d+\\.\\d+):(\\d+)$"));
    const auto match = re.match(QString::fromLatin1(m_firstLine));
    if (!match.hasMatch())
        return false;
    m_address = match.captured(1);
    m_port = static_cast<quint16>(match.captured(2).toUInt());
    return m_port != 0;
}

Devsim::~Devsim()
{
    if (m_process.state() != QProcess::NotRunning) {
        // SIGTERM is a clean stop: exit code 0, and the leak check of a
        // sanitizer build gets to run.
        m_process.terminate();
        if (m_process.waitForFinished(10000)) {
            EXPECT_EQ(m_process.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(m_process.exitCode(), 0);
        } else {
            ADD_FAILURE() << "velkor-devsim ignored SIGTERM";
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    const QByteArray err = m_process.readAllStandardError();
    EXPECT_FALSE(err.contains("Sanitizer") || err.contains("runtime error:")) << err.toStdString();
}

void Devsim::UseTls(const QString& certificateFile)
{
    m_trusted = QSslCertificate::fromPath(certificateFile);
    EXPECT_FALSE(m_trusted.isEmpty()) << certificateFile.toStdString();
}

std::unique_ptr<QTcpSocket> Devsim::Connect(int timeoutMs) const
{
    if (m_trusted.isEmpty()) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(m_address, m_port);
        if (!socket->waitForConnected(timeoutMs))
            return nullptr;
        return socket;
    }
    auto socket = std::make_unique<QSslSocket>();
    QSslConfiguration configuration = socket->sslConfiguration();
    configuration.setCaCertificates(m_trusted);
    socket->setSslConfiguration(configuration);
    socket->connectToHostEncrypted(m_address, m_port);
    if (!socket->waitForEncrypted(timeoutMs))
        return nullptr;
    return socket;
}

HttpReply Devsim::Get(const QByteArray& target, const QByteArray& extraHeaders) const
{
    HttpReply reply;
    auto socket = Connect();
    if (!socket) {
        ADD_FAILURE() << "no connection";
        return reply;
    }
    socket->write(GetRequest(target, extraHeaders));
    EXPECT_TRUE(ReadReply(*socket, reply)) << target.toStdString();
    return reply;
}

HttpReply Devsim::GetWithDigest(const QByteArray& target, const QByteArray& user,
    const QByteArray& password) const
{
    const HttpReply challenge = Get(target);
    if (challenge.status != 401)
        return challenge;
    return Get(target,
        "Authorization: "
            + DigestAuthorization(challenge.header("WWW-Authenticate"), user, password, target)
            + "\r\n");
}

bool WaitDisconnected(QTcpSocket& socket, int timeoutMs)
{
    if (socket.state() == QAbstractSocket::UnconnectedState)
        return true;
    return socket.waitForDisconnected(timeoutMs);
}

Outcome RunToEnd(const QStringList& args)
{
    EnsureApp();
    QProcess process;
    process.start(QStringLiteral(VELKOR_DEVSIM_PATH), args);
    Outcome outcome;
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished();
        return outcome;
    }
    outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.out = process.readAllStandardOutput();
    outcome.err = process.readAllStandardError();
    return outcome;
}

} // namespace devsimtest
