#pragma once

// Exit codes of velkor-cli. When a run meets more than one, the first of 3,
// 5, 6, 7 wins; 4 (a report not written) only replaces 0; a signal's code
// replaces them all. kCliExitCodeDocs below is the one description of them:
// --help, the man page's EXIT STATUS and the README are made from or cite it.
enum ECliExit {
    kExitOk = 0,
    kExitUsage = 1,           // bad arguments
    kExitScriptError = 2,     // the script failed to parse
    kExitRequestFailed = 3,   // a request failed or timed out
    kExitFileError = 4,       // the command file could not be read, or a report not written
    kExitSlow = 5,            // with --fail-on-slow: a response was slow
    kExitErrorStatus = 6,     // with --fail-on-status: a final HTTP status was 400 or above
    kExitCheckFailed = 7,     // an Expect or Capture line, or a requirement of the run, failed
    kExitHangUp = 129,        // the run was ended by SIGHUP
    kExitAborted = 130,       // aborted with a second Ctrl+C
    kExitTerminated = 143,    // the run was ended by SIGTERM
};

// One exit code as --help names it (szHelp, a few plain words) and as the man
// page's EXIT STATUS describes it (szMan, roff).
struct CliExitCodeDoc {
    ECliExit nCode;
    const char* szHelp;
    const char* szMan;
};

inline constexpr CliExitCodeDoc kCliExitCodeDocs[] = {
    {kExitOk, "ok (every request got a response)",
     "Success\n.RB ( run :\nevery request got a response, whatever its HTTP status)."},
    {kExitUsage, "usage error",
     "Usage error: an unknown command or option, a missing file argument, a\n.B \\-\\-threshold\n"
     "that is not 0 to 2147483647 in digits,\n.B \\-\\-password\nwith\n.BR \\-\\-password\\-file ,\nor a\n"
     ".BR \\-\\-password\\-file ,\n.BR \\-\\-log\\-dir ,\n.BR \\-\\-cacert ,\n.BR \\-\\-json ,\n.B \\-\\-junit\nor\n.B \\-\\-html\n"
     "that cannot be used."},
    {kExitScriptError, "script error",
     "Script error: the parse failed (the log lines say why), or with\n.B \\-\\-strict\n"
     "it wrote a syntax error line."},
    {kExitRequestFailed, "a request failed or timed out",
     ".BR run :\na request failed, timed out, or could not be sent (no host or port)."},
    {kExitFileError, "file not readable or a report not written",
     "The command file cannot be read, or\n.RB ( run )\na report could not be written when the run would "
     "otherwise have exited 0 (a message\non standard error)."},
    {kExitSlow, "a slow response (--fail-on-slow)",
     ".BR run \" with \" \\-\\-fail\\-on\\-slow :\na response was slow."},
    {kExitErrorStatus, "an HTTP status of 400 or above (--fail-on-status)",
     ".BR run \" with \" \\-\\-fail\\-on\\-status :\na final HTTP status was 400 or above."},
    {kExitCheckFailed, "a check or a requirement failed",
     ".BR run :\nan\n.B Expect\nor\n.B Capture\nline of the script failed on an answer or a\n.B CheckAlive\n"
     "wait, or a requirement of the run\n.RB ( Require ,\n.BR \\-\\-require )\ndid not hold."},
    {kExitHangUp, "ended by SIGHUP", ".BR run :\nended by SIGHUP."},
    {kExitAborted, "aborted",
     "Aborted (a second Ctrl+C; two SIGINTs within 300 ms count as one, as\n.B timeout \\-s INT\nsends them)."},
    {kExitTerminated, "ended by SIGTERM", ".BR run :\nended by SIGTERM."},
};

// Which code a run that meets more than one gets.
inline constexpr const char kCliExitPrecedence[] = "3 before 5 before 6 before 7; a signal's code before all";
