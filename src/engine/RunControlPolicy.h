#pragma once

class CLogWriter;
class IRunControls;

// The end of every run, however it ended (a script that failed to parse, the
// end of the script, closing): the run's lines no longer go to its file, and
// the front end's controls are back in their idle state, "Stop" disabled and
// "Set path" enabled only with auto-save on.
void RestoreControlsAfterRun(IRunControls& controls, CLogWriter& log);
