#include "DeviceLoop.h"

#include "DeviceServer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>

#include <memory>

namespace devsim {

DeviceLoop::DeviceLoop(std::vector<ServerOptions> devices, bool labelFirst)
    : m_devices(std::move(devices))
    , m_labelFirst(labelFirst)
{
}

DeviceLoop::~DeviceLoop()
{
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        // Posted, the quit is taken even before the loop runs.
        if (m_loop)
            QMetaObject::invokeMethod(m_loop, &QEventLoop::quit, Qt::QueuedConnection);
    }
    m_thread.join();
}

bool DeviceLoop::Launch(QString& error)
{
    m_thread = std::thread([this] { Run(); });
    std::unique_lock lock(m_mutex);
    m_ready.wait(lock, [this] { return m_started; });
    if (!m_listening)
        error = m_error;
    return m_listening;
}

quint16 DeviceLoop::port() const
{
    const std::lock_guard lock(m_mutex);
    return m_port;
}

void DeviceLoop::Run()
{
    QEventLoop loop;
    std::vector<std::unique_ptr<DeviceServer>> servers;
    QString error;
    quint16 port = m_devices.empty() ? 0 : m_devices.front().port;
    for (const ServerOptions& device : m_devices) {
        ServerOptions options = device;
        options.port = port;
        auto server = std::make_unique<DeviceServer>(options);
        if (!server->Start(error)) {
            if (!servers.empty() || m_labelFirst)
                error = QStringLiteral("%1: %2").arg(options.address.toString(), error);
            servers.clear();
            break;
        }
        port = server->port();
        servers.push_back(std::move(server));
    }
    const bool listening = !servers.empty();
    {
        const std::lock_guard lock(m_mutex);
        m_started = true;
        m_listening = listening;
        m_error = error;
        m_port = port;
        if (listening)
            m_loop = &loop;
    }
    m_ready.notify_all();
    if (listening)
        loop.exec();
    // The devices end on their own thread, with their connections, and so
    // do the sockets they left to be deleted later.
    servers.clear();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace devsim
