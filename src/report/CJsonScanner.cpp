#include "CJsonScanner.h"

#include <charconv>

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
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

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

}  // namespace

void CJsonScanner::SkipSpace()
{
    // On a local cursor: the text's bytes may alias the member.
    std::size_t nPos = m_nPos;
    const std::size_t nSize = m_text.size();
    const char* pText = m_text.data();
    while (nPos < nSize) {
        const char c = pText[nPos];
        if (c != ' ' && c != '\n' && c != '\r' && c != '\t')
            break;
        ++nPos;
    }
    m_nPos = nPos;
}

bool CJsonScanner::Fail(const QString& strWhat)
{
    if (m_strError.isEmpty())
        m_strError = QStringLiteral("%1 at byte %2").arg(strWhat).arg(m_nPos);
    return false;
}

char CJsonScanner::Peek()
{
    SkipSpace();
    return m_nPos < m_text.size() ? m_text[m_nPos] : '\0';
}

bool CJsonScanner::Literal(std::string_view word)
{
    if (m_text.substr(m_nPos, word.size()) != word)
        return Fail(QStringLiteral("a value that is not JSON"));
    m_nPos += word.size();
    return true;
}

bool CJsonScanner::RawNumber(std::string_view* pRaw)
{
    const std::size_t nStart = m_nPos;
    auto digits = [this] {
        const std::size_t nFrom = m_nPos;
        while (m_nPos < m_text.size() && IsDigit(m_text[m_nPos]))
            ++m_nPos;
        return m_nPos > nFrom;
    };
    if (m_nPos < m_text.size() && m_text[m_nPos] == '-')
        ++m_nPos;
    if (m_nPos < m_text.size() && m_text[m_nPos] == '0')
        ++m_nPos;
    else if (!digits())
        return Fail(QStringLiteral("a number without digits"));
    if (m_nPos < m_text.size() && m_text[m_nPos] == '.') {
        ++m_nPos;
        if (!digits())
            return Fail(QStringLiteral("a number without digits after its point"));
    }
    if (m_nPos < m_text.size() && (m_text[m_nPos] == 'e' || m_text[m_nPos] == 'E')) {
        ++m_nPos;
        if (m_nPos < m_text.size() && (m_text[m_nPos] == '+' || m_text[m_nPos] == '-'))
            ++m_nPos;
        if (!digits())
            return Fail(QStringLiteral("a number without digits in its exponent"));
    }
    *pRaw = m_text.substr(nStart, m_nPos - nStart);
    return true;
}

