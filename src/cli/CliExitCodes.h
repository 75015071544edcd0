#pragma once

// Exit codes of velkor-cli (documented in the README).
enum ECliExit {
    kExitOk = 0,
    kExitUsage = 1,           // bad arguments
    kExitScriptError = 2,     // the script failed to parse
    kExitRequestFailed = 3,   // a request failed or timed out
    kExitFileError = 4,       // the command file could not be read
    kExitHangUp = 129,        // the run was ended by SIGHUP
    kExitAborted = 130,       // aborted with a second Ctrl+C
    kExitTerminated = 143,    // the run was ended by SIGTERM
};
