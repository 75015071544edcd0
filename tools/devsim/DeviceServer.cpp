#include "DeviceServer.h"

#include <QFile>
#include <QSslConfiguration>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpSocket>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>

namespace devsim {

namespace {

constexpr int kRelistenRetryMs = 100;
constexpr qsizetype kMaxBufferedBytes = 1024 * 1024;
// Connections still in their TLS handshake count as pending for the server;
// allow many, so a crowd of silent clients cannot stop it accepting. Each
// is dropped after QSslServer's handshake time-out (5 s).
constexpr int kMaxPendingTls = 1024;
// The peer of a socket still in its TLS handshake, for the log.
constexpr char kPeerProperty[] = "devsimPeer";

QString PeerName(const QAbstractSocket& socket)
{
    return socket.peerAddress().isNull()
        ? QStringLiteral("(peer already gone)")
        : QStringLiteral("%1:%2").arg(socket.peerAddress().toString()).arg(socket.peerPort());
}

// Whether the PEM key belongs to the first certificate of the PEM file.
bool KeyMatchesCertificate(const QByteArray& certificatePem, const QByteArray& keyPem)
{
    BIO* certificateBio =
        BIO_new_mem_buf(certificatePem.constData(), static_cast<int>(certificatePem.size()));
    BIO* keyBio = BIO_new_mem_buf(keyPem.constData(), static_cast<int>(keyPem.size()));
    X509* certificate =
        certificateBio ? PEM_read_bio_X509(certificateBio, nullptr, nullptr, nullptr) : nullptr;
    // An empty pass phrase: an encrypted key fails instead of asking on the terminal.
    char empty[] = "";
    EVP_PKEY* key = keyBio ? PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, empty) : nullptr;
    const bool match = certificate && key && X509_check_private_key(certificate, key) == 1;
    EVP_PKEY_free(key);
    X509_free(certificate);
    BIO_free(keyBio);
    BIO_free(certificateBio);
    return match;
}

} // namespace

bool LoadTlsIdentity(const QString& certificatePath, const QString& keyPath, ServerOptions& options,
    QString& error)
{
    if (!QSslSocket::supportsSsl()) {
        error = QStringLiteral("this Qt has no TLS backend");
        return false;
    }
    QFile certificateFile(certificatePath);
    QFile keyFile(keyPath);
    if (!certificateFile.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(certificatePath, certificateFile.errorString());
        return false;
    }
    if (!keyFile.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(keyPath, keyFile.errorString());
        return false;
    }
    const QByteArray certificatePem = certificateFile.readAll();
    const QByteArray keyPem = keyFile.readAll();
    const QList<QSslCertificate> certificates = QSslCertificate::fromData(certificatePem, QSsl::Pem);
    if (certificates.isEmpty() || certificates.front().isNull()) {
        error = QStringLiteral("no PEM certificate in %1").arg(certificatePath);
        return false;
    }
    QSslKey key;
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Ec, QSsl::Rsa, QSsl::Dsa}) {
        key = QSslKey(keyPem, algorithm, QSsl::Pem, QSsl::PrivateKey);
        if (!key.isNull())
            break;
    }
    if (key.isNull()) {
        error = QStringLiteral("no unencrypted PEM private key (RSA, EC or DSA) in %1").arg(keyPath);
        return false;
    }
    if (!KeyMatchesCertificate(certificatePem, keyPem)) {
        error = QStringLiteral("the key in %1 does not belong to the certificate in %2")
                    .arg(keyPath, certificatePath);
        return false;
    }
    options.tlsCertificates = certificates;
    options.tlsKey = key;
    return true;
}

