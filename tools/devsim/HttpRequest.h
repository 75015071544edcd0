#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>

namespace devsim {

// One request as it came off the wire. Only GET without a body is served, so
// the request ends with its header block.
struct HttpRequest {
    QByteArray method;
    QByteArray target;  // request target as sent, path and query
    QByteArray version; // "HTTP/1.0" or "HTTP/1.1"
    QList<QPair<QByteArray, QByteArray>> headers; // value with surrounding blanks removed

    // First header of that name (case-insensitive); empty when absent.
    QByteArray header(QByteArrayView name) const;
    bool hasHeader(QByteArrayView name) const;
    void addHeader(QByteArray name, QByteArray value) { headers.append({std::move(name), std::move(value)}); }

    QByteArray path() const;  // target up to '?'
    QByteArray query() const; // after the first '?', empty when none

    // HTTP/1.1 keeps the connection unless told to close; HTTP/1.0 closes
    // unless told to keep it.
    bool wantsClose() const;
};

enum class ParseStatus {
    Incomplete, // the header block has not ended yet
    Complete,   // request holds one request; consumed says how many bytes it took
    Bad         // not HTTP, or over a limit; the connection gets 400 and is closed
};

struct ParseResult {
    ParseStatus status = ParseStatus::Incomplete;
    HttpRequest request;
    qsizetype consumed = 0;
    QByteArray error; // short reason for Bad
};

struct ParseLimits {
    qsizetype maxHeaderBytes = 64 * 1024; // the whole header block, request line included
    int maxHeaderCount = 100;
};

// Reads the first request at the start of buffer. Lines may end with CR LF
// or a bare LF; empty lines before the request line are skipped.
ParseResult ParseRequest(const QByteArray& buffer, const ParseLimits& limits = {});

// Name=value pairs of a query text, split at '&' and the first '=', each part
// percent-decoded. Order is kept; empty pieces are dropped.
QList<QPair<QByteArray, QByteArray>> SplitQuery(const QByteArray& query);

} // namespace devsim
