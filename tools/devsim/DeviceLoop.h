#pragma once

#include "ServerOptions.h"

#include <QString>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

class QEventLoop;

namespace devsim {

// One thread with its own event loop and the devices that live on it. A
// device stays on its loop from its start to its end: its connections, its
// position and presets, its nonces and its reboot are touched by that thread
// only, so devices on other loops answer at the same time without sharing
// anything. The thread is a std::thread and every hand-over with the
// starting thread goes through a std::mutex, so that a race checker sees
// each one.
class DeviceLoop {
public:
    // devices: each one's options; they all listen on the port of the first
    // (with port 0, the one the first gets). labelFirst: the first device's
    // error names its address too (it is not the first of the process).
    DeviceLoop(std::vector<ServerOptions> devices, bool labelFirst);
    // Stops the loop; its devices end on it, closing their connections.
    ~DeviceLoop();
    DeviceLoop(const DeviceLoop&) = delete;
    DeviceLoop& operator=(const DeviceLoop&) = delete;

    // Starts the thread and waits until all its devices listen, or one of
    // them could not: then false, with the reason in error, and none listens.
    bool Launch(QString& error);
    quint16 port() const;

private:
    void Run();

    const std::vector<ServerOptions> m_devices;
    const bool m_labelFirst;
    mutable std::mutex m_mutex;
    std::condition_variable m_ready;
    bool m_started = false; // guarded by m_mutex, as are the four below
    bool m_listening = false;
    QString m_error;
    quint16 m_port = 0;
    QEventLoop* m_loop = nullptr; // while the devices listen
    std::thread m_thread;
};

} // namespace devsim