bool CJsonScanner::RawString(std::string* pOut)
{
    if (m_nPos >= m_text.size() || m_text[m_nPos] != '"')
        return Fail(QStringLiteral("a string expected"));
    ++m_nPos;
    m_bEscaped = false;
    std::size_t nRun = m_nPos;  // the start of the text not yet copied
    while (true) {
        // The plain run up to a quote, an escape or a control character, on
        // a local cursor.
        std::size_t nPos = m_nPos;
        const std::size_t nSize = m_text.size();
        const char* pText = m_text.data();
        while (nPos < nSize) {
            const auto u = static_cast<unsigned char>(pText[nPos]);
            if (u == '"' || u == '\\' || u < 0x20)
                break;
            ++nPos;
        }
        m_nPos = nPos;
        if (m_nPos >= m_text.size())
            return Fail(QStringLiteral("a string without its end"));
        const char c = m_text[m_nPos];
        if (c == '"') {
            if (pOut)
                pOut->append(m_text.substr(nRun, m_nPos - nRun));
            ++m_nPos;
            return true;
        }
        if (static_cast<unsigned char>(c) < 0x20)
            return Fail(QStringLiteral("a control character in a string"));
        if (c != '\\') {
            ++m_nPos;
            continue;
        }
        m_bEscaped = true;
        if (pOut)
            pOut->append(m_text.substr(nRun, m_nPos - nRun));
        if (++m_nPos >= m_text.size())
            return Fail(QStringLiteral("a string without its end"));
        const char e = m_text[m_nPos++];
        char32_t code = 0;
        switch (e) {
        case '"': case '\\': case '/': code = char32_t(e); break;
        case 'b': code = '\b'; break;
        case 'f': code = '\f'; break;
        case 'n': code = '\n'; break;
        case 'r': code = '\r'; break;
        case 't': code = '\t'; break;
        case 'u': {
            auto hex4 = [this](char32_t* pCode) {
                if (m_nPos + 4 > m_text.size())
                    return false;
                char32_t n = 0;
                for (int i = 0; i < 4; ++i) {
                    const int h = HexValue(m_text[m_nPos + std::size_t(i)]);
                    if (h < 0)
                        return false;
                    n = n * 16 + char32_t(h);
                }
                m_nPos += 4;
                *pCode = n;
                return true;
            };
            if (!hex4(&code))
                return Fail(QStringLiteral("a \\u escape without four hex digits"));
            if (code >= 0xD800 && code < 0xDC00) {
                char32_t low = 0;
                if (m_text.substr(m_nPos, 2) == "\\u") {
                    m_nPos += 2;
                    if (!hex4(&low))
                        return Fail(QStringLiteral("a \\u escape without four hex digits"));
                }
                code = low >= 0xDC00 && low < 0xE000 ? 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00) : 0xFFFD;
            } else if (code >= 0xDC00 && code < 0xE000) {
                code = 0xFFFD;
            }
            break;
        }
        default:
            return Fail(QStringLiteral("an unknown escape in a string"));
        }
        if (pOut)
            AppendUtf8(*pOut, code);
        nRun = m_nPos;
    }
}

bool CJsonScanner::SkipValue(int nDepth)
{
    if (nDepth > kMaxDepth)
        return Fail(QStringLiteral("values nested more than %1 deep").arg(kMaxDepth));
    switch (Peek()) {
    case '{':
    case '[': {
        const char cClose = m_text[m_nPos] == '{' ? '}' : ']';
        const bool bObject = cClose == '}';
        ++m_nPos;
        if (Peek() == cClose) {
            ++m_nPos;
            return true;
        }
        while (true) {
            if (bObject) {
                if (Peek() != '"' || !RawString(nullptr))
                    return Fail(QStringLiteral("an object member without its name"));
                if (Peek() != ':')
                    return Fail(QStringLiteral("a ':' expected"));
                ++m_nPos;
            }
            if (!SkipValue(nDepth + 1))
                return false;
            const char c = Peek();
            ++m_nPos;
            if (c == cClose)
                return true;
            if (c != ',') {
                --m_nPos;
                return Fail(c == '\0' ? QStringLiteral("the text ends inside a value")
                                      : QStringLiteral("a ',' or '%1' expected").arg(QLatin1Char(cClose)));
            }
        }
    }
    case '"':
        return RawString(nullptr);
    case 't':
        return Literal("true");
    case 'f':
        return Literal("false");
    case 'n':
        return Literal("null");
    case '\0':
        return Fail(QStringLiteral("the text ends where a value was expected"));
    default: {
        std::string_view raw;
        return RawNumber(&raw);
    }
    }
}

bool CJsonScanner::Skip()
{
    return !Failed() && SkipValue(m_nDepth);
}

