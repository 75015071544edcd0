#pragma once

#include "DeviceHandler.h"
#include "HttpRequest.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class QAbstractSocket;
class QTcpSocket;

namespace devsim {

class DeviceServer;

// The peer of a socket as the log names it ("address:port").
QString PeerName(const QAbstractSocket& socket);

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
