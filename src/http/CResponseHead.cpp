#include "CResponseHead.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray TrimBlanks(const QByteArray& text)
{
    qsizetype nBegin = 0, nEnd = text.size();
    while (nBegin < nEnd && IsBlank(text[nBegin]))
        ++nBegin;
    while (nEnd > nBegin && (IsBlank(text[nEnd - 1]) || text[nEnd - 1] == '\r'))
        --nEnd;
    return text.mid(nBegin, nEnd - nBegin);
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// HTTP-version SP 3DIGIT, followed by a blank or the end of the line.
int StrictStatus(const QByteArray& data)
{
    if (!data.startsWith("HTTP/"))
        return -1;
    qsizetype i = 5;
    if (i >= data.size() || !IsDigit(data[i]))
        return -1;
    while (i < data.size() && (IsDigit(data[i]) || data[i] == '.'))
        ++i;
    if (i + 4 > data.size() || data[i] != ' ')
        return -1;
    ++i;
    if (!IsDigit(data[i]) || !IsDigit(data[i + 1]) || !IsDigit(data[i + 2]))
        return -1;
    const int nStatus = (data[i] - '0') * 100 + (data[i + 1] - '0') * 10 + (data[i + 2] - '0');
    i += 3;
    if (i < data.size() && data[i] != ' ' && data[i] != '\r' && data[i] != '\n')
        return -1;
    return nStatus;
}

} // namespace

CResponseHead::CResponseHead(const char* pData, int nLength)
{
    const QByteArray data = QByteArray::fromRawData(pData, nLength < 0 ? 0 : nLength);
    const qsizetype nBlank = data.indexOf("\r\n\r\n");
    m_nBodyOffset = nBlank < 0 ? -1 : static_cast<int>(nBlank + 4);
    m_bHttp10 = data.startsWith("HTTP/1.0");
    m_nStatus = StrictStatus(data);

    // Only complete lines count; the head ends at the blank line.
    const qsizetype nHeadEnd = nBlank < 0 ? data.lastIndexOf('\n') + 1 : nBlank + 2;
    qsizetype nPos = data.indexOf('\n');  // skip the status line
    if (nPos < 0 || nPos >= nHeadEnd)
        return;
    ++nPos;
    while (nPos < nHeadEnd) {
        qsizetype nEol = data.indexOf('\n', nPos);
        if (nEol < 0 || nEol >= nHeadEnd)
            nEol = nHeadEnd;
        const QByteArray line = data.mid(nPos, nEol - nPos);
        nPos = nEol + 1;
        if (!line.isEmpty() && IsBlank(line[0])) {
            if (!m_fields.isEmpty())
                m_fields.last().value = TrimBlanks(m_fields.last().value + ' ' + TrimBlanks(line));
            continue;
        }
        const qsizetype nColon = line.indexOf(':');
        if (nColon <= 0)
            continue;  // not a field line: ignored
        Field field;
        field.name = line.left(nColon);
        if (IsBlank(field.name.back()))
            continue;  // no blank is allowed before the colon
        field.value = TrimBlanks(line.mid(nColon + 1));
        m_fields.append(field);
    }
}

QList<QByteArray> CResponseHead::Values(const QByteArray& name) const
{
    QList<QByteArray> values;
    for (const Field& field : m_fields)
        if (field.name.compare(name, Qt::CaseInsensitive) == 0)
            values.append(field.value);
    return values;
}

bool CResponseHead::HasToken(const QByteArray& name, const QByteArray& token) const
{
    for (const QByteArray& value : Values(name))
        for (const QByteArray& item : value.split(','))
            if (TrimBlanks(item).compare(token, Qt::CaseInsensitive) == 0)
                return true;
    return false;
}
