#include "CRunSettings.h"

#include "platform/TextConv.h"

#include <climits>

bool CRunSettings::RequestPasses(ERequestOutcome outcome, int nStatus) const
{
    switch (outcome) {
    case ERequestOutcome::Ok:
        break;
    case ERequestOutcome::Slow:
        if (bFailOnSlow)
            return false;
        break;
    case ERequestOutcome::Timeout:
    case ERequestOutcome::Failed:
    case ERequestOutcome::NotSent:
        return false;
    }
    return !(bFailOnStatus && nStatus >= 400);
}

bool CRunSettings::ParseThreshold(const QString& strText, int* pMs)
{
    if (strText.isEmpty() || strText.size() > 10)
        return false;
    long long nValue = 0;
    for (const QChar ch : strText) {
        if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
            return false;
        nValue = nValue * 10 + (ch.unicode() - '0');
    }
    if (nValue > INT_MAX)
        return false;
    *pMs = static_cast<int>(nValue);
    return true;
}

int CRunSettings::ThresholdFromBox(const QString& strText)
{
    return ReadLeadingInt(strText.left(15));
}
