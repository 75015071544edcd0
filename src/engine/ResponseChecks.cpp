#include "ResponseChecks.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QStringDecoder>

#include <charconv>
#include <cmath>

namespace ResponseChecks {

namespace {

const QString kTooLong = QStringLiteral("the body is longer than the 1 MiB a check reads");

// The check as the reasons show it: "±" however it was written.
QString Written(const QString& strText)
{
    QString str = strText;
    str.replace(QLatin1String(" +- "), QStringLiteral(" \u00B1 "));
    return str;
}

// What was got, short enough for a log line.
QString Shown(const QString& strValue)
{
    constexpr int kShown = 80;
    QString str = strValue.left(kShown);
    str.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    str.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    if (strValue.size() > kShown)
        str += QStringLiteral("... (%1 characters)").arg(strValue.size());
    return str;
}


bool StatusIs(int nStatus, const QString& strValue)
{
    if (strValue.endsWith(QLatin1String("xx")))
        return nStatus / 100 == strValue[0].digitValue();
    return nStatus == strValue.toInt();
}

enum class EMatch { Yes, No, GaveUp };

EMatch Match(const QRegularExpression& regex, const QString& strSubject, QString* pGroup = nullptr)
{
    const QRegularExpressionMatch match = regex.match(strSubject);
    if (!match.hasMatch())
        return EMatch::GaveUp;  // the end branch always matches, unless the limit was hit
    if (match.capturedStart(QStringLiteral("velkorEnd")) >= 0)
        return EMatch::No;
    if (pGroup != nullptr)
        *pGroup = match.lastCapturedIndex() >= 1 && regex.captureCount() > 1 ? match.captured(1) : match.captured(0);
    return EMatch::Yes;
}

QString GaveUp() { return QStringLiteral("the regular expression gave up after %1 steps").arg(kRegexMatchLimit); }

// n as digits into out, its room kept.
void SetNumber(QString& out, long long n)
{
    char digits[24];
    const std::to_chars_result result = std::to_chars(digits, digits + sizeof digits, n);
    out.resize(0);
    out.append(QLatin1StringView(digits, result.ptr - digits));
}

void SetLatin1(QString& out, QByteArrayView bytes)
{
    out.resize(0);
    out.append(QLatin1StringView(bytes.data(), bytes.size()));
}

// The value a check of that subject reads: in the answer's value buffer, or
// the body's text; nullptr with strWhy when there is none.
const QString* Read(ECheckSubject subject, const QString& strName, const CAnswer& answer, QString& strWhy)
{
    QString& value = answer.ValueBuffer();
    switch (subject) {
    case ECheckSubject::Status:
        SetNumber(value, answer.Status());
        return &value;
    case ECheckSubject::Time:
        SetNumber(value, answer.TimeMs());
        return &value;
    case ECheckSubject::Downtime:
        break;
    case ECheckSubject::Header:
        if (const auto header = answer.HeaderView(strName)) {
            SetLatin1(value, *header);
            return &value;
        }
        strWhy = QStringLiteral("no header %1").arg(strName);
        return nullptr;
    case ECheckSubject::BodySize:
        if (answer.Whole()) {
            SetNumber(value, answer.Body().size());
            return &value;
        }
        if (const auto length = answer.HeaderView(u"Content-Length")) {
            SetLatin1(value, *length);
            return &value;
        }
        strWhy = kTooLong;
        return nullptr;
    case ECheckSubject::Body:
    case ECheckSubject::Field:
    case ECheckSubject::Json:
        if (!answer.Whole()) {
            strWhy = kTooLong;
            return nullptr;
        }
        if (subject == ECheckSubject::Body)
            return &answer.BodyText();
        if (subject == ECheckSubject::Json) {
            std::optional<QString> json = JsonValue(answer.Body(), strName, strWhy);
            if (!json)
                return nullptr;
            value = std::move(*json);
            return &value;
        }
        if (const auto field = FieldView(answer.Body(), strName)) {
            DecodeUtf8Into(value, *field);
            return &value;
        }
        strWhy = QStringLiteral("no field %1").arg(strName);
        return nullptr;
    }
    strWhy = QStringLiteral("nothing to read");
    return nullptr;
}

}  // namespace

bool Compare(double dActual, ECheckOp op, double dValue, double dTolerance)
{
    switch (op) {
    case ECheckOp::Eq:
        return std::fabs(dActual - dValue) <= dTolerance;
    case ECheckOp::Ne:
        return std::fabs(dActual - dValue) > dTolerance;
    case ECheckOp::Lt:
        return dActual < dValue;
    case ECheckOp::Le:
        return dActual <= dValue;
    case ECheckOp::Gt:
        return dActual > dValue;
    case ECheckOp::Ge:
        return dActual >= dValue;
    default:
        return false;
    }
}

CAnswer::CAnswer(int nStatus, const QByteArray& text, bool bWhole, std::int64_t nTimeMs, CScratch* pScratch)
    : m_nStatus(nStatus), m_text(text), m_bWhole(bWhole), m_nTimeMs(nTimeMs),
      m_pScratch(pScratch != nullptr ? pScratch : &m_own)
{
    const qsizetype nEnd = m_text.indexOf("\r\n\r\n");
    m_head = QByteArray::fromRawData(m_text.constData(), nEnd < 0 ? m_text.size() : nEnd + 2);
    if (nEnd >= 0)
        m_body = QByteArray::fromRawData(m_text.constData() + nEnd + 4, m_text.size() - nEnd - 4);
    m_bWhole = m_bWhole && m_body.size() <= kCheckBodyLimit;
}

std::optional<QByteArrayView> CAnswer::HeaderView(QStringView name) const
{
    const QByteArrayView head(m_head);
    qsizetype nStart = head.indexOf('\n');  // past the status line
    while (nStart >= 0 && nStart + 1 < head.size()) {
        const qsizetype nEnd = head.indexOf('\n', nStart + 1);
        const QByteArrayView line = head.sliced(nStart + 1, (nEnd < 0 ? head.size() : nEnd) - nStart - 1);
        const qsizetype nColon = line.indexOf(':');
        if (nColon > 0 &&
            name.compare(QLatin1StringView(line.first(nColon).trimmed()), Qt::CaseInsensitive) == 0)
            return line.sliced(nColon + 1).trimmed();
        nStart = nEnd;
    }
    return std::nullopt;
}

std::optional<QString> CAnswer::Header(const QString& strName) const
{
    if (const auto value = HeaderView(strName))
        return QString::fromLatin1(*value);
    return std::nullopt;
}

const QString& CAnswer::BodyText() const
{
    if (!m_bBodyText) {
        DecodeUtf8Into(m_pScratch->bodyText, m_body);
        m_bBodyText = true;
    }
    return m_pScratch->bodyText;
}

void DecodeUtf8Into(QString& out, QByteArrayView bytes)
{
    // UTF-8 gives at most one UTF-16 unit a byte; a byte order mark stays,
    // as QString::fromUtf8 keeps it.
    out.resize(bytes.size());
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    const QChar* pEnd = decoder.appendToBuffer(out.data(), bytes);
    out.resize(pEnd - out.constData());
}

std::optional<QByteArrayView> FieldView(QByteArrayView body, QStringView name)
{
    // Pairs end at a line's end, '&' or a blank: "pan=12\ntilt=3",
    // "pan=12&tilt=3" and "pan=12 tilt=3" read alike.
    qsizetype i = 0;
    const qsizetype n = body.size();
    auto separator = [](char c) { return c == '\n' || c == '\r' || c == '&' || c == ' ' || c == '\t'; };
    while (i < n) {
        while (i < n && separator(body[i]))
            ++i;
        const qsizetype nStart = i;
        while (i < n && !separator(body[i]))
            ++i;
        const QByteArrayView pair = body.sliced(nStart, i - nStart);
        const qsizetype nEquals = pair.indexOf('=');
        if (nEquals <= 0 || QAnyStringView::compare(QUtf8StringView(pair.first(nEquals)), name) != 0)
            continue;
        QByteArrayView value = pair.sliced(nEquals + 1);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.sliced(1, value.size() - 2);
        return value;
    }
    return std::nullopt;
}

std::optional<QString> FieldValue(const QByteArray& body, const QString& strName)
{
    if (const auto value = FieldView(body, strName))
        return QString::fromUtf8(*value);
    return std::nullopt;
}

std::optional<QString> JsonValue(const QByteArray& body, const QString& strPointer, QString& strWhy)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (document.isNull()) {
        strWhy = QStringLiteral("the body is no JSON (%1)").arg(error.errorString());
        return std::nullopt;
    }
    QJsonValue value = document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array());
    const QStringList tokens = strPointer.split(QLatin1Char('/')).mid(1);
    for (QString strToken : tokens) {
        strToken.replace(QLatin1String("~1"), QLatin1String("/")).replace(QLatin1String("~0"), QLatin1String("~"));
        bool bIndex = false;
        const int nIndex = strToken.toInt(&bIndex);
        if (value.isObject() && value.toObject().contains(strToken)) {
            value = value.toObject().value(strToken);
        } else if (value.isArray() && bIndex && nIndex >= 0 && nIndex < value.toArray().size()) {
            value = value.toArray().at(nIndex);
        } else {
            strWhy = QStringLiteral("no JSON value at %1").arg(strPointer);
            return std::nullopt;
        }
    }
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double:
        return QString::number(value.toDouble(), 'g', 17);
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Object:
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    case QJsonValue::Array:
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    default:
        return QStringLiteral("null");
    }
}

