#include "ResultsHandOff.h"

#include "CRunContext.h"
#include "platform/MonotonicClock.h"

#include <algorithm>

CResultsHandOff::CResultsHandOff(CRunContext& context) : m_context(context) {}

bool CResultsHandOff::Wanted() const { return !m_context.m_listeners.empty(); }

void CResultsHandOff::Start()
{
    m_nResults = 0;
    m_nCheckAlives = 0;
    m_nOpenedMs = MonotonicMs();
    if (!Wanted())
        return;
    CRunStartInfo info;
    info.strScript = m_context.m_strScriptName;
    info.startedAt = QDateTime::currentDateTime();
    info.nThresholdMs = m_context.m_nResponseLimitMs;
    info.bFailOnSlow = m_context.m_settings.bFailOnSlow;
    info.bFailOnStatus = m_context.m_settings.bFailOnStatus;
    if (m_context.m_settings.nMaxDurationMs > 0)
        info.strMaxDuration = m_context.m_settings.strMaxDuration;
    info.nMaxPasses = m_context.m_settings.nMaxPasses;
    info.vecRequirements = m_context.m_script.m_vecRequirements;
    info.vecNotRequestLines = m_context.m_script.m_vecNotRequestLines;
    for (const CCommandItem& command : m_context.m_script.m_vecCommands)
        info.nLastStepLine = std::max(info.nLastStepLine, command.m_nLine);
    info.vecRequirements.insert(info.vecRequirements.end(), m_context.m_settings.vecRequirements.begin(),
                                m_context.m_settings.vecRequirements.end());
    for (IRunListener* listener : m_context.m_listeners)
        listener->OnRunStart(info);
}

void CResultsHandOff::Add(CRequestResult& result)
{
    result.nIndex = ++m_nResults;
    result.bPass = m_context.m_settings.RequestPasses(result.outcome, result.nStatus) && result.nChecksFailed == 0;
    for (IRunListener* listener : m_context.m_listeners)
        listener->OnRequest(result);
}

void CResultsHandOff::AddCheckAlive(CCheckAliveResult& result)
{
    result.nIndex = ++m_nCheckAlives;
    for (IRunListener* listener : m_context.m_listeners)
        listener->OnCheckAlive(result);
}

void CResultsHandOff::End(const CRunEndInfo& info)
{
    for (IRunListener* listener : m_context.m_listeners)
        listener->OnRunEnd(info);
}
