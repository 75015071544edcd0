#include "ResponseChecks.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>

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

// The value a check reads; nullopt with strWhy when there is none.
std::optional<QString> Read(const CCheck& check, const CAnswer& answer, QString& strWhy)
{
    switch (check.subject) {
    case ECheckSubject::Status:
        return QString::number(answer.Status());
    case ECheckSubject::Time:
        return QString::number(answer.TimeMs());
    case ECheckSubject::Downtime:
        break;
    case ECheckSubject::Header: {
        auto value = answer.Header(check.strName);
        if (!value)
            strWhy = QStringLiteral("no header %1").arg(check.strName);
        return value;
    }
    case ECheckSubject::BodySize:
        if (answer.Whole())
            return QString::number(answer.Body().size());
        if (auto length = answer.Header(QStringLiteral("Content-Length")))
            return *length;
        strWhy = kTooLong;
        return std::nullopt;
    case ECheckSubject::Body:
    case ECheckSubject::Field:
    case ECheckSubject::Json:
        if (!answer.Whole()) {
            strWhy = kTooLong;
            return std::nullopt;
        }
        if (check.subject == ECheckSubject::Body)
            return answer.BodyText();
        if (check.subject == ECheckSubject::Json)
            return JsonValue(answer.Body(), check.strName, strWhy);
        if (auto value = FieldValue(answer.Body(), check.strName))
            return value;
        strWhy = QStringLiteral("no field %1").arg(check.strName);
        return std::nullopt;
    }
    strWhy = QStringLiteral("nothing to read");
    return std::nullopt;
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

CAnswer::CAnswer(int nStatus, const QByteArray& text, bool bWhole, std::int64_t nTimeMs)
    : m_nStatus(nStatus), m_bWhole(bWhole), m_nTimeMs(nTimeMs)
{
    const qsizetype nEnd = text.indexOf("\r\n\r\n");
    m_head = nEnd < 0 ? text : text.left(nEnd + 2);
    m_body = nEnd < 0 ? QByteArray() : text.mid(nEnd + 4);
    m_bWhole = m_bWhole && m_body.size() <= kCheckBodyLimit;
}

std::optional<QString> CAnswer::Header(const QString& strName) const
{
    const QByteArray name = strName.toLatin1();
    qsizetype nStart = m_head.indexOf('\n');  // past the status line
    while (nStart >= 0 && nStart + 1 < m_head.size()) {
        const qsizetype nEnd = m_head.indexOf('\n', nStart + 1);
        const QByteArray line = m_head.mid(nStart + 1, nEnd < 0 ? -1 : nEnd - nStart - 1);
        const qsizetype nColon = line.indexOf(':');
        if (nColon > 0 && line.left(nColon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return QString::fromLatin1(line.mid(nColon + 1).trimmed());
        nStart = nEnd;
    }
    return std::nullopt;
}

const QString& CAnswer::BodyText() const
{
    if (!m_bodyText)
        m_bodyText = QString::fromUtf8(m_body);
    return *m_bodyText;
}

std::optional<QString> FieldValue(const QByteArray& body, const QString& strName)
{
    // Pairs end at a line's end, '&' or a blank: "pan=12\ntilt=3",
    // "pan=12&tilt=3" and "pan=12 tilt=3" read alike.
    const QByteArray name = strName.toUtf8();
    qsizetype i = 0;
    const qsizetype n = body.size();
    auto separator = [](char c) { return c == '\n' || c == '\r' || c == '&' || c == ' ' || c == '\t'; };
    while (i < n) {
        while (i < n && separator(body[i]))
            ++i;
        const qsizetype nStart = i;
        while (i < n && !separator(body[i]))
            ++i;
        const QByteArray pair = QByteArray::fromRawData(body.constData() + nStart, i - nStart);
        const qsizetype nEquals = pair.indexOf('=');
        if (nEquals <= 0 || pair.left(nEquals) != name)
            continue;
        QByteArray value = pair.mid(nEquals + 1);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        return QString::fromUtf8(value);
    }
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
    const QString strExpected = QStringLiteral("expected ") + Written(check.strText);
    QString strWhy;
    const std::optional<QString> actual = Read(check, answer, strWhy);
    if (check.op == ECheckOp::Exists) {
        if (actual.has_value() != check.bNot)
            return QString();
        return actual ? strExpected + QStringLiteral(", got %1").arg(Shown(*actual)) : strExpected + QStringLiteral(", got ") + strWhy;
    }
    if (!actual)
        return strExpected + (strWhy == kTooLong ? QStringLiteral(", but ") : QStringLiteral(", got ")) + strWhy;

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
            return strExpected + QStringLiteral(", but ") + GaveUp();
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
                return strExpected + QStringLiteral(", got %1, not a number").arg(Shown(*actual));
            bHolds = Compare(dActual, check.op, check.dValue, check.dTolerance);
        } else {
            bHolds = (*actual == check.strValue) == (check.op == ECheckOp::Eq);
        }
        break;
    }
    if (bHolds != check.bNot)
        return QString();
    if (check.subject == ECheckSubject::Body && (check.op == ECheckOp::Contains || check.op == ECheckOp::Matches))
        return strExpected + QStringLiteral(", got a body of %1 bytes: %2").arg(answer.Body().size()).arg(Shown(*actual));
    return strExpected + QStringLiteral(", got %1").arg(Shown(*actual));
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

std::optional<QString> Capture(const CCapture& capture, const CAnswer& answer, QString& strWhy)
{
    if (capture.source == ECheckSubject::Body) {
        if (!answer.Whole()) {
            strWhy = kTooLong;
            return std::nullopt;
        }
        QString strGroup;
        const EMatch match = Match(capture.regex, answer.BodyText(), &strGroup);
        if (match == EMatch::Yes)
            return strGroup;
        strWhy = match == EMatch::GaveUp ? GaveUp() : QStringLiteral("the body does not match");
        return std::nullopt;
    }
    CCheck check;
    check.subject = capture.source;
    check.strName = capture.strSubject;
    return Read(check, answer, strWhy);
}

}  // namespace ResponseChecks