bool CJsonScanner::Object(const std::function<bool(std::string_view)>& onMember)
{
    if (Failed())
        return false;
    if (Peek() != '{')
        return Fail(QStringLiteral("an object expected"));
    if (++m_nDepth > kMaxDepth)
        return Fail(QStringLiteral("values nested more than %1 deep").arg(kMaxDepth));
    ++m_nPos;
    if (Peek() == '}') {
        ++m_nPos;
    } else {
        std::string key;
        while (true) {
            if (Peek() != '"')
                return Fail(QStringLiteral("an object member without its name"));
            // The name as it stands, unless it has escapes.
            const std::size_t nStart = m_nPos + 1;
            key.clear();
            if (!RawString(&key))
                return false;
            const std::string_view raw = m_text.substr(nStart, m_nPos - 1 - nStart);
            const std::string_view name = m_bEscaped ? std::string_view(key) : raw;
            if (Peek() != ':')
                return Fail(QStringLiteral("a ':' expected"));
            ++m_nPos;
            if (!onMember(name) || Failed())
                return false;
            const char c = Peek();
            ++m_nPos;
            if (c == '}')
                break;
            if (c != ',') {
                --m_nPos;
                return Fail(c == '\0' ? QStringLiteral("the text ends inside an object")
                                      : QStringLiteral("a ',' or '}' expected"));
            }
        }
    }
    --m_nDepth;
    return true;
}

bool CJsonScanner::Array(const std::function<bool()>& onElement)
{
    if (Failed())
        return false;
    if (Peek() != '[')
        return Fail(QStringLiteral("an array expected"));
    if (++m_nDepth > kMaxDepth)
        return Fail(QStringLiteral("values nested more than %1 deep").arg(kMaxDepth));
    ++m_nPos;
    if (Peek() == ']') {
        ++m_nPos;
    } else {
        while (true) {
            if (!onElement() || Failed())
                return false;
            const char c = Peek();
            ++m_nPos;
            if (c == ']')
                break;
            if (c != ',') {
                --m_nPos;
                return Fail(c == '\0' ? QStringLiteral("the text ends inside an array")
                                      : QStringLiteral("a ',' or ']' expected"));
            }
        }
    }
    --m_nDepth;
    return true;
}

bool CJsonScanner::String(QString* pValue)
{
    if (Failed())
        return false;
    if (Peek() != '"')
        return Fail(QStringLiteral("a string expected"));
    std::string value;
    if (!RawString(&value))
        return false;
    *pValue = QString::fromUtf8(value.data(), qsizetype(value.size()));
    return true;
}

bool CJsonScanner::Utf8(std::string* pValue, bool* pIsString)
{
    *pIsString = !Failed() && Peek() == '"';
    if (!*pIsString)
        return Skip();
    pValue->clear();
    return RawString(pValue);
}

bool CJsonScanner::Bool(bool* pValue, bool* pIsBool)
{
    const char c = Failed() ? '\0' : Peek();
    *pIsBool = c == 't' || c == 'f';
    *pValue = c == 't';
    return Skip();
}

bool CJsonScanner::MaybeString(QString* pValue, bool* pIsString)
{
    *pIsString = !Failed() && Peek() == '"';
    return *pIsString ? String(pValue) : Skip();
}

bool CJsonScanner::Number(double* pValue, bool* pIsNumber)
{
    *pIsNumber = false;
    if (Failed())
        return false;
    const char c = Peek();
    if (c != '-' && !IsDigit(c))
        return Skip();
    std::string_view raw;
    if (!RawNumber(&raw))
        return false;
    // A whole number of up to 15 digits (most of a report's) is exact as a
    // double: summed here rather than parsed as a floating-point number.
    const bool bNegative = raw.front() == '-';
    const std::string_view digits = raw.substr(bNegative ? 1 : 0);
    if (digits.size() <= 15 && digits.find_first_not_of("0123456789") == std::string_view::npos) {
        std::int64_t n = 0;
        for (const char d : digits)
            n = n * 10 + (d - '0');
        *pValue = bNegative ? -double(n) : double(n);
        *pIsNumber = true;
        return true;
    }
    const auto result = std::from_chars(raw.data(), raw.data() + raw.size(), *pValue);
    if (result.ec != std::errc())
        return Fail(QStringLiteral("a number out of range"));
    *pIsNumber = true;
    return true;
}

bool CJsonScanner::End()
{
    if (Failed())
        return false;
    if (Peek() != '\0')
        return Fail(QStringLiteral("text after the end of the report"));
    return true;
}
