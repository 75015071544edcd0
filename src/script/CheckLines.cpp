#include "CheckLines.h"

#include "CheckWords.h"
#include "Placeholders.h"

#include <cmath>

using namespace CheckWords;

namespace {

bool IsTimeSubject(ECheckSubject subject) { return subject == ECheckSubject::Time || subject == ECheckSubject::Downtime; }

// The subject's words from words[i] on; i is moved past them.
QString ReadSubject(const std::vector<CWord>& words, std::size_t& i, CCheck& check)
{
    const QString strWord = words[i++].strText;
    auto name = [&](const char* szWhat) -> QString {
        if (i >= words.size())
            return QStringLiteral("%1 needs a name after it").arg(QLatin1String(szWhat));
        check.strName = words[i++].strText;
        return QString();
    };
    if (strWord == QLatin1String("status")) {
        check.subject = ECheckSubject::Status;
    } else if (strWord == QLatin1String("header")) {
        check.subject = ECheckSubject::Header;
        return name("header");
    } else if (strWord == QLatin1String("body")) {
        check.subject = ECheckSubject::Body;
        if (i < words.size() && !words[i].bQuoted && words[i].strText == QLatin1String("size")) {
            check.subject = ECheckSubject::BodySize;
            ++i;
        }
    } else if (strWord == QLatin1String("field")) {
        check.subject = ECheckSubject::Field;
        return name("field");
    } else if (strWord == QLatin1String("json")) {
        check.subject = ECheckSubject::Json;
        const QString strError = name("json");
        if (strError.isEmpty() && !check.strName.isEmpty() && !check.strName.startsWith(QLatin1Char('/')))
            return QStringLiteral("a JSON Pointer starts with '/': '%1'").arg(check.strName);
        return strError;
    } else if (strWord == QLatin1String("time")) {
        check.subject = ECheckSubject::Time;
    } else if (strWord == QLatin1String("downtime")) {
        check.subject = ECheckSubject::Downtime;
    } else {
        return QStringLiteral("unknown check '%1' (status, header, body, field, json, time, downtime)").arg(strWord);
    }
    return QString();
}

QString ReadCheck(const std::vector<CWord>& words, CCheck& check)
{
    if (words.size() < 2)
        return QStringLiteral("nothing to check after 'Expect'");
    std::size_t i = 1;
    QString strError = ReadSubject(words, i, check);
    if (!strError.isEmpty())
        return strError;
    const bool bNumberSubject =
        check.subject == ECheckSubject::Status || check.subject == ECheckSubject::BodySize || IsTimeSubject(check.subject);

    if (i < words.size() && !words[i].bQuoted && words[i].strText == QLatin1String("not")) {
        check.bNot = true;
        ++i;
    }
    if (i >= words.size()) {
        if (check.subject != ECheckSubject::Header)
            return QStringLiteral("a comparison is missing");
        check.op = ECheckOp::Exists;
        return QString();
    }
    const CWord& opWord = words[i];
    bool bOpWritten = !opWord.bQuoted && ReadOp(opWord.strText, check.op);
    if (!bOpWritten && !opWord.bQuoted && opWord.strText == QLatin1String("is")) {
        if (i + 1 >= words.size() || words[i + 1].strText != QLatin1String("empty"))
            return QStringLiteral("'is' is followed by 'empty'");
        check.op = ECheckOp::Empty;
        i += 2;
    } else if (bOpWritten) {
        ++i;
    } else if (check.subject == ECheckSubject::Status) {
        check.op = ECheckOp::Eq;  // "Expect status 200", "Expect status 2xx"
    } else {
        return QStringLiteral("unknown comparison '%1'").arg(opWord.strText);
    }

    const bool bNamed = check.subject == ECheckSubject::Header || check.subject == ECheckSubject::Field ||
                        check.subject == ECheckSubject::Json;
    if (check.op == ECheckOp::Exists || check.op == ECheckOp::Empty) {
        if (!bNamed && !(check.op == ECheckOp::Empty && check.subject == ECheckSubject::Body))
            return QStringLiteral("'%1' cannot be asked of this").arg(words[i - 1].strText);
    } else if (check.op == ECheckOp::In) {
        if (check.subject != ECheckSubject::Status)
            return QStringLiteral("'in' takes statuses only");
        for (; i < words.size(); ++i) {
            QString strValue = words[i].strText;
            strValue.remove(QLatin1Char(','));
            if (strValue.isEmpty())
                continue;
            if (!IsStatus(strValue))
                return QStringLiteral("'%1' is no status (200, 2xx)").arg(strValue);
            check.listValues << strValue;
        }
        if (check.listValues.isEmpty())
            return QStringLiteral("'in' needs statuses after it");
    } else {
        if (i >= words.size())
            return QStringLiteral("a value is missing after '%1'").arg(words[i - 1].strText);
        const CWord& value = words[i++];
        check.strValue = value.strText;
        if (check.op == ECheckOp::Matches) {
            if (bNumberSubject)
                return QStringLiteral("'matches' takes text only");
            check.regex = BoundedRegex(value.strText);
            if (!check.regex.isValid())
                return QStringLiteral("bad regular expression: %1").arg(check.regex.errorString());
        } else if (check.op == ECheckOp::Contains) {
            if (bNumberSubject)
                return QStringLiteral("'contains' takes text only");
        } else if (check.subject == ECheckSubject::Status) {
            if (IsOrder(check.op) ? !ReadNumber(value.strText, check.dValue) : !IsStatus(value.strText))
                return QStringLiteral("'%1' is no status (200, 2xx)").arg(value.strText);
            check.bNumeric = !IsStatusClass(value.strText);
            ReadNumber(value.strText, check.dValue);
        } else if (IsTimeSubject(check.subject)) {
            if (value.bQuoted || !ReadMs(value.strText, check.dValue))
                return QStringLiteral("'%1' is no time (250, 250ms, 60s)").arg(value.strText);
            check.bNumeric = true;
        } else if (check.subject == ECheckSubject::BodySize || IsOrder(check.op)) {
            if (value.bQuoted || !ReadNumber(value.strText, check.dValue))
                return QStringLiteral("'%1' is no number").arg(value.strText);
            check.bNumeric = true;
        } else {
            check.bNumeric = !value.bQuoted && ReadNumber(value.strText, check.dValue);
        }
        if (i < words.size() && !words[i].bQuoted &&
            (words[i].strText == QString(QChar(0x00B1)) || words[i].strText == QLatin1String("+-"))) {
            if (!check.bNumeric || (check.op != ECheckOp::Eq && check.op != ECheckOp::Ne))
                return QStringLiteral("a tolerance goes with == or != and a number");
            if (i + 1 >= words.size() || !ReadNumber(words[i + 1].strText, check.dTolerance) ||
                check.dTolerance < 0)
                return QStringLiteral("a tolerance needs a number of 0 or more after it");
            if (IsTimeSubject(check.subject))
                ReadMs(words[i + 1].strText, check.dTolerance);
            i += 2;
        }
    }
    if (i < words.size())
        return QStringLiteral("unexpected '%1'").arg(words[i].strText);
    return QString();
}

QString ReadCapture(const std::vector<CWord>& words, CCapture& capture)
{
    if (words.size() < 4 || words[2].strText != QLatin1String("="))
        return QStringLiteral("write 'Capture NAME = field F' (or header H, json /pointer, status, body matches \"RE\")");
    capture.strName = words[1].strText;
    if (!IsVariableName(capture.strName))
        return QStringLiteral("'%1' is no name (a letter or '_', then letters, digits, '_' or '-')").arg(capture.strName);
    const QString strSource = words[3].strText;
    std::size_t nNeeded = 5;
    if (strSource == QLatin1String("field")) {
        capture.source = ECheckSubject::Field;
    } else if (strSource == QLatin1String("header")) {
        capture.source = ECheckSubject::Header;
    } else if (strSource == QLatin1String("json")) {
        capture.source = ECheckSubject::Json;
    } else if (strSource == QLatin1String("status")) {
        capture.source = ECheckSubject::Status;
        nNeeded = 4;
    } else if (strSource == QLatin1String("body")) {
        capture.source = ECheckSubject::Body;
        if (words.size() < 6 || words[4].strText != QLatin1String("matches"))
            return QStringLiteral("a body capture is written 'body matches \"RE\"'");
        capture.regex = BoundedRegex(words[5].strText);
        if (!capture.regex.isValid())
            return QStringLiteral("bad regular expression: %1").arg(capture.regex.errorString());
        capture.strSubject = words[5].strText;
        nNeeded = 6;
    } else {
        return QStringLiteral("unknown source '%1' (field, header, json, status, body matches)").arg(strSource);
    }
    if (words.size() < nNeeded)
        return QStringLiteral("'%1' needs a name after it").arg(strSource);
    if (capture.source != ECheckSubject::Body && nNeeded == 5)
        capture.strSubject = words[4].strText;
    if (capture.source == ECheckSubject::Json && !capture.strSubject.isEmpty() &&
        !capture.strSubject.startsWith(QLatin1Char('/')))
        return QStringLiteral("a JSON Pointer starts with '/': '%1'").arg(capture.strSubject);
    if (words.size() > nNeeded)
        return QStringLiteral("unexpected '%1'").arg(words[nNeeded].strText);
    return QString();
}

QString RequirementFromWords(const std::vector<CWord>& words, std::size_t i, CRequirement& requirement)
{
    static const struct {
        const char* szName;
        ERequireMetric metric;
    } kMetrics[] = {{"p50", ERequireMetric::P50}, {"p95", ERequireMetric::P95}, {"p99", ERequireMetric::P99},
                    {"max", ERequireMetric::Max}, {"errors", ERequireMetric::Errors}, {"rps", ERequireMetric::Rps},
                    {"count", ERequireMetric::Count}};
    if (words.size() < i + 3)
        return QStringLiteral("write METRIC OP VALUE, as 'p99 < 300' (p50, p95, p99, max, errors, rps, count)");
    bool bKnown = false;
    for (const auto& entry : kMetrics) {
        if (words[i].strText == QLatin1String(entry.szName)) {
            requirement.metric = entry.metric;
            bKnown = true;
        }
    }
    if (!bKnown)
        return QStringLiteral("unknown figure '%1' (p50, p95, p99, max, errors, rps, count)").arg(words[i].strText);
    ECheckOp op = ECheckOp::Lt;
    if (!ReadOp(words[i + 1].strText, op) || op == ECheckOp::Contains || op == ECheckOp::Matches ||
        op == ECheckOp::Exists || op == ECheckOp::In)
        return QStringLiteral("unknown comparison '%1' (==, !=, <, <=, >, >=)").arg(words[i + 1].strText);
    requirement.op = op;
    QString strValue = words[i + 2].strText;
    bool bOk = false;
    switch (requirement.metric) {
    case ERequireMetric::P50:
    case ERequireMetric::P95:
    case ERequireMetric::P99:
    case ERequireMetric::Max:
        bOk = ReadMs(strValue, requirement.dValue);
        break;
    case ERequireMetric::Errors:
        if (strValue.endsWith(QLatin1Char('%')))
            strValue.chop(1);
        bOk = ReadNumber(strValue, requirement.dValue);
        break;
    case ERequireMetric::Rps:
    case ERequireMetric::Count:
        bOk = ReadNumber(strValue, requirement.dValue);
        break;
    }
    if (!bOk)
        return QStringLiteral("'%1' is no number").arg(words[i + 2].strText);
    i += 3;
    if (i < words.size()) {
        if (words[i].strText == QLatin1String("per") && i + 1 < words.size() &&
            words[i + 1].strText == QLatin1String("url")) {
            requirement.bPerUrl = true;
            i += 2;
        } else if (words[i].strText == QLatin1String("for") && i + 1 < words.size()) {
            requirement.strUrlPart = words[i + 1].strText;
            i += 2;
        }
    }
    if (i < words.size())
        return QStringLiteral("unexpected '%1' (end with 'per url' or 'for TEXT')").arg(words[i].strText);
    return QString();
}

QString Simplified(const QString& strText) { return strText.simplified(); }

}  // namespace

