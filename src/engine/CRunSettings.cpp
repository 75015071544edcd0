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

bool CRunSettings::ParseDuration(const QString& strText, std::int64_t* pMs)
{
    QString strDigits = strText;
    std::int64_t nUnitMs = 1000;
    if (!strDigits.isEmpty()) {
        switch (strDigits.back().unicode()) {
        case 's':
            strDigits.chop(1);
            break;
        case 'm':
            nUnitMs = 60 * 1000;
            strDigits.chop(1);
            break;
        case 'h':
            nUnitMs = 3600 * 1000;
            strDigits.chop(1);
            break;
        default:
            break;
        }
    }
    int nCount = 0;
    if (!ParseThreshold(strDigits, &nCount) || nCount == 0)
        return false;
    const std::int64_t nMs = nCount * nUnitMs;
    if (nMs > std::int64_t(100000) * 3600 * 1000)
        return false;
    *pMs = nMs;
    return true;
}

bool CRunSettings::ParsePasses(const QString& strText, int* pPasses)
{
    int nPasses = 0;
    if (!ParseThreshold(strText, &nPasses) || nPasses == 0)
        return false;
    *pPasses = nPasses;
    return true;
}

int CRunSettings::ThresholdFromBox(const QString& strText)
{
    return ReadLeadingInt(strText.left(15));
}
