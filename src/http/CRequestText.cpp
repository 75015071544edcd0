#include "CRequestText.h"

#include "CDigestAuth.h"

QByteArray CRequestText::Plain(const QByteArray& requestTarget, const QByteArray& host)
{
    return "GET " + requestTarget + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: keep-alive\r\n\r\n";
}

QByteArray CRequestText::Basic(const QByteArray& requestTarget, const QByteArray& host,
                               const QByteArray& credentials)
{
    return "GET " + requestTarget + " HTTP/1.1\r\nHost: " + host + "\r\nAuthorization: Basic " + credentials
        + "\r\nConnection: keep-alive\r\n\r\n";
}

QByteArray CRequestText::Digest(const QByteArray& requestTarget, const QByteArray& host, const CDigestAuth& digest)
{
    // No blank after the colon and no Connection field: devices expect it so.
    return "GET " + requestTarget + " HTTP/1.1\r\nHost: " + host + "\r\nAuthorization:" + digest.AuthorizationValue()
        + "\r\n\r\n";
}
