#pragma once

// Exit codes of velkor-cli (documented in the README). When a run meets
// more than one, the first of 3, 5, 6 wins; 4 (a report not written) only
// replaces 0; a signal's code replaces them all.
enum ECliExit {
    kExitOk = 0,
    kExitUsage = 1,           // bad arguments
    kExitScriptError = 2,     // the script failed to parse
    kExitRequestFailed = 3,   // a request failed or timed out
    kExitFileError = 4,       // the command file could not be read, or a report not written
    kExitSlow = 5,            // with --fail-on-slow: a response was slow
    kExitErrorStatus = 6,     // with --fail-on-status: a final HTTP status was 400 or above
    kExitHangUp = 129,        // the run was ended by SIGHUP
    kExitAborted = 130,       // aborted with a second Ctrl+C
    kExitTerminated = 143,    // the run was ended by SIGTERM
};