DeviceServer::DeviceServer(ServerOptions options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_auth(m_options.auth, m_options.user, m_options.password, QByteArrayLiteral("Velkor Device"),
          m_options.digestAlgorithms)
    , m_handler(m_auth, m_ptz)
{
    m_rebootTimer.setSingleShot(true);
    connect(&m_rebootTimer, &QTimer::timeout, this, &DeviceServer::TryListenAgain);
    if (m_options.tlsCertificates.isEmpty()) {
        m_server = std::make_unique<QTcpServer>();
    } else {
        auto server = std::make_unique<QSslServer>();
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setProtocol(QSsl::TlsV1_2OrLater);
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        configuration.setLocalCertificateChain(m_options.tlsCertificates);
        configuration.setPrivateKey(m_options.tlsKey);
        server->setSslConfiguration(configuration);
        server->setMaxPendingConnections(kMaxPendingTls);
        WatchHandshakes(*server);
        m_server = std::move(server);
    }
    // Both servers signal here once a connection is ready to use, for TLS
    // after its handshake.
    connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this,
        &DeviceServer::OnNewConnection);
}

void DeviceServer::WatchHandshakes(QSslServer& server)
{
    // Until its handshake is done a socket is QSslServer's child, and
    // QSslServer drops it when the handshake fails or times out. Each one is
    // noted as it is accepted, so the log can name its peer after it left.
    connect(&server, &QTcpServer::newConnection, this, [this, &server] {
        for (QSslSocket* socket : server.findChildren<QSslSocket*>(Qt::FindDirectChildrenOnly)) {
            if (socket->property(kPeerProperty).isValid())
                continue;
            socket->setProperty(kPeerProperty, PeerName(*socket));
            // QSslServer looks at the first bytes before this does, and drops
            // a client that does not begin with a TLS handshake without a
            // signal; such a socket is no longer connected here, yet has no
            // error (a handshake that failed at once has one, and is logged
            // below).
            connect(socket, &QIODevice::readyRead, this, [this, socket] {
                if (socket->state() != QAbstractSocket::ConnectedState
                    && socket->error() == QAbstractSocket::UnknownSocketError)
                    Log(QStringLiteral("%1 dropped: not a TLS client")
                            .arg(socket->property(kPeerProperty).toString()));
            }, Qt::SingleShotConnection);
        }
    });
    connect(&server, &QSslServer::errorOccurred, this,
        [this, &server](QSslSocket* socket, QAbstractSocket::SocketError error) {
            const QString reason = error == QAbstractSocket::SocketTimeoutError
                ? QStringLiteral("no handshake within %1 ms").arg(server.handshakeTimeout())
                : socket->errorString();
            Log(QStringLiteral("%1 TLS handshake failed: %2")
                    .arg(socket->property(kPeerProperty).toString(), reason));
        });
}

DeviceServer::~DeviceServer() = default;

bool DeviceServer::Start(QString& error)
{
    if (!m_options.address.isLoopback()) {
        error = QStringLiteral("refusing to listen on %1: only loopback addresses are allowed")
                    .arg(m_options.address.toString());
        return false;
    }
    if (!m_server->listen(m_options.address, m_options.port)) {
        error = m_server->errorString();
        return false;
    }
    m_port = m_server->serverPort();
    return true;
}

void DeviceServer::OnNewConnection()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        if (m_rebooting) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // The connection takes the socket as its child and is deleted when
        // the peer goes away.
        new DeviceConnection(*this, socket);
    }
}

Reply DeviceServer::Answer(const HttpRequest& request)
{
    Reply reply = m_handler.Handle(request);
    Log(QStringLiteral("%1 %2 -> %3")
            .arg(QString::fromLatin1(request.method), QString::fromLatin1(request.target))
            .arg(reply.status));
    return reply;
}

void DeviceServer::BeginReboot()
{
    if (m_rebooting)
        return;
    m_rebooting = true;
    Log(QStringLiteral("rebooting: away for %1 s").arg(m_options.rebootSeconds));
    m_server->close();
    // Handshakes still under way end with the device too.
    for (QSslSocket* socket : m_server->findChildren<QSslSocket*>(Qt::FindDirectChildrenOnly)) {
        socket->abort();
        socket->deleteLater();
    }
    // A restarted head comes up at its home position; presets survive.
    m_ptz.Home();
    for (DeviceConnection* connection : findChildren<DeviceConnection*>())
        connection->Shutdown();
    emit rebootStarted();
    m_rebootTimer.start(m_options.rebootSeconds * 1000);
}

