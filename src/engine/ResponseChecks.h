#pragma once

#include "script/CheckLines.h"

#include <QByteArray>
#include <QByteArrayView>
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

// Text buffers a worker keeps for the checks of its answers: each answer
// fills them anew, and their room stays (cleared, never freed). With them,
// judging an answer's status, header, body, field and time checks and taking
// its captures allocates nothing once the buffers have grown to the answers'
// size; a JSON body, a regular expression's match and a failing check's
// reason still allocate.
struct CScratch {
    QString bodyText;  // the body as text, when a check reads it
    QString value;     // the value a check or capture reads
};

// One answer as the checks read it. The head and body are read where the
// text lies, not copied.
class CAnswer {
public:
    // The response's text: head (status line, fields, blank line) and the
    // kept body; bWhole: the body was kept whole. pScratch: the worker's
    // buffers (none: the answer's own).
    CAnswer(int nStatus, const QByteArray& text, bool bWhole, std::int64_t nTimeMs, CScratch* pScratch = nullptr);
    CAnswer(const CAnswer&) = delete;
    CAnswer& operator=(const CAnswer&) = delete;

    int Status() const { return m_nStatus; }
    std::int64_t TimeMs() const { return m_nTimeMs; }
    bool Whole() const { return m_bWhole; }
    const QByteArray& Body() const { return m_body; }
    // The first field of that name (any case), its value trimmed.
    std::optional<QString> Header(const QString& strName) const;
    std::optional<QByteArrayView> HeaderView(QStringView name) const;
    // The body as text (UTF-8), decoded once into the scratch buffer.
    const QString& BodyText() const;
    // The buffer a check's value is read into.
    QString& ValueBuffer() const { return m_pScratch->value; }

private:
    int m_nStatus;
    QByteArray m_text;  // shares the caller's bytes
    QByteArray m_head;  // views into m_text
    QByteArray m_body;
    bool m_bWhole;
    std::int64_t m_nTimeMs;
    mutable CScratch m_own;
    CScratch* m_pScratch;
    mutable bool m_bBodyText = false;
};

// Empty when the check holds; else why not: "expected field pan == 30 ± 1, got 12".
QString Judge(const CCheck& check, const CAnswer& answer);
// A downtime check on a CheckAlive wait of nDownMs (bStopped: the device
// did not come back).
QString JudgeDowntime(const CCheck& check, std::int64_t nDownMs, bool bStopped);
// The captured value, or std::nullopt with the reason in strWhy.
std::optional<QString> Capture(const CCapture& capture, const CAnswer& answer, QString& strWhy);
// The same into value, whose room is kept; false with the reason in strWhy.
bool CaptureInto(const CCapture& capture, const CAnswer& answer, QString& value, QString& strWhy);

// The text's bytes as UTF-8 into out, whose room is kept.
void DecodeUtf8Into(QString& out, QByteArrayView bytes);

// "field pan" in a key=value answer: "key=value" pairs parted by line ends,
// '&' or blanks ("pan=12 tilt=3"); the first pair of that name.
std::optional<QString> FieldValue(const QByteArray& body, const QString& strName);
std::optional<QByteArrayView> FieldView(QByteArrayView body, QStringView name);
// The value at a JSON Pointer (RFC 6901) as text: a string as it is, a number,
// true, false, null, or compact JSON for an object or array.
std::optional<QString> JsonValue(const QByteArray& body, const QString& strPointer, QString& strWhy);

}  // namespace ResponseChecks
