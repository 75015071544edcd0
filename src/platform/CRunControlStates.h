#pragma once

#include "IRunControls.h"

#include <array>
#include <atomic>

// Keeps the enabled state of every run control; starts in the idle state of
// the window (everything enabled but "Stop" and "Set path").
class CRunControlStates : public IRunControls {
public:
    CRunControlStates();

    void EnableControl(ERunControl eControl, bool bEnable) override;
    bool IsEnabled(ERunControl eControl) const;

private:
    std::array<std::atomic<bool>, kRunControlCount> m_states;
};
