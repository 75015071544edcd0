#pragma once

// Exit codes of velkor-cli. When a run meets more than one, the first of 3,
// 5, 6, 7 wins; 4 (a report not written) replaces 0, 3, 5, 6 and 7, so that a
// wrapper that lets a failed verdict pass never passes a run without its
// report; a script error (2) and a signal's code stay. 8 is merge's alone
// (it then writes nothing). kCliExitCodeDocs below is the one description of them:
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
    kExitIncompleteSet = 8,   // merge: the reports are not one complete set of shards
    kExitRegression = 9,      // compare: a real regression beyond --fail-on-regression
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
     ".BR run :\na request failed, timed out, or could not be sent (no host or port, a port that is\n"
     "not 1 to 65535), or no request was sent while a line of the script looks like one but is\n"
     "no HTTP command; with\n.BR \\-\\-devices ,\nalso a device that never ran."},
    {kExitFileError, "file not readable or a report not written",
     "The command file cannot be read, or\n.RB ( run )\na report could not be written when the run would "
     "otherwise have exited 0, 3, 5, 6 or 7 (a message\non standard error)."},
    {kExitSlow, "a slow response (--fail-on-slow)",
     ".BR run \" with \" \\-\\-fail\\-on\\-slow :\na response was slow."},
    {kExitErrorStatus, "an HTTP status of 400 or above (--fail-on-status)",
     ".BR run \" with \" \\-\\-fail\\-on\\-status :\na final HTTP status was 400 or above."},
    {kExitCheckFailed, "a check or a requirement failed",
     ".BR run :\nan\n.B Expect\nor\n.B Capture\nline of the script failed on an answer or a\n.B CheckAlive\n"
     "wait, or a requirement of the run\n.RB ( Require ,\n.BR \\-\\-require )\ndid not hold."},
    {kExitIncompleteSet, "merge: not one complete set of shards",
     ".BR merge :\nthe reports are not one complete set of shards of one run: a shard is missing or\n"
     "given twice, the reports are of another script, device list or threshold (by content,\n"
     "not by file name), or a report does not say which shard it holds; nothing is written."},
    {kExitRegression, "compare: a real regression beyond --fail-on-regression",
     ".BR compare \" with \" \\-\\-fail\\-on\\-regression :\na change for the worse that the test finds real "
     "goes beyond its bound, or a line\nor device of BASE is not in NEW; the reports are still written."},
    {kExitHangUp, "ended by SIGHUP", ".BR run :\nended by SIGHUP."},
    {kExitAborted, "aborted",
     "Aborted (a second Ctrl+C; two SIGINTs within 300 ms count as one, as\n.B timeout \\-s INT\nsends them)."},
    {kExitTerminated, "ended by SIGTERM", ".BR run :\nended by SIGTERM."},
};

// Which code a run that meets more than one gets.
inline constexpr const char kCliExitPrecedence[] = "a signal's code, then 2 before 4 before 3 before 5 before 6 before 7";

// The exit code of a run one of whose reports was not written: 4 replaces
// 0, 3, 5, 6 and 7; a script error and a signal's code stay.
inline int ExitWithReportLost(int nExit)
{
    return nExit == kExitOk || nExit == kExitRequestFailed || nExit == kExitSlow || nExit == kExitErrorStatus ||
                   nExit == kExitCheckFailed
               ? int(kExitFileError)
               : nExit;
}

// Whether an exit code is a signal's (SIGHUP, a second Ctrl+C, SIGTERM).
inline bool IsSignalExit(int nExit)
{
    return nExit == kExitHangUp || nExit == kExitAborted || nExit == kExitTerminated;
}
