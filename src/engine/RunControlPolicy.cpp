#include "RunControlPolicy.h"

#include "log/CLogWriter.h"
#include "platform/IRunControls.h"

void RestoreControlsAfterRun(IRunControls& controls, CLogWriter& log)
{
    log.SetLogFileName(QString());
    controls.EnableControl(ERunControl::Stop, false);
    controls.EnableControl(ERunControl::Send, true);
    controls.EnableControl(ERunControl::CommandBox, true);
    controls.EnableControl(ERunControl::ClearCommand, true);
    controls.EnableControl(ERunControl::ClearLog, true);
    controls.EnableControl(ERunControl::AutoSave, true);
    controls.EnableControl(ERunControl::Threshold, true);
    controls.EnableControl(ERunControl::SetPath, log.IsAutoSave());
}
