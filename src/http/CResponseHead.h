#pragma once

#include <QByteArray>
#include <QList>

// The status line and header fields of a response, read from the bytes that
// came so far. Field lines folded onto continuation lines are joined.
class CResponseHead
{
public:
    struct Field
    {
        QByteArray name;
        QByteArray value;  // without leading and trailing blanks
    };

    // Reads the head of the nLength bytes at pData. When no blank line
    // (CR LF CR LF) has come yet, IsComplete() is false and the fields are
    // those of the complete lines so far.
    CResponseHead(const char* pData, int nLength);

    bool IsComplete() const { return m_nBodyOffset >= 0; }
    // Offset of the first body byte: just after the first CR LF CR LF.
    int BodyOffset() const { return m_nBodyOffset; }
    // True for a status line starting with "HTTP/1.0".
    bool IsHttp10() const { return m_bHttp10; }
    // The three-digit status of a well-formed status line ("HTTP/1.1 200 OK"),
    // or -1. Framing decisions use it; the status reported to callers is read
    // the lenient way (CHTTPLayer::ParseStatusCode).
    int StatusCode() const { return m_nStatus; }
    const QList<Field>& Fields() const { return m_fields; }

    // Values of every field with this name (case-insensitive), in order.
    QList<QByteArray> Values(const QByteArray& name) const;
    // True when a field with this name holds the comma-separated token
    // (both compared without regard to case).
    bool HasToken(const QByteArray& name, const QByteArray& token) const;

private:
    int m_nBodyOffset = -1;
    bool m_bHttp10 = false;
    int m_nStatus = -1;
    QList<Field> m_fields;
};
