#include "HttpRequest.h"

namespace devsim {

namespace {

bool IsTokenChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '!': case '#': case '$': case '%': case '&': case '\'': case '*': case '+':
    case '-': case '.': case '^': case '_': case '`': case '|': case '~':
        return true;
    default:
        return false;
    }
}

bool IsToken(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        if (!IsTokenChar(c))
            return false;
    }
    return true;
}

// Control characters other than tab have no place in a header line.
bool HasControlChar(QByteArrayView text)
{
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7f)
            return true;
    }
    return false;
}

QByteArray TrimBlanks(QByteArrayView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t'))
        ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    return text.sliced(begin, end - begin).toByteArray();
}

ParseResult Bad(const char* reason)
{
    ParseResult result;
    result.status = ParseStatus::Bad;
    result.error = reason;
    return result;
}

} // namespace

QByteArray HttpRequest::header(QByteArrayView name) const
{
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

bool HttpRequest::hasHeader(QByteArrayView name) const
{
    for (const auto& entry : headers) {
        if (entry.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QByteArray HttpRequest::path() const
{
    const qsizetype mark = target.indexOf('?');
    return mark < 0 ? target : target.left(mark);
}

QByteArray HttpRequest::query() const
{
    const qsizetype mark = target.indexOf('?');
    return mark < 0 ? QByteArray() : target.mid(mark + 1);
}

bool HttpRequest::wantsClose() const
{
    bool close = false;
    bool keep = false;
    for (const auto& [key, value] : headers) {
        if (key.compare("Connection", Qt::CaseInsensitive) != 0)
            continue;
        for (const QByteArray& option : value.split(',')) {
            const QByteArray word = option.trimmed().toLower();
            if (word == "close")
                close = true;
            else if (word == "keep-alive")
                keep = true;
        }
    }
    if (close)
        return true;
    return version == "HTTP/1.0" && !keep;
}

ParseResult ParseRequest(const QByteArray& buffer, const ParseLimits& limits)
{
    qsizetype pos = 0;
    // Stray line ends between requests are tolerated.
    while (pos < buffer.size() && (buffer[pos] == '\r' || buffer[pos] == '\n'))
        ++pos;
    const qsizetype start = pos;

    QList<QByteArray> lines;
    bool ended = false;
    while (pos < buffer.size()) {
        const qsizetype lf = buffer.indexOf('\n', pos);
        if (lf < 0)
            break;
        qsizetype lineEnd = lf;
        if (lineEnd > pos && buffer[lineEnd - 1] == '\r')
            --lineEnd;
        QByteArray line = buffer.mid(pos, lineEnd - pos);
        pos = lf + 1;
        if (pos - start > limits.maxHeaderBytes)
            return Bad("header block too large");
        if (line.isEmpty()) {
            ended = true;
            break;
        }
        lines.append(std::move(line));
        if (lines.size() > limits.maxHeaderCount + 1)
            return Bad("too many header lines");
    }
    if (!ended) {
        if (buffer.size() - start > limits.maxHeaderBytes)
            return Bad("header block too large");
        return {};
    }
    if (lines.isEmpty())
        return Bad("no request line");

    ParseResult result;
    HttpRequest& request = result.request;

    const QByteArray& requestLine = lines.front();
    if (HasControlChar(requestLine))
        return Bad("control character in request line");
    const QList<QByteArray> parts = requestLine.split(' ');
    if (parts.size() != 3)
        return Bad("malformed request line");
    request.method = parts[0];
    request.target = parts[1];
    request.version = parts[2];
    if (!IsToken(request.method))
        return Bad("malformed method");
    if (!request.target.startsWith('/'))
        return Bad("request target is not a path");
    for (char c : request.target) {
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) == 0x7f)
            return Bad("malformed request target");
    }
    if (request.version != "HTTP/1.1" && request.version != "HTTP/1.0")
        return Bad("unsupported protocol version");

    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        if (line.front() == ' ' || line.front() == '\t')
            return Bad("folded header line");
        if (HasControlChar(line))
            return Bad("control character in header");
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return Bad("header line without a name");
        const QByteArray name = line.left(colon);
        if (!IsToken(name))
            return Bad("malformed header name");
        request.headers.append({name, TrimBlanks(QByteArrayView(line).sliced(colon + 1))});
    }

    if (request.version == "HTTP/1.1" && !request.hasHeader("Host"))
        return Bad("HTTP/1.1 request without Host");
    // The device takes no request bodies.
    if (request.hasHeader("Transfer-Encoding"))
        return Bad("request body not accepted");
    if (request.hasHeader("Content-Length")) {
        bool ok = false;
        const qlonglong length = request.header("Content-Length").toLongLong(&ok);
        if (!ok || length != 0)
            return Bad("request body not accepted");
    }

    result.status = ParseStatus::Complete;
    result.consumed = pos;
    return result;
}

QList<QPair<QByteArray, QByteArray>> SplitQuery(const QByteArray& query)
{
    QList<QPair<QByteArray, QByteArray>> pairs;
    for (const QByteArray& piece : query.split('&')) {
        if (piece.isEmpty())
            continue;
        const qsizetype eq = piece.indexOf('=');
        const QByteArray name = eq < 0 ? piece : piece.left(eq);
        const QByteArray value = eq < 0 ? QByteArray() : piece.mid(eq + 1);
        pairs.append({QByteArray::fromPercentEncoding(name), QByteArray::fromPercentEncoding(value)});
    }
    return pairs;
}

} // namespace devsim
