#pragma once

// Helpers for the tests that run the velkor-devsim binary: starting and
// stopping it, and a small blocking HTTP reader on QTcpSocket.

#include <QByteArray>
#include <QProcess>
#include <QSslCertificate>
#include <QStringList>
#include <QTcpSocket>

#include <memory>

namespace devsimtest {

struct HttpReply {
    int status = 0;
    QByteArray head;
    QByteArray body;

    QByteArray header(const QByteArray& name) const;
};

// Reads one reply: the header block, then Content-Length bytes of body.
// False on a time-out, on a reply that is not HTTP, or on extra bytes.
bool ReadReply(QTcpSocket& socket, HttpReply& reply, int timeoutMs = 5000);

// A GET with Host and "Connection: keep-alive".
QByteArray GetRequest(const QByteArray& target, const QByteArray& extraHeaders = {});

QByteArray Md5Hex(const QByteArray& data);

// The value of key="value" in a challenge.
QByteArray ChallengeParam(const QByteArray& challenge, const QByteArray& key);

// The Authorization value that answers a Digest challenge value for a GET of
// uri (qop=auth), computed here independently of the device's code. MD5 and
// SHA-256 challenges only.
QByteArray DigestAuthorization(const QByteArray& challenge, const QByteArray& user,
    const QByteArray& password, const QByteArray& uri);

// True once the peer has closed (or it already had).
bool WaitDisconnected(QTcpSocket& socket, int timeoutMs);

// A self-signed P-256 certificate for 127.0.0.1, made with the openssl
// command into dir as cert.pem and key.pem. False when that fails.
bool MakeCertificate(const QString& dir, QString& certificate, QString& key);

// The binary, started for one test and stopped (SIGTERM) with it.
class Devsim {
public:
    bool Start(const QStringList& args);
    ~Devsim();

    quint16 port() const { return m_port; }
    const QByteArray& firstLine() const { return m_firstLine; }
    bool running() const { return m_process.state() == QProcess::Running; }

    // From now on connect to this address (of one started with --devices);
    // at first the address of the first "listening" line.
    void UseAddress(const QString& address) { m_address = address; }

    // From now on connect with TLS, trusting only this certificate.
    void UseTls(const QString& certificateFile);

    // A connection; with TLS one whose handshake is done.
    std::unique_ptr<QTcpSocket> Connect(int timeoutMs = 3000) const;

    // One request on a fresh connection.
    HttpReply Get(const QByteArray& target, const QByteArray& extraHeaders = {}) const;

    // One request, and when it gets a Digest challenge, the answer to it on
    // a fresh connection.
    HttpReply GetWithDigest(const QByteArray& target, const QByteArray& user,
        const QByteArray& password) const;

private:
    QProcess m_process;
    QByteArray m_firstLine;
    quint16 m_port = 0;
    QString m_address = QStringLiteral("127.0.0.1");
    QList<QSslCertificate> m_trusted; // TLS when not empty
};

// Exit code and output of a run that is expected to end by itself.
struct Outcome {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Outcome RunToEnd(const QStringList& args);

} // namespace devsimtest
