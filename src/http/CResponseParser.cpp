#include "CResponseParser.h"

#include "CResponseHead.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::int64_t kLengthLimit = 1LL << 40;  // beyond any real body; keeps arithmetic safe
constexpr int kMaxLine = 4096;                    // a chunk size or trailer line

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

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "HTTP/1.1 200 OK": the version, a blank, three digits (100 or more), then
// a blank or the end of the line. The status, or -1 when the line is not of this form.
int StatusOfLine(const QByteArray& line)
{
    if (line.size() < 12 || !line.startsWith("HTTP/") || !IsDigit(line[5]) || line[6] != '.' || !IsDigit(line[7])
        || line[8] != ' ' || !IsDigit(line[9]) || !IsDigit(line[10]) || !IsDigit(line[11]))
        return -1;
    if (line.size() > 12 && line[12] != ' ')
        return -1;
    const int nStatus = (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
    return nStatus >= 100 ? nStatus : -1;  // no class below 1xx
}

// Content-Length over all its fields: the length, -1 when absent, -2 when
// a value is not a number, -3 when the values disagree.
std::int64_t ReadContentLength(const CResponseHead& head)
{
    std::int64_t nLength = -1;
    for (const QByteArray& value : head.Values("Content-Length")) {
        for (const QByteArray& rawItem : value.split(',')) {
            const QByteArray item = rawItem.trimmed();
            if (item.isEmpty())
                return -2;
            std::int64_t n = 0;
            for (const char c : item) {
                if (!IsDigit(c))
                    return -2;
                n = std::min(n * 10 + (c - '0'), kLengthLimit);
            }
            if (nLength >= 0 && n != nLength)
                return -3;
            nLength = n;
        }
    }
    return nLength;
}

} // namespace

CResponseParser::CResponseParser(int nKeepBody)
    : m_nKeepBody(std::max(nKeepBody, 0))
{
}

void CResponseParser::Fail(const QString& strProblem)
{
    m_state = EState::Invalid;
    m_strProblem = strProblem;
}

void CResponseParser::Finish(bool bFramedEnd)
{
    m_state = EState::Done;
    m_bFramedEnd = bFramedEnd;
}

std::int64_t CResponseParser::Feed(const char* pData, std::int64_t nLength)
{
    std::int64_t nTaken = 0;
    while (nTaken < nLength && (m_state == EState::Head || m_state == EState::Body)) {
        const std::int64_t n = m_state == EState::Head ? FeedHead(pData + nTaken, nLength - nTaken)
                                                      : FeedBody(pData + nTaken, nLength - nTaken);
        nTaken += n;
        m_nTotal += n;
    }
    return nTaken;
}

std::int64_t CResponseParser::FeedHead(const char* pData, std::int64_t nLength)
{
    const qsizetype nOld = m_head.size();
    const std::int64_t nRoom = kMaxHead - nOld;
    m_head.append(pData, static_cast<qsizetype>(std::min(nLength, nRoom)));

    // The first bytes tell at once whether this is HTTP at all.
    const qsizetype nPrefix = std::min<qsizetype>(m_head.size(), 5);
    if (std::memcmp(m_head.constData(), "HTTP/", static_cast<size_t>(nPrefix)) != 0) {
        Fail(QStringLiteral("not HTTP"));
        return nLength;
    }
    if (!m_bStatusLineChecked) {
        const qsizetype nEol = m_head.indexOf('\n');
        if (nEol >= 0) {
            QByteArray line = m_head.left(nEol);
            if (line.endsWith('\r'))
                line.chop(1);
            m_nStatus = StatusOfLine(line);
            m_bStatusLineChecked = true;
            if (m_nStatus < 0) {
                Fail(QStringLiteral("malformed status line"));
                return nLength;
            }
        }
    }
    const qsizetype nBlank = m_head.indexOf("\r\n\r\n", std::max<qsizetype>(nOld - 3, 0));
    if (nBlank < 0) {
        if (m_head.size() >= kMaxHead)
            Fail(QStringLiteral("header section over %1 bytes").arg(kMaxHead));
        return nLength;
    }
    // The bytes after the blank line go back to the caller's loop.
    const qsizetype nHead = nBlank + 4;
    const std::int64_t nTaken = nHead - nOld;
    m_head.truncate(nHead);
    if (m_nStatus >= 100 && m_nStatus <= 199) {
        // Interim: the final response follows.
        m_head.clear();
        m_nStatus = -1;
        m_bStatusLineChecked = false;
        return nTaken;
    }
    if (StartBody())
        m_state = EState::Body;
    return nTaken;
}

bool CResponseParser::StartBody()
{
    const CResponseHead head(m_head.constData(), static_cast<int>(m_head.size()));
    m_bTextEnded = m_head.contains('\0');
    if (m_nStatus == 204 || m_nStatus == 304) {
        Finish(true);
        return false;
    }
    const QList<QByteArray> codings = head.Values("Transfer-Encoding");
    if (!codings.isEmpty()) {
        // The final coding decides; empty list elements count for nothing.
        QByteArray last;
        for (const QByteArray& value : codings)
            for (const QByteArray& item : value.split(','))
                if (!item.trimmed().isEmpty())
                    last = item.trimmed();
        m_framing = last.compare("chunked", Qt::CaseInsensitive) == 0 ? EFraming::Chunked : EFraming::UntilClose;
        return true;
    }
    const std::int64_t nLength = ReadContentLength(head);
    if (nLength == -2) {
        Fail(QStringLiteral("bad Content-Length"));
        return false;
    }
    if (nLength == -3) {
        Fail(QStringLiteral("conflicting Content-Length"));
        return false;
    }
    if (nLength >= 0) {
        m_framing = EFraming::Length;
        m_nContentLength = nLength;
        if (nLength == 0) {
            Finish(true);
            return false;
        }
        return true;
    }
    m_framing = EFraming::UntilClose;
    return true;
}

