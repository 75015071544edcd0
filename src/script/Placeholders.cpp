#include "Placeholders.h"

#include "SplitCommandUrl.h"
#include "CheckLines.h"

#include "log/CLogWriter.h"

namespace {

bool IsAsciiLetter(QChar ch)
{
    return (ch >= QLatin1Char('a') && ch <= QLatin1Char('z')) || (ch >= QLatin1Char('A') && ch <= QLatin1Char('Z'));
}

bool IsAsciiDigit(QChar ch)
{
    return ch >= QLatin1Char('0') && ch <= QLatin1Char('9');
}

// Calls onText for the text between placeholders and onPlaceholder for each
// placeholder's name, in order.
template <typename OnText, typename OnPlaceholder>
void ScanLine(const QString& strLine, OnText onText, OnPlaceholder onPlaceholder)
{
    qsizetype nFrom = 0;
    qsizetype nPos = 0;
    while ((nPos = strLine.indexOf(QLatin1String("{{"), nPos)) >= 0) {
        const qsizetype nClose = strLine.indexOf(QLatin1String("}}"), nPos + 2);
        if (nClose < 0)
            break;
        const QStringView name = QStringView(strLine).mid(nPos + 2, nClose - nPos - 2);
        if (!IsVariableName(name)) {
            // "{{{x}}": the placeholder may start one brace further on.
            ++nPos;
            continue;
        }
        onText(QStringView(strLine).mid(nFrom, nPos - nFrom));
        onPlaceholder(name, QStringView(strLine).mid(nPos, nClose + 2 - nPos));
        nPos = nFrom = nClose + 2;
    }
    onText(QStringView(strLine).mid(nFrom));
}

}  // namespace

bool IsVariableName(QStringView strName)
{
    if (strName.isEmpty() || !(IsAsciiLetter(strName.front()) || strName.front() == QLatin1Char('_')))
        return false;
    for (const QChar ch : strName)
        if (!IsAsciiLetter(ch) && !IsAsciiDigit(ch) && ch != QLatin1Char('_') && ch != QLatin1Char('-'))
            return false;
    return true;
}

QString SubstituteLine(const QString& strLine, const ScriptVariables& variables, QStringList* pMissing,
                       int* pnPlaceholders)
{
    QString strResult;
    strResult.reserve(strLine.size());
    SubstituteLineInto(strResult, strLine, variables, pMissing, pnPlaceholders);
    return strResult;
}

void SubstituteLineInto(QString& out, const QString& strLine, const ScriptVariables& variables, QStringList* pMissing,
                        int* pnPlaceholders)
{
    // The name looked up in a buffer of the thread's: a lookup allocates
    // nothing once it has grown.
    thread_local QString strName;
    out.resize(0);
    ScanLine(
        strLine, [&out](QStringView text) { out.append(text); },
        [&](QStringView name, QStringView whole) {
            if (pnPlaceholders != nullptr)
                ++*pnPlaceholders;
            strName.resize(0);
            strName.append(name);
            const auto it = variables.constFind(strName);
            if (it == variables.constEnd()) {
                if (pMissing != nullptr && !pMissing->contains(name))
                    pMissing->append(name.toString());
                out.append(whole);
                return;
            }
            // A line break in a value becomes a space: "\r\n", "\r" and "\n" alike.
            const QString& strValue = it.value();
            for (qsizetype i = 0; i < strValue.size(); ++i) {
                const QChar ch = strValue[i];
                if (ch == QLatin1Char('\r') || ch == QLatin1Char('\n')) {
                    out.append(QLatin1Char(' '));
                    if (ch == QLatin1Char('\r') && i + 1 < strValue.size() && strValue[i + 1] == QLatin1Char('\n'))
                        ++i;
                    continue;
                }
                const qsizetype nFrom = i;
                while (i + 1 < strValue.size() && strValue[i + 1] != QLatin1Char('\r') &&
                       strValue[i + 1] != QLatin1Char('\n'))
                    ++i;
                out.append(QStringView(strValue).mid(nFrom, i + 1 - nFrom));
            }
        });
}

SSubstitutedScript SubstituteScript(const QStringList& lines, const ScriptVariables& variables)
{
    SSubstitutedScript result;
    result.lines.reserve(lines.size());
    // A capture's placeholder is filled at send time, from an answer.
    QStringList captures;
    bool bCapturesRead = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& strLine = lines[i];
        if (!strLine.contains(QLatin1String("{{"))) {
            result.lines << strLine;
            continue;
        }
        QStringList missing;
        int nPlaceholders = 0;
        QString strSubstituted = SubstituteLine(strLine, variables, &missing, &nPlaceholders);
        result.bHadPlaceholders = result.bHadPlaceholders || nPlaceholders > 0;
        if (!missing.isEmpty() && !bCapturesRead) {
            captures = CaptureNames(lines);
            bCapturesRead = true;
        }
        for (const QString& strName : missing)
            if (!captures.contains(strName))
                result.errors << QStringLiteral("<Syntax error> No value for the placeholder {{%1}} in line %2: %3")
                                 .arg(strName, QString::number(i + 1), MaskUrlPasswords(strLine));
        result.lines << std::move(strSubstituted);
    }
    return result;
}

bool SubstituteScriptLogged(QStringList& lines, const ScriptVariables& variables, CLogWriter& log,
                           bool* pHadPlaceholders)
{
    SSubstitutedScript substituted = SubstituteScript(lines, variables);
    if (pHadPlaceholders != nullptr)
        *pHadPlaceholders = substituted.bHadPlaceholders;
    if (!substituted.errors.isEmpty()) {
        log.WriteLog(QStringLiteral("Read command"));
        for (const QString& strError : substituted.errors)
            log.WriteLog(strError);
        return false;
    }
    lines = std::move(substituted.lines);
    return true;
}
