#pragma once

#include "Authenticator.h"
#include "HttpRequest.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QSslCertificate>
#include <QSslKey>

namespace devsim {

// What a simulated device is: where it listens, how it checks its users, and
// how it behaves on the wire.
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
    int panError = 0; // steps a position answer is off in pan
    bool verbose = false;
    // Put before every --verbose line of this device ("127.0.1.2: "), when
    // one process is several devices.
    QString logLabel;
    ParseLimits limits;
};

} // namespace devsim
