#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// A strict JSON reader over text in memory that keeps nothing: the caller
// walks the document, reading the values it wants and skipping the rest
// (which are still checked), so a report of millions of requests is read
// without a tree of it. Every failure is kept with its byte offset; once
// failed, every call returns false.
class CJsonScanner {
public:
    // Nesting deeper than this is refused rather than followed.
    static constexpr int kMaxDepth = 64;

    explicit CJsonScanner(std::string_view text) : m_text(text) {}

    // The members of an object, in order: onMember(key) reads the value
    // (with one of the calls below) and returns false to stop.
    bool Object(const std::function<bool(std::string_view)>& onMember);
    // The elements of an array: onElement() reads one value.
    bool Array(const std::function<bool()>& onElement);
    bool String(QString* pValue);
    // A string as UTF-8 into *pValue (its buffer reused: no allocation per
    // call); anything else is skipped with *pIsString false.
    bool Utf8(std::string* pValue, bool* pIsString);
    // true or false (*pIsBool false for anything else, which is skipped).
    bool Bool(bool* pValue, bool* pIsBool);
    // A number (true, and *pIsNumber, only for a number; null and other
    // values are skipped with *pIsNumber false).
    bool Number(double* pValue, bool* pIsNumber);
    // A string or anything else (skipped, *pIsString false).
    bool MaybeString(QString* pValue, bool* pIsString);
    bool Skip();
    // After the document's value: only white space may follow.
    bool End();

    // The next value's kind: '{', '[', '"', 'n' (null), 't', 'f', '-' or a
    // digit; 0 at the end of the text.
    char Peek();

    // Where the scanner is in the text, and how much of it is left.
    std::size_t Offset() const { return m_nPos; }
    std::size_t Left() const { return m_text.size() - m_nPos; }

    bool Failed() const { return !m_strError.isEmpty(); }
    // "unexpected ',' at byte 1234".
    const QString& Error() const { return m_strError; }

private:
    void SkipSpace();
    bool Fail(const QString& strWhat);
    bool Literal(std::string_view word);
    bool RawNumber(std::string_view* pRaw);
    // The string at the cursor, its escapes resolved into *pOut when given.
    bool RawString(std::string* pOut);
    bool SkipValue(int nDepth);

    std::string_view m_text;
    std::size_t m_nPos = 0;
    int m_nDepth = 0;
    std::string m_key;  // the last object key, decoded
    bool m_bEscaped = false;  // the last string read had an escape
    QString m_strError;
};
