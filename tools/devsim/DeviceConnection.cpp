#include "DeviceConnection.h"

#include "DeviceServer.h"

#include <QTcpSocket>
#include <QTimer>

namespace devsim {

namespace {

constexpr qsizetype kMaxBufferedBytes = 1024 * 1024;

} // namespace

QString PeerName(const QAbstractSocket& socket)
{
    return socket.peerAddress().isNull()
        ? QStringLiteral("(peer already gone)")
        : QStringLiteral("%1:%2").arg(socket.peerAddress().toString()).arg(socket.peerPort());
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
