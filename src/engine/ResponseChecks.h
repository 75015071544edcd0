#pragma once

#include "script/CheckLines.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

// Judges Expect lines and takes Capture values from one answer, on the
// worker, as soon as the answer is read.
//
// Bounds: a check reads at most kCheckBodyLimit bytes of a body (1 MiB);
// when the body was longer, a check that needs the body (body, field, json,
// body size without Content-Length) fails with that reason, never passes.
// A regular expression stops after kRegexMatchLimit steps of work and fails
// its check with that reason.
namespace ResponseChecks {

constexpr int kCheckBodyLimit = 1 << 20;

// A number against a comparison's value; == and != within the tolerance.
bool Compare(double dActual, ECheckOp op, double dValue, double dTolerance);

// One answer as the checks read it.
class CAnswer {
public:
    // The response's text: head (status line, fields, blank line) and the
    // kept body; bWhole: the body was kept whole.
    CAnswer(int nStatus, const QByteArray& text, bool bWhole, std::int64_t nTimeMs);

    int Status() const { return m_nStatus; }
    std::int64_t TimeMs() const { return m_nTimeMs; }
    bool Whole() const { return m_bWhole; }
    const QByteArray& Body() const { return m_body; }
    // The first field of that name (any case), its value trimmed.
    std::optional<QString> Header(const QString& strName) const;
    // The body as text (UTF-8), made once.
    const QString& BodyText() const;

private:
    int m_nStatus;
    QByteArray m_head;
    QByteArray m_body;
    bool m_bWhole;
    std::int64_t m_nTimeMs;
    mutable std::optional<QString> m_bodyText;
};

// Empty when the check holds; else why not: "expected field pan == 30 ± 1, got 12".
QString Judge(const CCheck& check, const CAnswer& answer);
// A downtime check on a CheckAlive wait of nDownMs (bStopped: the device
// did not come back).
QString JudgeDowntime(const CCheck& check, std::int64_t nDownMs, bool bStopped);
// The captured value, or std::nullopt with the reason in strWhy.
std::optional<QString> Capture(const CCapture& capture, const CAnswer& answer, QString& strWhy);

// "field pan" in a key=value answer: "key=value" pairs parted by line ends,
// '&' or blanks ("pan=12 tilt=3"); the first pair of that name.
std::optional<QString> FieldValue(const QByteArray& body, const QString& strName);
// The value at a JSON Pointer (RFC 6901) as text: a string as it is, a number,
// true, false, null, or compact JSON for an object or array.
std::optional<QString> JsonValue(const QByteArray& body, const QString& strPointer, QString& strWhy);

}  // namespace ResponseChecks