QRegularExpression BoundedRegex(const QString& strPattern)
{
    // PCRE2's match limit bounds the work; the empty branch at the subject's
    // end tells a pattern that did not match (that branch matched) from one
    // that hit the limit (no match at all).
    return QRegularExpression(QStringLiteral("(*LIMIT_MATCH=%1)(?:%2)|(?<velkorEnd>\\z)")
                                  .arg(kRegexMatchLimit)
                                  .arg(strPattern));
}

CCheckLineRead ReadCheckLine(const QString& strLine)
{
    CCheckLineRead read;
    const QString strTrimmed = strLine.trimmed();
    const qsizetype nFirstEnd = strTrimmed.indexOf(QRegularExpression(QStringLiteral("[ \\t]")));
    const QString strFirst = nFirstEnd < 0 ? strTrimmed : strTrimmed.left(nFirstEnd);
    if (strFirst == QLatin1String("Expect"))
        read.kind = ECheckLine::Check;
    else if (strFirst == QLatin1String("Capture"))
        read.kind = ECheckLine::Capture;
    else if (strFirst == QLatin1String("Require"))
        read.kind = ECheckLine::Requirement;
    else
        return read;
    const QString strRest = Simplified(nFirstEnd < 0 ? QString() : strTrimmed.mid(nFirstEnd + 1));

    std::vector<CWord> words;
    if (!SplitWords(strTrimmed, words, read.strError))
        return read;
    switch (read.kind) {
    case ECheckLine::Check:
        read.check.strText = strRest;
        read.strError = ReadCheck(words, read.check);
        break;
    case ECheckLine::Capture:
        read.capture.strText = strRest;
        read.strError = ReadCapture(words, read.capture);
        break;
    case ECheckLine::Requirement:
        read.requirement.strText = strRest;
        read.strError = RequirementFromWords(words, 1, read.requirement);
        break;
    case ECheckLine::None:
        break;
    }
    return read;
}

QString ReadRequirement(const QString& strText, CRequirement& requirement)
{
    std::vector<CWord> words;
    QString strError;
    if (!SplitWords(strText, words, strError))
        return strError;
    requirement.strText = Simplified(strText);
    return RequirementFromWords(words, 0, requirement);
}

QStringList CaptureNames(const QStringList& lines)
{
    QStringList names;
    for (const QString& strLine : lines) {
        const QString strTrimmed = strLine.trimmed();
        if (!strTrimmed.startsWith(QLatin1String("Capture ")) && !strTrimmed.startsWith(QLatin1String("Capture\t")))
            continue;
        const QString strName = strTrimmed.mid(8).trimmed().section(QLatin1Char(' '), 0, 0).section(QLatin1Char('\t'), 0, 0);
        if (IsVariableName(strName) && !names.contains(strName))
            names << strName;
    }
    return names;
}
