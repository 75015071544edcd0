#include "DeviceServer.h"

#include "DeviceConnection.h"

#include <QSslConfiguration>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpSocket>

#include <cstdio>

namespace devsim {

namespace {

constexpr int kRelistenRetryMs = 100;
// Connections still in their TLS handshake count as pending for the server;
// allow many, so a crowd of silent clients cannot stop it accepting. Each
// is dropped after QSslServer's handshake time-out (5 s).
constexpr int kMaxPendingTls = 1024;
// The peer of a socket still in its TLS handshake, for the log.
constexpr char kPeerProperty[] = "devsimPeer";

} // namespace

DeviceServer::DeviceServer(ServerOptions options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_auth(m_options.auth, m_options.user, m_options.password, QByteArrayLiteral("Velkor Device"),
          m_options.digestAlgorithms)
    , m_handler(m_auth, m_ptz)
{
    m_ptz.SetPanError(m_options.panError);
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
    std::fprintf(stderr, "devsim: %s%s\n", m_options.logLabel.toLocal8Bit().constData(),
        text.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace devsim