void DeviceServer::TryListenAgain()
{
    if (!m_server->listen(m_options.address, m_port)) {
        // The old port may still be held for a moment; keep trying.
        Log(QStringLiteral("listen again failed (%1), retrying").arg(m_server->errorString()));
        m_rebootTimer.start(kRelistenRetryMs);
        return;
    }
    m_rebooting = false;
    Log(QStringLiteral("back from reboot, listening on port %1").arg(m_port));
    emit rebootFinished();
}

void DeviceServer::Log(const QString& text) const
{
    if (!m_options.verbose)
        return;
    std::fprintf(stderr, "devsim: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

DeviceConnection::DeviceConnection(DeviceServer& server, QTcpSocket* socket)
    : QObject(&server)
    , m_server(server)
    , m_socket(socket)
    , m_peer(PeerName(*socket))
{
    // The socket stays a child of the server's QTcpServer until we take it.
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, &DeviceConnection::OnReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, &DeviceConnection::OnGone);
    connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        // A reset or a vanished peer: nothing to answer any more.
        if (m_socket && m_socket->state() == QAbstractSocket::UnconnectedState)
            OnGone();
    });
    m_server.Log(QStringLiteral("%1 connected").arg(m_peer));
    if (socket->bytesAvailable() > 0)
        OnReadyRead();
}

void DeviceConnection::Shutdown()
{
    m_closing = true;
    if (m_socket)
        m_socket->disconnectFromHost();
}

void DeviceConnection::OnGone()
{
    m_closing = true;
    if (m_gone)
        return;
    m_gone = true;
    m_server.Log(QStringLiteral("%1 gone").arg(m_peer));
    // A request already taken is still carried out when its delay is over, as
    // a device would; only its reply has nowhere to go.
    if (!m_busy)
        deleteLater();
}

void DeviceConnection::OnReadyRead()
{
    if (!m_socket)
        return;
    const QByteArray data = m_socket->readAll();
    if (m_closing)
        return;
    m_buffer += data;
    // Requests pile up only while a delayed reply is pending; a peer that
    // keeps sending far beyond that is cut off.
    if (m_buffer.size() > kMaxBufferedBytes) {
        m_server.Log(QStringLiteral("%1 sends too much, closing").arg(m_peer));
        m_buffer.clear();
        Send(BadRequestReply("too much data"), true);
        return;
    }
    ProcessNext();
}

void DeviceConnection::ProcessNext()
{
    while (!m_closing && !m_busy && m_socket) {
        ParseResult parsed = ParseRequest(m_buffer, m_server.m_options.limits);
        switch (parsed.status) {
        case ParseStatus::Incomplete:
            return;
        case ParseStatus::Bad:
            m_server.Log(QStringLiteral("%1 bad request: %2").arg(m_peer, QString::fromLatin1(parsed.error)));
            m_buffer.clear();
            Send(BadRequestReply(parsed.error), true);
            return;
        case ParseStatus::Complete:
            break;
        }
        m_buffer.remove(0, parsed.consumed);
        if (m_server.m_options.delayMs <= 0) {
            Respond(parsed.request);
            continue;
        }
        m_busy = true;
        // Bound to this connection: if the connection is deleted first, the
        // timer goes with it.
        QTimer::singleShot(m_server.m_options.delayMs, this, [this, request = std::move(parsed.request)] {
            m_busy = false;
            Respond(request);
            ProcessNext();
        });
    }
}

void DeviceConnection::Respond(const HttpRequest& request)
{
    if (m_server.isRebooting() || (m_closing && !m_gone)) {
        // Taken before a reboot: the device that would answer it is gone.
        if (m_gone)
            deleteLater();
        return;
    }
    const Reply reply = m_server.Answer(request);
    if (m_gone) {
        deleteLater();
    } else {
        const bool close = reply.close || !m_server.m_options.keepAlive || request.wantsClose();
        Send(reply, close);
    }
    if (reply.reboot)
        m_server.BeginReboot();
}

void DeviceConnection::Send(const Reply& reply, bool close)
{
    if (!m_socket)
        return;
    m_socket->write(reply.ToBytes(close));
    if (close) {
        m_closing = true;
        // Waits for the reply to go out, then closes.
        m_socket->disconnectFromHost();
    }
}

} // namespace devsim
