#include "CRunControlStates.h"

CRunControlStates::CRunControlStates()
{
    for (auto& state : m_states)
        state.store(true);
    m_states[int(ERunControl::Stop)].store(false);
    m_states[int(ERunControl::SetPath)].store(false);
}

void CRunControlStates::EnableControl(ERunControl eControl, bool bEnable)
{
    m_states[int(eControl)].store(bEnable);
}

bool CRunControlStates::IsEnabled(ERunControl eControl) const
{
    return m_states[int(eControl)].load();
}
