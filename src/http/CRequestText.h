#pragma once

#include <QByteArray>

class CDigestAuth;

// The three GET requests of the client, byte for byte. The request target goes
// on the wire as given; the host is the host alone, never with a port.
class CRequestText
{
public:
    static QByteArray Plain(const QByteArray& requestTarget, const QByteArray& host);
    static QByteArray Basic(const QByteArray& requestTarget, const QByteArray& host, const QByteArray& credentials);
    static QByteArray Digest(const QByteArray& requestTarget, const QByteArray& host, const CDigestAuth& digest);
};
