#include "CJUnitReport.h"

#include <QIODevice>
#include <QSaveFile>
#include <QXmlStreamWriter>

#include <algorithm>

namespace {

// Milliseconds as seconds with three decimals: 1234 -> "1.234".
QString Seconds(std::int64_t nMs)
{
    nMs = std::max<std::int64_t>(nMs, 0);
    return QStringLiteral("%1.%2").arg(nMs / 1000).arg(nMs % 1000, 3, 10, QLatin1Char('0'));
}

bool IsFailure(ERequestOutcome outcome, bool bFailOnSlow)
{
    switch (outcome) {
    case ERequestOutcome::Ok:
        return false;
    case ERequestOutcome::Slow:
        return bFailOnSlow;
    case ERequestOutcome::Timeout:
    case ERequestOutcome::Failed:
    case ERequestOutcome::NotSent:
        return true;
    }
    return true;
}

QString StatusText(int nStatus)
{
    return nStatus < 0 ? QStringLiteral("none") : QString::number(nStatus);
}

QString FailureMessage(const CRecordedRequest& request, int nThresholdMs)
{
    switch (request.outcome) {
    case ERequestOutcome::Slow:
        return QStringLiteral("slow: %1 ms, threshold %2 ms").arg(request.nTimeMs).arg(nThresholdMs);
    case ERequestOutcome::Timeout:
        return QStringLiteral("timeout after %1 ms").arg(request.nTimeMs);
    case ERequestOutcome::Failed:
        return request.nStatus < 0
                   ? QStringLiteral("failed after %1 ms").arg(request.nTimeMs)
                   : QStringLiteral("failed after %1 ms, HTTP status %2").arg(request.nTimeMs).arg(request.nStatus);
    case ERequestOutcome::NotSent:
        return QStringLiteral("not sent");
    case ERequestOutcome::Ok:
        break;
    }
    return QString::fromLatin1(OutcomeName(request.outcome));
}

void WriteProperty(QXmlStreamWriter& xml, const QString& strName, const QString& strValue)
{
    xml.writeStartElement(QStringLiteral("property"));
    xml.writeAttribute(QStringLiteral("name"), strName);
    xml.writeAttribute(QStringLiteral("value"), strValue);
    xml.writeEndElement();
}

void WriteSuiteAttributes(QXmlStreamWriter& xml, const CRecordedRun& run, qsizetype nFailures, const QString& strTime)
{
    xml.writeAttribute(QStringLiteral("tests"), QString::number(run.vecRequests.size()));
    xml.writeAttribute(QStringLiteral("failures"), QString::number(nFailures));
    xml.writeAttribute(QStringLiteral("errors"), QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("time"), strTime);
}

void WriteTestcase(QXmlStreamWriter& xml, const CRecordedRun& run, const CRecordedRequest& request, bool bFailOnSlow)
{
    const CRecordedTarget& target = run.vecTargets[request.nTarget];
    xml.writeStartElement(QStringLiteral("testcase"));
    xml.writeAttribute(QStringLiteral("name"), CJUnitReport::XmlSafe(target.strUrl));
    xml.writeAttribute(QStringLiteral("classname"),
                       CJUnitReport::XmlSafe(target.strHost + QLatin1Char(':') + target.strPort));
    xml.writeAttribute(QStringLiteral("time"), Seconds(request.nTimeMs));
    if (IsFailure(request.outcome, bFailOnSlow)) {
        xml.writeStartElement(QStringLiteral("failure"));
        xml.writeAttribute(QStringLiteral("message"), FailureMessage(request, run.start.nThresholdMs));
        xml.writeAttribute(QStringLiteral("type"), QString::fromLatin1(OutcomeName(request.outcome)));
        xml.writeCharacters(CJUnitReport::XmlSafe(QStringLiteral("request %1, pass %2, line %3, %4, status %5, %6 ms")
                                                      .arg(request.nIndex)
                                                      .arg(request.nPass)
                                                      .arg(request.nLine)
                                                      .arg(target.strUrl, StatusText(request.nStatus))
                                                      .arg(request.nTimeMs)));
        xml.writeEndElement();
    }
    xml.writeEndElement();
}

}  // namespace

