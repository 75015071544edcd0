#pragma once

#include "Authenticator.h"
#include "DeviceHandler.h"
#include "HttpRequest.h"
#include "PtzState.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>
#include <QTimer>

#include <memory>

class QSslServer;
class QTcpSocket;

namespace devsim {

struct ServerOptions {
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 0; // 0: the system picks a free one
    AuthMode auth = AuthMode::None;
    QList<DigestAlgorithm> digestAlgorithms = {DigestAlgorithm{}};
    QByteArray user = "admin";
    QByteArray password = "4719";
    // With a certificate the device serves HTTPS (TLS 1.2 or newer) instead
    // of HTTP: its own certificate first, then any chain certificates.
    QList<QSslCertificate> tlsCertificates;
    QSslKey tlsKey;
    int delayMs = 0;
    bool keepAlive = true;
    int rebootSeconds = 3;
    bool verbose = false;
    ParseLimits limits;
};

// Reads a PEM certificate file (the device's certificate, then any chain
// certificates) and a PEM private key (RSA, EC or DSA, unencrypted) that
// belongs to it into options. False, with the reason in error, otherwise.
bool LoadTlsIdentity(const QString& certificatePath, const QString& keyPath, ServerOptions& options,
    QString& error);

class DeviceConnection;

// The listening side of the simulated device. It accepts connections on a
// loopback address only, answers one request at a time per connection, and
// on a reboot request closes everything, stays away for the reboot time and
// then listens again on the same port. With TLS a connection is taken once
// its handshake is done; a client that fails the handshake is dropped.
class DeviceServer : public QObject {
    Q_OBJECT
public:
    explicit DeviceServer(ServerOptions options, QObject* parent = nullptr);
    ~DeviceServer() override;

    // Starts listening. False, with the reason in error, when the address is
    // not a loopback address or the port cannot be had.
    bool Start(QString& error);

    quint16 port() const { return m_port; }
    bool isRebooting() const { return m_rebooting; }

signals:
    void rebootStarted();
    void rebootFinished();

private:
    friend class DeviceConnection;

    void OnNewConnection();
    void WatchHandshakes(QSslServer& server);
    Reply Answer(const HttpRequest& request);
    void BeginReboot();
    void TryListenAgain();
    void Log(const QString& text) const;

    ServerOptions m_options;
    std::unique_ptr<QTcpServer> m_server; // a QSslServer with TLS
    QTimer m_rebootTimer;
    quint16 m_port = 0;
    bool m_rebooting = false;
    Authenticator m_auth;
    PtzState m_ptz;
    DeviceHandler m_handler;
};

// One accepted connection: it collects bytes, cuts requests out of them, and
// answers each after the configured delay, in order.
class DeviceConnection : public QObject {
    Q_OBJECT
public:
    DeviceConnection(DeviceServer& server, QTcpSocket* socket);

    // Ends the connection once what was written has gone out.
    void Shutdown();

private:
    void OnGone();
    void OnReadyRead();
    void ProcessNext();
    void Respond(const HttpRequest& request);
    void Send(const Reply& reply, bool close);

    DeviceServer& m_server;
    QPointer<QTcpSocket> m_socket;
    QString m_peer;
    QByteArray m_buffer;
    bool m_busy = false;    // a request is waiting out the delay
    bool m_closing = false; // no more requests are taken
    bool m_gone = false;    // the peer has left
};

} // namespace devsim
