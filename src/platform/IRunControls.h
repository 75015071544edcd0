#pragma once

// The controls whose state a run changes. A front end maps them to its
// widgets; the headless runner only records them.
enum class ERunControl {
    Send,
    Stop,
    CommandBox,
    ClearCommand,
    ClearLog,
    AutoSave,
    Threshold,
    SetPath,
};

inline constexpr int kRunControlCount = int(ERunControl::SetPath) + 1;

class IRunControls {
public:
    virtual ~IRunControls() = default;
    // May be called from the worker thread; an implementation that owns
    // widgets must carry the change out on its own thread, in call order.
    virtual void EnableControl(ERunControl eControl, bool bEnable) = 0;
};
