#include "CResponseEnd.h"

#include "CHTTPLayer.h"
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

bool CResponseEnd::IsChunkedBodyComplete(const char* p, int n)
{
    int nPos = 0;
    for (;;) {
        // chunk-size [ chunk-ext ] CRLF
        int nDigits = 0;
        long long nSize = 0;
        while (nPos < n && HexValue(p[nPos]) >= 0) {
            nSize = nSize * 16 + HexValue(p[nPos]);
            if (nSize > kLengthLimit)
                return false;  // no buffer holds such a chunk
            ++nPos;
            ++nDigits;
        }
        if (nPos >= n || nDigits == 0)
            return false;  // incomplete, or not a chunk: read on
        const int nAfterSize = LineEnd(p, n, nPos);
        if (nAfterSize < 0)
            return false;
        nPos = nAfterSize;
        if (nSize == 0)
            break;
        // chunk-data CRLF
        if (nSize + 2 > static_cast<long long>(n - nPos))
            return false;
        nPos += static_cast<int>(nSize);
        if (p[nPos] == '\r')
            ++nPos;
        if (p[nPos] != '\n')
            return false;
        ++nPos;
    }
    // trailer-section: field lines, then an empty line
    for (;;) {
        const int nNext = LineEnd(p, n, nPos);
        if (nNext < 0)
            return false;
        const int nLineLength = nNext - nPos;
        if (nLineLength == 1 || (nLineLength == 2 && p[nPos] == '\r'))
            return true;
        nPos = nNext;
    }
}

bool CResponseEnd::IsComplete(const char* pData, int nLength)
{
    if (nLength <= 0)
        return false;
    if (HasEndMark(pData, nLength))
        return true;
    const CResponseHead head(pData, nLength);
    if (!head.IsComplete())
        return false;

    int nStatus = 0;
    if (nLength > 18 && CHTTPLayer::ParseStatusCode(pData, nLength, nStatus) == 0
        && (nStatus == 204 || nStatus == 304))
        return true;

    const char* pBody = pData + head.BodyOffset();
    const int nBody = nLength - head.BodyOffset();
    const QList<QByteArray> codings = head.Values("Transfer-Encoding");
    if (!codings.isEmpty()) {
        const QByteArray last = codings.last().split(',').last().trimmed();
        if (last.compare("chunked", Qt::CaseInsensitive) != 0)
            return false;  // the body runs until the peer closes
        return IsChunkedBodyComplete(pBody, nBody);
    }
    const long long nContentLength = ContentLength(head);
    return nContentLength >= 0 && nBody >= nContentLength;
}
