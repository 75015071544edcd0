#pragma once
// A short, independent reference for where an HTTP/1.1 response ends, written
// straight from the message-length rules of RFC 9112 section 6.3, to compare
// with the client's reader. It knows only well-formed messages: anything the
// grammar does not allow makes it answer Malformed, and then no comparison is
// made (the reader must merely survive such input).
//
// Rules, for a response to GET:
//  1. 1xx, 204 and 304 end with the header section; a 1xx is interim, and
//     the final response follows it.
//  3. Transfer-Encoding with chunked as the final coding: the chunked body
//     decides. Transfer-Encoding without it: the body runs until close.
//  4. An invalid Content-Length (without Transfer-Encoding): an invalid
//     response (the client refuses it; here: Malformed, nothing compared).
//  6. A valid Content-Length: that many body bytes.
//  7. Otherwise the body runs until close.

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace reference {

enum class Outcome { NeedMore, Complete, UntilClose, Malformed };

struct Result
{
    Outcome outcome = Outcome::NeedMore;
    std::size_t nFinalStart = 0;  // where the final (non-1xx) response starts
    std::size_t nLength = 0;      // its length, for Complete
};

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsHex(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
inline bool IsTchar(char c)
{
    return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')
        || std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}
inline bool IsFieldChar(char c)  // VCHAR, obs-text, SP, HTAB
{
    const unsigned char u = static_cast<unsigned char>(c);
    return u == ' ' || u == '\t' || (u >= 0x21 && u != 0x7F);
}
inline char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
inline bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}
inline std::string_view TrimOws(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}
inline std::vector<std::string_view> SplitList(std::string_view s)
{
    std::vector<std::string_view> items;
    std::size_t nStart = 0;
    for (;;) {
        const std::size_t nComma = s.find(',', nStart);
        items.push_back(TrimOws(s.substr(nStart, nComma == std::string_view::npos ? std::string_view::npos : nComma - nStart)));
        if (nComma == std::string_view::npos)
            return items;
        nStart = nComma + 1;
    }
}

// field-name ":" OWS field-value OWS (no obs-fold): the name and the value,
// or false when the line is no field line.
inline bool ReadFieldLine(std::string_view line, std::string_view& name, std::string_view& value)
{
    const std::size_t nColon = line.find(':');
    if (nColon == std::string_view::npos || nColon == 0)
        return false;
    for (const char c : line.substr(0, nColon))
        if (!IsTchar(c))
            return false;
    for (const char c : line.substr(nColon + 1))
        if (!IsFieldChar(c))
            return false;
    name = line.substr(0, nColon);
    value = TrimOws(line.substr(nColon + 1));
    return true;
}

struct Head
{
    int nStatus = 0;
    std::size_t nBodyStart = 0;
    std::vector<std::pair<std::string_view, std::string_view>> fields;
};

// NeedMore while the header section is incomplete, Malformed when a line
// breaks the grammar, Complete when the head was read.
inline Outcome ReadHead(std::string_view data, Head& head)
{
    std::size_t nPos = 0;
    bool bStatusLine = true;
    for (;;) {
        const std::size_t nEol = data.find("\r\n", nPos);
        const std::string_view line = data.substr(nPos, nEol == std::string_view::npos ? std::string_view::npos : nEol - nPos);
        for (const char c : line)
            if (c == '\r' || c == '\n' || c == '\0')
                return Outcome::Malformed;
        if (bStatusLine) {
            // HTTP-version SP status-code SP [ reason-phrase ]
            if (line.size() >= 13) {
                if (line.substr(0, 5) != "HTTP/" || !IsDigit(line[5]) || line[6] != '.' || !IsDigit(line[7])
                    || line[8] != ' ' || !IsDigit(line[9]) || !IsDigit(line[10]) || !IsDigit(line[11]) || line[12] != ' ')
                    return Outcome::Malformed;
                for (const char c : line.substr(13))
                    if (!IsFieldChar(c))
                        return Outcome::Malformed;
                head.nStatus = (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
                if (head.nStatus < 100)
                    return Outcome::Malformed;  // no status class below 1xx
            } else if (nEol != std::string_view::npos) {
                return Outcome::Malformed;
            }
        } else if (!line.empty() && nEol != std::string_view::npos) {
            std::string_view name, value;
            if (!ReadFieldLine(line, name, value))
                return Outcome::Malformed;
            head.fields.emplace_back(name, value);
        }
        if (nEol == std::string_view::npos)
            return Outcome::NeedMore;
        if (line.empty() && !bStatusLine) {
            head.nBodyStart = nEol + 2;
            return Outcome::Complete;
        }
        bStatusLine = false;
        nPos = nEol + 2;
    }
}

// The chunked body at the start of data: Complete with its length, NeedMore,
// or Malformed.
inline Outcome ReadChunked(std::string_view data, std::size_t& nLength)
{
    std::size_t nPos = 0;
    auto needMore = [&](std::size_t nNeed) { return nPos + nNeed > data.size(); };
    for (;;) {
        // chunk-size [ chunk-ext ] CRLF
        std::size_t nSize = 0;
        std::size_t nDigits = 0;
        while (!needMore(1) && IsHex(data[nPos])) {
            const char c = Lower(data[nPos]);
            if (nSize < (std::size_t{1} << 40))
                nSize = nSize * 16 + static_cast<std::size_t>(IsDigit(c) ? c - '0' : c - 'a' + 10);
            ++nPos;
            ++nDigits;
        }
        if (needMore(1))
            return Outcome::NeedMore;
        if (nDigits == 0)
            return Outcome::Malformed;
        // chunk-ext = *( BWS ";" BWS ext-name [ BWS "=" BWS ext-val ] ), kept simple: tokens and
        // quoted strings without escapes, no blanks.
        while (!needMore(1) && data[nPos] == ';') {
            ++nPos;
            std::size_t nName = 0;
            while (!needMore(1) && IsTchar(data[nPos])) {
                ++nPos;
                ++nName;
            }
            if (needMore(1))
                return Outcome::NeedMore;
            if (nName == 0)
                return Outcome::Malformed;
            if (data[nPos] == '=') {
                ++nPos;
                if (needMore(1))
                    return Outcome::NeedMore;
                if (data[nPos] == '"') {
                    ++nPos;
                    while (!needMore(1) && data[nPos] != '"') {
                        if (!IsFieldChar(data[nPos]) || data[nPos] == '\\')
                            return Outcome::Malformed;
                        ++nPos;
                    }
                    if (needMore(1))
                        return Outcome::NeedMore;
                    ++nPos;
                } else {
                    std::size_t nValue = 0;
                    while (!needMore(1) && IsTchar(data[nPos])) {
                        ++nPos;
                        ++nValue;
                    }
                    if (needMore(1))
                        return Outcome::NeedMore;
                    if (nValue == 0)
                        return Outcome::Malformed;
                }
            }
        }
        if (needMore(1))
            return Outcome::NeedMore;
        if (data[nPos] != '\r')
            return Outcome::Malformed;
        if (needMore(2))
            return Outcome::NeedMore;
        if (data[nPos + 1] != '\n')
            return Outcome::Malformed;
        nPos += 2;
        if (nSize == 0)
            break;
        if (needMore(nSize + 2)) {
            // The data, or its CRLF, has not fully come: what came of the CRLF must fit.
            const std::size_t nAfter = data.size() - nPos;
            return nAfter == nSize + 1 && data[nPos + nSize] != '\r' ? Outcome::Malformed : Outcome::NeedMore;
        }
        if (data.substr(nPos + nSize, 2) != "\r\n")
            return Outcome::Malformed;
        nPos += nSize + 2;
    }
    // trailer-section CRLF
    for (;;) {
        const std::size_t nEol = data.find("\r\n", nPos);
        const std::string_view line = data.substr(nPos, nEol == std::string_view::npos ? std::string_view::npos : nEol - nPos);
        for (const char c : line)
            if (c == '\r' || c == '\n' || c == '\0')
                return Outcome::Malformed;
        if (nEol == std::string_view::npos)
            return Outcome::NeedMore;
        if (line.empty()) {
            nLength = nEol + 2;
            return Outcome::Complete;
        }
        std::string_view name, value;
        if (!ReadFieldLine(line, name, value))
            return Outcome::Malformed;
        nPos = nEol + 2;
    }
}

inline Result Decide(std::string_view data)
{
    Result result;
    for (;;) {
        Head head;
        const std::string_view message = data.substr(result.nFinalStart);
        const Outcome headOutcome = ReadHead(message, head);
        if (headOutcome != Outcome::Complete) {
            result.outcome = headOutcome;
            return result;
        }
        if (head.nStatus >= 100 && head.nStatus <= 199) {
            result.nFinalStart += head.nBodyStart;  // interim: the final response follows
            continue;
        }
        const std::string_view body = message.substr(head.nBodyStart);
        auto complete = [&](std::size_t nBody) {
            result.outcome = Outcome::Complete;
            result.nLength = head.nBodyStart + nBody;
            return result;
        };
        if (head.nStatus == 204 || head.nStatus == 304)
            return complete(0);

        bool bHasCoding = false;
        std::string_view lastCoding;
        bool bHasLength = false;
        bool bLengthValid = true;
        std::string lengthDigits;
        for (const auto& [name, value] : head.fields) {
            if (EqualNoCase(name, "Transfer-Encoding")) {
                bHasCoding = true;
                for (const std::string_view item : SplitList(value))
                    if (!item.empty())  // empty list elements are ignored
                        lastCoding = item;
            } else if (EqualNoCase(name, "Content-Length")) {
                bHasLength = true;
                // 1*DIGIT; a list of identical values is taken as one value.
                for (std::string_view item : SplitList(value)) {
                    if (item.empty()) {
                        bLengthValid = false;
                        continue;
                    }
                    for (const char c : item)
                        if (!IsDigit(c))
                            bLengthValid = false;
                    while (item.size() > 1 && item.front() == '0')
                        item.remove_prefix(1);
                    if (lengthDigits.empty())
                        lengthDigits = item;
                    else if (lengthDigits != item)
                        bLengthValid = false;
                }
            }
        }
        if (bHasCoding) {
            if (!EqualNoCase(lastCoding, "chunked")) {
                result.outcome = Outcome::UntilClose;
                return result;
            }
            std::size_t nChunked = 0;
            const Outcome chunked = ReadChunked(body, nChunked);
            if (chunked != Outcome::Complete) {
                result.outcome = chunked;
                return result;
            }
            return complete(nChunked);
        }
        if (bHasLength && bLengthValid) {
            if (lengthDigits.size() > 12) {
                result.outcome = Outcome::NeedMore;  // no input here is that long
                return result;
            }
            const std::size_t nLength = std::stoull(lengthDigits);
            if (body.size() < nLength) {
                result.outcome = Outcome::NeedMore;
                return result;
            }
            return complete(nLength);
        }
        if (bHasLength) {
            result.outcome = Outcome::Malformed;
            return result;
        }
        result.outcome = Outcome::UntilClose;
        return result;
    }
}

} // namespace reference
