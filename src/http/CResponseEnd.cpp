#include "CResponseEnd.h"

#include "CResponseHead.h"

#include <QByteArray>

#include <cstring>

namespace {

constexpr long long kLengthLimit = 1LL << 40;  // beyond any buffer; keeps arithmetic safe

// Content-Length as a number; -1 when absent, -2 when invalid or conflicting.
long long ContentLength(const CResponseHead& head)
{
    long long nLength = -1;
    for (const QByteArray& value : head.Values("Content-Length")) {
        for (const QByteArray& rawItem : value.split(',')) {
            const QByteArray item = rawItem.trimmed();
            if (item.isEmpty())
                return -2;
            long long n = 0;
            for (const char c : item) {
                if (c < '0' || c > '9')
                    return -2;
                n = n * 10 + (c - '0');
                if (n > kLengthLimit)
                    n = kLengthLimit;
            }
            if (nLength >= 0 && n != nLength)
                return -2;
            nLength = n;
        }
    }
    return nLength;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Offset just past the LF that ends the line starting at nPos, or -1.
int LineEnd(const char* p, int n, int nPos)
{
    const void* pLf = std::memchr(p + nPos, '\n', static_cast<size_t>(n - nPos));
    return pLf ? static_cast<int>(static_cast<const char*>(pLf) - p) + 1 : -1;
}

} // namespace

bool CResponseEnd::HasEndMark(const char* pData, int nLength)
{
    const void* pNul = std::memchr(pData, '\0', static_cast<size_t>(nLength < 0 ? 0 : nLength));
    const int nText = pNul ? static_cast<int>(static_cast<const char*>(pNul) - pData) : nLength;
    const QByteArray text = QByteArray::fromRawData(pData, nText < 0 ? 0 : nText);
    const qsizetype nBlank = text.indexOf("\r\n\r\n");
    if (nBlank < 1)
        return false;
    const qsizetype nRest = nBlank + 4;
    const qsizetype nMark = text.indexOf("\n\r\n", nRest);
    return nMark >= nRest + 1;
}

int CResponseEnd::ChunkedBodyLength(const char* p, int n)
{
    int nPos = 0;
    for (;;) {
        // chunk-size [ chunk-ext ] CRLF
        int nDigits = 0;
        long long nSize = 0;
        while (nPos < n && HexValue(p[nPos]) >= 0) {
            nSize = nSize * 16 + HexValue(p[nPos]);
            if (nSize > kLengthLimit)
                return -1;  // no buffer holds such a chunk
            ++nPos;
            ++nDigits;
        }
        if (nPos >= n || nDigits == 0)
            return -1;  // incomplete, or not a chunk: read on
        const int nAfterSize = LineEnd(p, n, nPos);
        if (nAfterSize < 0)
            return -1;
        nPos = nAfterSize;
        if (nSize == 0)
            break;
        // chunk-data CRLF
        if (nSize + 2 > static_cast<long long>(n - nPos))
            return -1;
        nPos += static_cast<int>(nSize);
        if (p[nPos] == '\r')
            ++nPos;
        if (p[nPos] != '\n')
            return -1;
        ++nPos;
    }
    // trailer-section: field lines, then an empty line
    for (;;) {
        const int nNext = LineEnd(p, n, nPos);
        if (nNext < 0)
            return -1;
        const int nLineLength = nNext - nPos;
        if (nLineLength == 1 || (nLineLength == 2 && p[nPos] == '\r'))
            return nNext;
        nPos = nNext;
    }
}

int CResponseEnd::InterimLength(const char* pData, int nLength)
{
    if (nLength <= 0)
        return 0;
    const CResponseHead head(pData, nLength);
    const int nStatus = head.StatusCode();
    return head.IsComplete() && nStatus >= 100 && nStatus <= 199 ? head.BodyOffset() : 0;
}

CResponseEnd::Decision CResponseEnd::Decide(const char* pData, int nLength)
{
    Decision decision;
    if (nLength <= 0)
        return decision;
    const CResponseHead head(pData, nLength);
    if (!head.IsComplete())
        return decision;

    const int nStatus = head.StatusCode();
    const int nBodyOffset = head.BodyOffset();
    const char* pBody = pData + nBodyOffset;
    const int nBody = nLength - nBodyOffset;
    if ((nStatus >= 100 && nStatus <= 199) || nStatus == 204 || nStatus == 304) {
        decision = {nBodyOffset, true};
        return decision;
    }
    const QList<QByteArray> codings = head.Values("Transfer-Encoding");
    if (!codings.isEmpty()) {
        // The final coding decides; empty list elements count for nothing.
        QByteArray last;
        for (const QByteArray& value : codings)
            for (const QByteArray& item : value.split(','))
                if (!item.trimmed().isEmpty())
                    last = item.trimmed();
        if (last.compare("chunked", Qt::CaseInsensitive) == 0) {
            const int nChunked = ChunkedBodyLength(pBody, nBody);
            if (nChunked >= 0)
                decision = {nBodyOffset + nChunked, true};
            return decision;
        }
        // Another coding: the body runs until the peer closes.
    } else {
        const long long nContentLength = ContentLength(head);
        if (nContentLength >= 0) {
            if (nBody >= nContentLength)
                decision = {nBodyOffset + static_cast<int>(nContentLength), true};
            return decision;
        }
    }
    if (HasEndMark(pData, nLength))
        decision.nLength = nLength;
    return decision;
}