QString CJUnitReport::XmlSafe(const QString& str)
{
    QString strOut;
    strOut.reserve(str.size());
    for (qsizetype i = 0; i < str.size(); ++i) {
        const char16_t ch = str[i].unicode();
        if (QChar::isHighSurrogate(ch) && i + 1 < str.size() && QChar::isLowSurrogate(str[i + 1].unicode())) {
            strOut += str[i];
            strOut += str[++i];
        } else if ((ch < 0x20 && ch != '\t' && ch != '\n' && ch != '\r') || ch == 0xFFFE || ch == 0xFFFF ||
                   QChar::isSurrogate(ch)) {
            strOut += QStringLiteral("\\x%1").arg(static_cast<uint>(ch), 2, 16, QLatin1Char('0'));
        } else {
            strOut += str[i];
        }
    }
    return strOut;
}

bool CJUnitReport::Write(QIODevice& device, const CRecordedRun& run, bool bFailOnSlow)
{
    qsizetype nFailures = 0;
    std::int64_t nSumMs = 0;
    for (const CRecordedRequest& request : run.vecRequests) {
        nFailures += IsFailure(request.outcome, bFailOnSlow) ? 1 : 0;
        nSumMs += std::max<std::int64_t>(request.nTimeMs, 0);
    }
    const QString strTime = Seconds(run.bEnded ? run.end.nApplicationMs : nSumMs);
    const QString strName =
        run.start.strScript.isEmpty() ? QStringLiteral("velkor") : XmlSafe(run.start.strScript);

    QXmlStreamWriter xml(&device);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("testsuites"));
    xml.writeAttribute(QStringLiteral("name"), strName);
    WriteSuiteAttributes(xml, run, nFailures, strTime);

    xml.writeStartElement(QStringLiteral("testsuite"));
    xml.writeAttribute(QStringLiteral("name"), strName);
    WriteSuiteAttributes(xml, run, nFailures, strTime);
    xml.writeAttribute(QStringLiteral("skipped"), QStringLiteral("0"));
    if (run.bStarted && run.start.startedAt.isValid())
        xml.writeAttribute(QStringLiteral("timestamp"), run.start.startedAt.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));

    xml.writeStartElement(QStringLiteral("properties"));
    WriteProperty(xml, QStringLiteral("threshold_ms"), QString::number(run.start.nThresholdMs));
    WriteProperty(xml, QStringLiteral("partial"), run.IsPartial() ? QStringLiteral("true") : QStringLiteral("false"));
    WriteProperty(xml, QStringLiteral("stopped"),
                  run.bEnded && run.end.bStopped ? QStringLiteral("true") : QStringLiteral("false"));
    if (run.bEnded && run.end.nWhileRepeat >= 0)
        WriteProperty(xml, QStringLiteral("while_repeat"), QString::number(run.end.nWhileRepeat));
    xml.writeEndElement();

    for (const CRecordedRequest& request : run.vecRequests)
        WriteTestcase(xml, run, request, bFailOnSlow);

    if (run.IsPartial())
        xml.writeTextElement(QStringLiteral("system-err"),
                             QStringLiteral("Partial report: the run was cut short before its end."));
    xml.writeEndElement();  // testsuite
    xml.writeEndElement();  // testsuites
    xml.writeEndDocument();
    return !xml.hasError();
}

bool CJUnitReport::Save(const QString& strPath, const CRecordedRun& run, bool bFailOnSlow, QString* pError)
{
    QSaveFile file(strPath);
    if (!file.open(QIODevice::WriteOnly) || !Write(file, run, bFailOnSlow) || !file.commit()) {
        if (pError)
            *pError = file.errorString();
        return false;
    }
    return true;
}