QString Judge(const CCheck& check, const CAnswer& answer)
{
    // The reason is made only for a check that fails.
    const auto Expected = [&check] { return QStringLiteral("expected ") + Written(check.strText); };
    QString strWhy;
    const QString* actual = Read(check.subject, check.strName, answer, strWhy);
    if (check.op == ECheckOp::Exists) {
        if ((actual != nullptr) != check.bNot)
            return QString();
        return actual ? Expected() + QStringLiteral(", got %1").arg(Shown(*actual))
                      : Expected() + QStringLiteral(", got ") + strWhy;
    }
    if (actual == nullptr)
        return Expected() + (strWhy == kTooLong ? QStringLiteral(", but ") : QStringLiteral(", got ")) + strWhy;

    bool bHolds = false;
    switch (check.op) {
    case ECheckOp::Empty:
        bHolds = actual->isEmpty();
        break;
    case ECheckOp::Contains:
        bHolds = actual->contains(check.strValue);
        break;
    case ECheckOp::Matches: {
        const EMatch match = Match(check.regex, *actual);
        if (match == EMatch::GaveUp)
            return Expected() + QStringLiteral(", but ") + GaveUp();
        bHolds = match == EMatch::Yes;
        break;
    }
    case ECheckOp::In:
        for (const QString& strValue : check.listValues)
            bHolds = bHolds || StatusIs(answer.Status(), strValue);
        break;
    default:
        if (check.subject == ECheckSubject::Status && !check.bNumeric) {
            bHolds = StatusIs(answer.Status(), check.strValue) == (check.op == ECheckOp::Eq);
        } else if (check.bNumeric) {
            bool bNumber = false;
            const double dActual = actual->toDouble(&bNumber);
            if (!bNumber)
                return Expected() + QStringLiteral(", got %1, not a number").arg(Shown(*actual));
            bHolds = Compare(dActual, check.op, check.dValue, check.dTolerance);
        } else {
            bHolds = (*actual == check.strValue) == (check.op == ECheckOp::Eq);
        }
        break;
    }
    if (bHolds != check.bNot)
        return QString();
    if (check.subject == ECheckSubject::Body && (check.op == ECheckOp::Contains || check.op == ECheckOp::Matches))
        return Expected() + QStringLiteral(", got a body of %1 bytes: %2").arg(answer.Body().size()).arg(Shown(*actual));
    return Expected() + QStringLiteral(", got %1").arg(Shown(*actual));
}

