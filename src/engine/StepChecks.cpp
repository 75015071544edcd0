#include "StepChecks.h"

#include "http/CResponseParser.h"

namespace StepChecks {

int ResponseCapacity() { return CResponseParser::kMaxHead + ResponseChecks::kCheckBodyLimit + 2; }

COutcome Judge(const CStepChecks& step, const ResponseChecks::CAnswer& answer, ScriptVariables& captures)
{
    COutcome outcome;
    for (const CCheck& check : step.checks) {
        ++outcome.nJudged;
        const QString strReason = ResponseChecks::Judge(check, answer);
        if (!strReason.isEmpty()) {
            outcome.failures << strReason;
            outcome.lines << check.nLine;
        }
    }
    for (const CCapture& capture : step.captures) {
        ++outcome.nJudged;
        QString strWhy;
        // Taken into the value kept from the pass before, in its room.
        auto it = captures.find(capture.strName);
        if (it == captures.end())
            it = captures.insert(capture.strName, QString());
        if (!ResponseChecks::CaptureInto(capture, answer, it.value(), strWhy)) {
            captures.erase(it);
            outcome.failures << QStringLiteral("capture %1 not taken: %2").arg(capture.strName, strWhy);
            outcome.lines << capture.nLine;
        }
    }
    return outcome;
}

COutcome JudgeWait(const CStepChecks& step, std::int64_t nDownMs, bool bStopped)
{
    COutcome outcome;
    for (const CCheck& check : step.checks) {
        ++outcome.nJudged;
        const QString strReason = ResponseChecks::JudgeDowntime(check, nDownMs, bStopped);
        if (!strReason.isEmpty()) {
            outcome.failures << strReason;
            outcome.lines << check.nLine;
        }
    }
    return outcome;
}

const QString& TargetWithCaptures(const QString& strTarget, const QStringList& captureNames,
                                  const ScriptVariables& captures, QString& buffer, QStringList& missing)
{
    if (captureNames.isEmpty() || !strTarget.contains(QLatin1String("{{")))
        return strTarget;
    QStringList unknown;
    SubstituteLineInto(buffer, strTarget, captures, &unknown);
    for (const QString& strName : unknown)
        if (captureNames.contains(strName))
            missing << strName;
    return buffer;
}

QString CheckLine(const QString& strTarget, int nLine, const QString& strReason)
{
    return QStringLiteral("[CHECK] %1 (line %2) - %3").arg(strTarget).arg(nLine).arg(strReason);
}

QString NoCaptureReason(const QStringList& missing)
{
    QStringList names;
    for (const QString& strName : missing)
        names << QStringLiteral("{{%1}}").arg(strName);
    return QStringLiteral("no value captured yet for %1").arg(names.join(QStringLiteral(", ")));
}

}  // namespace StepChecks
