#pragma once

#include "Authenticator.h"
#include "DeviceHandler.h"
#include "HttpRequest.h"
#include "PtzState.h"
#include "ServerOptions.h"
// Whoever starts a device with TLS reads its identity with LoadTlsIdentity.
#include "TlsIdentity.h"

#include <QObject>
#include <QTcpServer>
#include <QTimer>

#include <memory>

class QSslServer;

namespace devsim {

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

} // namespace devsim