QString JudgeDowntime(const CCheck& check, std::int64_t nDownMs, bool bStopped)
{
    const QString strExpected = QStringLiteral("expected ") + Written(check.strText);
    if (bStopped)
        return strExpected + QStringLiteral(", but the device had not come back when the wait ended after %1 ms")
                                 .arg(nDownMs);
    if (Compare(double(nDownMs), check.op, check.dValue, check.dTolerance) != check.bNot)
        return QString();
    return strExpected + QStringLiteral(", got %1 ms").arg(nDownMs);
}

bool CaptureInto(const CCapture& capture, const CAnswer& answer, QString& value, QString& strWhy)
{
    if (capture.source == ECheckSubject::Body) {
        if (!answer.Whole()) {
            strWhy = kTooLong;
            return false;
        }
        QString strGroup;
        const EMatch match = Match(capture.regex, answer.BodyText(), &strGroup);
        if (match == EMatch::Yes) {
            value = strGroup;
            return true;
        }
        strWhy = match == EMatch::GaveUp ? GaveUp() : QStringLiteral("the body does not match");
        return false;
    }
    const QString* read = Read(capture.source, capture.strSubject, answer, strWhy);
    if (read == nullptr)
        return false;
    // Into the value's own room: a capture taken pass by pass allocates
    // only when its value outgrows it.
    // (the characters copied: an empty value would otherwise share the
    // buffer's).
    value.resize(0);
    value.append(read->constData(), read->size());
    return true;
}

std::optional<QString> Capture(const CCapture& capture, const CAnswer& answer, QString& strWhy)
{
    QString value;
    if (!CaptureInto(capture, answer, value, strWhy))
        return std::nullopt;
    return value;
}

}  // namespace ResponseChecks
