#pragma once

// Loopback sockets for the test peers, benchmarks and fuzz targets.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

inline sockaddr_in LoopbackAddress(int nPort)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(nPort));
    return address;
}

// A new TCP socket bound to a free loopback port, which goes to nPort. It
// listens with the given backlog, or not at all when the backlog is negative.
// Returns the descriptor, or -1 when the port could not be had.
inline int BindLoopback(int& nPort, int nBacklog)
{
    const int nFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (nFd < 0)
        return -1;
    const int nOn = 1;
    setsockopt(nFd, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn);
    sockaddr_in address = LoopbackAddress(0);
    if (bind(nFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        (nBacklog >= 0 && listen(nFd, nBacklog) != 0)) {
        close(nFd);
        return -1;
    }
    socklen_t nSize = sizeof address;
    getsockname(nFd, reinterpret_cast<sockaddr*>(&address), &nSize);
    nPort = ntohs(address.sin_port);
    return nFd;
}