void CResponseParser::KeepBody(const char* pData, std::int64_t nLength)
{
    const std::int64_t nRoom = m_nKeepBody - m_body.size();
    if (nRoom > 0)
        m_body.append(pData, static_cast<qsizetype>(std::min(nRoom, nLength)));
    m_nBody += nLength;
}

std::int64_t CResponseParser::FeedBody(const char* pData, std::int64_t nLength)
{
    switch (m_framing) {
    case EFraming::Length: {
        const std::int64_t n = std::min(nLength, m_nContentLength - m_nBody);
        KeepBody(pData, n);
        if (m_nBody == m_nContentLength)
            Finish(true);
        return n;
    }
    case EFraming::Chunked:
        return FeedChunked(pData, nLength);
    case EFraming::UntilClose:
    case EFraming::None:
        break;
    }
    // Without framing: all of it, unless the end mark comes first.
    for (std::int64_t i = 0; i < nLength && !m_bTextEnded; ++i) {
        const char c = pData[i];
        const std::int64_t nOffset = m_nBody + i;  // offset in the body
        if (c == '\0') {
            m_bTextEnded = true;
            break;
        }
        if (m_nMarkMatched == 2 && c == '\n') {
            // LF CR LF ends the response when its first LF is not the body's first byte.
            if (nOffset - 2 >= 1) {
                KeepBody(pData, i + 1);
                Finish(false);
                return i + 1;
            }
            m_nMarkMatched = 1;
        } else if (c == '\n') {
            m_nMarkMatched = 1;
        } else if (c == '\r' && m_nMarkMatched == 1) {
            m_nMarkMatched = 2;
        } else {
            m_nMarkMatched = 0;
        }
    }
    KeepBody(pData, nLength);
    return nLength;
}

std::int64_t CResponseParser::FeedChunked(const char* pData, std::int64_t nLength)
{
    std::int64_t i = 0;
    while (i < nLength && m_state == EState::Body) {
        switch (m_chunk) {
        case EChunk::Data: {
            const std::int64_t n = std::min(nLength - i, m_nChunkLeft);
            KeepBody(pData + i, n);
            m_nChunkLeft -= n;
            i += n;
            if (m_nChunkLeft == 0) {
                m_chunk = EChunk::DataEnd;
                m_line.clear();
            }
            break;
        }
        case EChunk::DataEnd: {
            const char c = pData[i++];
            if (c == '\r' && m_line.isEmpty()) {
                m_line = "\r";
            } else if (c == '\n') {
                m_chunk = EChunk::Size;
                m_line.clear();
            } else {
                Fail(QStringLiteral("bad chunk: no line end after its data"));
            }
            break;
        }
        case EChunk::Size:
        case EChunk::Trailer: {
            const void* pLf = std::memchr(pData + i, '\n', static_cast<size_t>(nLength - i));
            const std::int64_t nEnd = pLf ? static_cast<const char*>(pLf) - pData + 1 : nLength;
            m_line.append(pData + i, static_cast<qsizetype>(nEnd - i));
            i = nEnd;
            if (m_line.size() > kMaxLine) {
                Fail(QStringLiteral("bad chunk: line over %1 bytes").arg(kMaxLine));
                break;
            }
            if (!pLf)
                break;
            QByteArray line = m_line;
            m_line.clear();
            line.chop(1);
            if (line.endsWith('\r'))
                line.chop(1);
            if (m_chunk == EChunk::Trailer) {
                if (line.isEmpty())
                    Finish(true);
                break;
            }
            // chunk-size [ chunk-ext ]
            qsizetype nPos = 0;
            std::int64_t nSize = 0;
            while (nPos < line.size() && HexValue(line[nPos]) >= 0 && nSize <= kLengthLimit)
                nSize = nSize * 16 + HexValue(line[nPos++]);
            const char cNext = nPos < line.size() ? line[nPos] : ';';
            if (nPos == 0 || nSize > kLengthLimit || (cNext != ';' && cNext != ' ' && cNext != '\t')) {
                Fail(QStringLiteral("bad chunk size"));
                break;
            }
            m_nChunkLeft = nSize;
            m_chunk = nSize == 0 ? EChunk::Trailer : EChunk::Data;
            break;
        }
        }
    }
    return m_state == EState::Invalid ? nLength : i;
}

void CResponseParser::PeerClosed()
{
    if (m_state == EState::Body && m_framing == EFraming::UntilClose)
        Finish(false);
}

QString CResponseParser::Progress() const
{
    if (m_state == EState::Head) {
        if (m_nTotal == 0)
            return QStringLiteral("(nothing received)");
        return m_nStatus >= 0 ? QStringLiteral("(header section unfinished after %1 bytes)").arg(m_head.size())
                              : QStringLiteral("(status line unfinished after %1 bytes)").arg(m_head.size());
    }
    switch (m_framing) {
    case EFraming::Length:
        return QStringLiteral("(%1 of %2 body bytes)").arg(m_nBody).arg(m_nContentLength);
    case EFraming::Chunked:
        return QStringLiteral("(%1 body bytes, chunked body unfinished)").arg(m_nBody);
    case EFraming::UntilClose:
    case EFraming::None:
        break;
    }
    return QStringLiteral("(%1 body bytes)").arg(m_nBody);
}
