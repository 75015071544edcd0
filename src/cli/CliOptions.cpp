#include "CliOptions.h"

#include "CliExitCodes.h"
#include "CliFleetOptions.h"
#include "engine/CRunSettings.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace {

QList<CliOptionEntry> MakeTable()
{
    QList<CliOptionEntry> table;
    auto add = [&table](ECliOption option, QStringList names, QString strValueName,
                        unsigned nCommands) -> CliOptionEntry& {
        CliOptionEntry& entry = table.emplace_back();
        entry.option = option;
        entry.names = std::move(names);
        entry.strValueName = std::move(strValueName);
        entry.nCommands = nCommands;
        return entry;
    };
    const QString strDefaultPassword = CRunSettings::kDefaultPassword;

    CliOptionEntry* s = &add(ECliOption::Id, {QStringLiteral("id")}, QStringLiteral("ID"), kCliRun);
    s->strDefault = CRunSettings::kDefaultId;
    s->strHelpLead = QStringLiteral("User name for the devices");
    s->strManLead = QStringLiteral("User name for the devices");

    s = &add(ECliOption::Password, {QStringLiteral("password")}, QStringLiteral("PW"), kCliRun);
    s->strHelpLead = QStringLiteral("Password for the devices");
    s->strHelpTail =
        QStringLiteral("; else --password-file, else the environment variable VELKOR_PASSWORD, else %1.")
            .arg(strDefaultPassword);
    s->strManLead = QStringLiteral("Password for the devices");
    s->strManMore = QStringLiteral(R"roff(Without it: the first line of
.BR \-\-password\-file ,
else the environment variable
.BR VELKOR_PASSWORD ,
else
.BR %1 .
Both options at once is a usage error.)roff")
                        .arg(strDefaultPassword);

    s = &add(ECliOption::PasswordFile, {QStringLiteral("password-file")}, QStringLiteral("FILE"), kCliRun);
    s->strHelpLead = QStringLiteral("Read the password from the first line of this file");
    s->strHelpTail = QStringLiteral("; keeps it out of ps.");
    s->strManLead = QStringLiteral("Read the password from the first line of\n.I FILE");
    s->strManMore = QStringLiteral(R"roff(It shows neither in
.BR ps (1)
nor in a CI log, and it wins over
.BR VELKOR_PASSWORD .)roff");
    s->completion = ECliCompletion::File;

    s = &add(ECliOption::Threshold, {QStringLiteral("threshold")}, QStringLiteral("MS"), kCliRun);
    s->strDefault = QString::number(CRunSettings::kDefaultThresholdMs);
    s->strHelpLead = QStringLiteral("Slow-response threshold in ms, 0 to 2147483647");
    s->strManLead = QStringLiteral("Slow\\-response threshold in milliseconds, 0 to 2147483647, digits only");
    s->strManNote = QStringLiteral("anything else is a usage error");
    s->strManMore = QStringLiteral("A response time at or above it is flagged \\(lq(Too much!)\\(rq.");

    s = &add(ECliOption::Strict, {QStringLiteral("strict")}, {}, kCliCheck | kCliRun);
    s->strHelpLead =
        QStringLiteral("Any syntax error line of the parse fails the script with exit %1").arg(kExitScriptError);
    s->strManLead = QStringLiteral(R"roff(Any syntax error line of the parse (such as a
.B Sleep
of 0, which is otherwise only logged and skipped) fails the script)roff");
    s->strManNote = QStringLiteral("exit status %1").arg(kExitScriptError);

    s = &add(ECliOption::LogDir, {QStringLiteral("log-dir")}, QStringLiteral("DIR"), kCliRun);
    s->strHelpLead = QStringLiteral("Auto-save the log into this folder");
    s->strManLead = QStringLiteral("Auto\\-save the log into this folder");
    s->strManMore = QStringLiteral("The folder must exist and be writable.");
    s->completion = ECliCompletion::Folder;

    s = &add(ECliOption::CaFile, {QStringLiteral("cacert")}, QStringLiteral("FILE"), kCliRun);
    s->strHelpLead = QStringLiteral("Trust the certificates in this file");
    s->strHelpNote = QStringLiteral(", https");
    s->strManLead = QStringLiteral(R"roff(Trust the certificates of this CA or certificate file (PEM) for
.I https://
devices, besides the system's trusted CAs)roff");
    s->strManMore = QStringLiteral("The file must be readable.");
    s->completion = ECliCompletion::File;
    s->extensions = QStringList{QStringLiteral("pem"), QStringLiteral("crt"), QStringLiteral("cer")};

    s = &add(ECliOption::Insecure, {QStringLiteral("insecure")}, {}, kCliRun);
    s->strHelpLead = QStringLiteral("Accept any certificate of https devices");
    s->strManLead = QStringLiteral("Accept any certificate of\n.I https://\ndevices");
    s->strManMore = QStringLiteral(R"roff(The log says so once, after the run's opening line.
Without either option a certificate that the system's CAs do not vouch for, or that
does not name the host, is refused: the log names the device and the reason, and the
command fails (exit status %1).)roff")
                        .arg(kExitRequestFailed);

    s = &add(ECliOption::Json, {QStringLiteral("json")}, QStringLiteral("FILE"), kCliRun | kCliCompare);
    s->strHelpLead = QStringLiteral("Write the run's JSON report to this file");
    s->strHelpTail = QStringLiteral("; '-': standard output, the log then goes to standard error.");
    s->strManLead = QStringLiteral("Write the run's JSON report to\n.I FILE\nwhen the run ends");
    s->strManMore = QStringLiteral(R"roff(It holds the script, the start time, the threshold, one record per request
(index, While pass, script line, URL, host, port, HTTP status, time, outcome
.BR ok ", " slow ", " timeout ", " failed " or " not\-sent ),
the totals and the statistics per URL.
The report is also written after a stop and after SIGTERM or SIGHUP; a run cut short
gives a report marked
.BR partial .
.I FILE
may be
.BR \- :
the report goes to standard output and the log lines to standard error.
A new file or a regular one is replaced whole, through a temporary file in its
folder; anything else that exists (a device, a FIFO, a terminal) is written where
it is and never replaced, and
.I /dev/stdout
or
.IR /dev/fd/N
gets the report after what the run already wrote there.
Before the run, a report that is the command file itself, two reports in one file
(or both
.BR \- ),
a path that cannot be written, or a new file's folder that does not exist or is not
writable is a usage error.
A report not written at the end is named on standard error with the system's reason.
With
.BR compare ,
the comparison: every row with both runs' figures, their changes, the tests' results
and whether each change is real, and the result.)roff");
    s->completion = ECliCompletion::File;
    s->extensions = QStringList{QStringLiteral("json")};

    s = &add(ECliOption::JsonLines, {QStringLiteral("jsonl")}, QStringLiteral("FILE"), kCliRun);
    s->strHelpLead = QStringLiteral("Write each request and CheckAlive wait to this JSON Lines file as it ends");
    s->strHelpTail = QStringLiteral(", then a summary; '-' as for --json.");
    s->strManLead = QStringLiteral(R"roff(Write the run to
.I FILE
as JSON Lines while it runs, one object a line, each written out the moment it is known)roff");
    s->strManMore = QStringLiteral(R"roff(A
.B request
record per request, with the fields of a request in the
.B \-\-json
report, before the request's log lines; a
.B checkalive
record per
.B CheckAlive
wait (its line, host, port, start, downtime, attempts, whether it was stopped); last a
.B summary
record with the totals, the statistics and the verdict, as the
.B \-\-json
report has them.
Each object has a
.B kind
naming it. A run killed at any point, even with SIGKILL, leaves every finished
request in the file. A file is created or emptied at the start;
.B \-
is standard output, and the log lines then go to standard error.)roff");
    s->completion = ECliCompletion::File;
    s->extensions = QStringList{QStringLiteral("jsonl")};

    s = &add(ECliOption::JUnit, {QStringLiteral("junit")}, QStringLiteral("FILE"), kCliRun | kCliMerge | kCliCompare);
    s->strHelpLead = QStringLiteral("Write the run's JUnit XML report to this file");
    s->strHelpTail = QStringLiteral("; '-' as for --json.");
    s->strManLead =
        QStringLiteral("Write the run's JUnit XML report to\n.I FILE\nwhen the run ends, as\n.B \\-\\-json\ndoes");
    s->strManMore = QStringLiteral(R"roff(It has one test case per command line of the script, however many
.B While
passes requested it, named
.RI \(lqline " N" ": " TARGET \(rq
(the request target as typed), with the script's name and the server as its class
.RI ( demo.cmf.cam\-01:80 )
and the sum of its response times.
A line fails when one of its requests failed: a time\-out, a failed request, one not
sent, and a slow one with
.B \-\-fail\-on\-slow
or a final HTTP status of 400 or above with
.BR \-\-fail\-on\-status .
The failure counts its failed requests by cause and lists the first five with their
pass, status, outcome and reason.
With
.BR compare :
one test case per row found in both runs, failing on a real regression beyond
.BR \-\-fail\-on\-regression ,
and one per line or device that only BASE has.)roff");
    s->completion = ECliCompletion::File;
    s->extensions = QStringList{QStringLiteral("xml")};

    s = &add(ECliOption::JUnitEachRequest, {QStringLiteral("junit-each-request")}, {}, kCliRun | kCliMerge);
    s->strHelpLead = QStringLiteral("One JUnit test case per request instead of one per script line");
    s->strManLead = QStringLiteral("Give the\n.B \\-\\-junit\nreport one test case per request instead");
    s->strManMore = QStringLiteral(R"roff(Each is named after its URL, with
.IR HOST : PORT
as its class; a request fails as above.)roff");

    s = &add(ECliOption::Html, {QStringLiteral("html")}, QStringLiteral("FILE"), kCliRun | kCliMerge | kCliCompare);
    s->strHelpLead = QStringLiteral("Write the run's HTML report to this file");
    s->strHelpTail = QStringLiteral("; '-' as for --json.");
    s->strManLead = QStringLiteral("Write the run's HTML report to\n.I FILE\nwhen the run ends, as\n.B \\-\\-json\ndoes");
    s->strManMore = QStringLiteral(R"roff(One page that needs nothing else to show: the run's header and verdict, a chart of the
response times over the run with the slow threshold, the spread of the response times
(time\-outs, failures and requests not sent as bars of their own), the statistics per URL
and every failed request with its reason.
Long runs are drawn per column, so the page stays small; no failure is left out.
With
.BR compare :
the table of changes and, per line, the two runs' response\-time distributions
drawn over each other.)roff");
    s->completion = ECliCompletion::File;
    s->extensions = QStringList{QStringLiteral("html")};

    s = &add(ECliOption::Stats, {QStringLiteral("stats")}, {}, kCliRun);
    s->strHelpLead = QStringLiteral("Print the statistics per URL after the log");
    s->strManLead = QStringLiteral("Print the statistics after the log");
    s->strManMore = QStringLiteral(R"roff(Per URL and for the run: the count, the outcomes, the error percentage, the
requests per second, and the minimum, median, 95th and 99th percentile, maximum
and mean response time in milliseconds (of the responses: time\-outs, failures and
requests not sent are counted beside them), then the run's verdict.)roff");

    s = &add(ECliOption::FailOnSlow, {QStringLiteral("fail-on-slow")}, {}, kCliRun);
    s->strHelpLead = QStringLiteral("Exit %1 when a response was slow").arg(kExitSlow);
    s->strManLead = QStringLiteral("A slow response fails its request and the run: exit status %1").arg(kExitSlow);

    s = &add(ECliOption::FailOnStatus, {QStringLiteral("fail-on-status")}, {}, kCliRun);
    s->strHelpLead = QStringLiteral("Exit %1 when an HTTP status was 400 or above").arg(kExitErrorStatus);
    s->strManLead =
        QStringLiteral("A final HTTP status of 400 or above fails its request and the run: exit status %1")
            .arg(kExitErrorStatus);

    s = &add(ECliOption::Require, {QStringLiteral("require")}, QStringLiteral("REQUIREMENT"), kCliRun);
    s->strHelpLead = QStringLiteral("Fail the run (exit %1) unless its figures meet this, as 'p99 < 300'; may be "
                                    "repeated")
                         .arg(kExitCheckFailed);
    s->strHelpTail = QStringLiteral(": p50, p95, p99, max (ms), errors (%), rps, count; 'per url' or 'for TEXT' at "
                                    "the end judges URLs on their own.");
    s->strManLead = QStringLiteral(R"roff(Judge the run's figures at its end:
.I REQUIREMENT
is a figure, a comparison and a value, as a script's
.B Require
line has them)roff");
    s->strManMore = QStringLiteral(R"roff(The figures are
.BR p50 ", " p95 ", " p99 " and " max
(response times in ms, or with
.BR s ),
.B errors
(the share in % of requests that brought no response),
.B rps
(requests per second) and
.BR count ;
the comparisons
.BR == ", " != ", " < ", " <= ", " > ", " >= .
Without more it reads the whole run;
.B per url
at the end judges every URL on its own, and
.BI for " TEXT"
every URL that holds
.IR TEXT .
May be given more than once, beside the script's
.B Require
lines. One that does not hold fails the run (exit status 7) with its reason on
the last line; a malformed one is a usage error.)roff");

    s = &add(ECliOption::FailOnRegression, {QStringLiteral("fail-on-regression")}, QStringLiteral("BOUND"),
             kCliCompare);
    s->strHelpLead = QStringLiteral("Exit %1 when a real change for the worse goes beyond BOUND: '10%' for every "
                                    "figure, or 'p95=10%,errors=1%'; may be repeated")
                         .arg(kExitRegression);
    s->strHelpTail = QStringLiteral(": p50, p95, p99, rps in %, errors in points.");
    s->strManLead = QStringLiteral(R"roff(Fail the comparison (exit status %1) when a change for the worse that the
test finds real goes beyond
.IR BOUND )roff")
                        .arg(kExitRegression);
    s->strManMore = QStringLiteral(R"roff(.I BOUND
is
.IR N %
for every figure, or a list of
.IR FIGURE = N %
with
.I FIGURE
one of
.BR p50 ", " p95 ", " p99
(longer response times, relative to BASE),
.B rps
(fewer requests per second, relative) and
.B errors
(the error percentage, in points: 0.5% to 2% is 1.5).
Given again, it adds to and replaces the earlier bounds. A line or a device that
BASE has and NEW lacks fails it as well; anything else is a usage error.)roff");

    s = &add(ECliOption::Confidence, {QStringLiteral("confidence")}, QStringLiteral("LEVEL"), kCliCompare);
    s->strDefault = QStringLiteral("95%");
    s->strHelpLead = QStringLiteral("How sure a change must be to count as real, 50% to 99.999%");
    s->strManLead = QStringLiteral("How sure the tests must be that a change is real, 50% to 99.999%");
    s->strManMore = QStringLiteral(R"roff(The level holds for the whole comparison, not for each row (Holm's method), so a
fleet of many devices does not find changes by chance.)roff");

    s = &add(ECliOption::MaxDuration, {QStringLiteral("max-duration")}, QStringLiteral("DURATION"), kCliRun);
    s->strHelpLead = QStringLiteral("End the While loop as Stop does once the run has lasted this long");
    s->strHelpTail = QStringLiteral(": 90s, 10m, 8h or seconds.");
    s->strManLead = QStringLiteral(R"roff(Once the run has lasted
.I DURATION
since its opening line, end the running
.B While
block as a Stop ends it)roff");
    s->strManNote = QStringLiteral("seconds, or with a unit: 90s, 10m, 8h");
    s->strManMore = QStringLiteral(R"roff(The log says
.RB \(lq "[LIMIT] maximum duration 10m reached" \(rq
(the duration as given), then the lines a Stop gives; a
.B CheckAlive
wait under way ends there too, and so does every later block at its
.BR End .
The run then finishes with its totals and reports, and its verdict gives the exit
status. The limit is looked at when a pass ends and during
.B CheckAlive
waits: a
.B Sleep
runs to its end.)roff");

    s = &add(ECliOption::MaxPasses, {QStringLiteral("max-passes")}, QStringLiteral("N"), kCliRun);
    s->strHelpLead = QStringLiteral("End the While loop as Stop does after N passes");
    s->strManLead = QStringLiteral(R"roff(After
.I N
.B While
passes (1 to 2147483647), end the running block as a Stop ends it)roff");
    s->strManMore = QStringLiteral(R"roff(The log says
.RB \(lq "[LIMIT] maximum passes N reached" \(rq
after the pass's commands, then the lines a Stop gives, with the
.I N
passes counted; the run then finishes as with
.BR \-\-max\-duration .)roff");

    s = &add(ECliOption::Quiet, {QStringLiteral("quiet")}, {}, kCliRun);
    s->strHelpLead = QStringLiteral("No log lines on the console, only a summary at the end");
    s->strHelpTail = QStringLiteral("; --log-dir still gets them all.");
    s->strManLead = QStringLiteral("Print no log lines, only a summary line when the run ends");
    s->strManMore = QStringLiteral(R"roff(The summary counts the requests by outcome and the
.B CheckAlive
waits, and gives the run's length;
.B \-\-stats
follows it when given. The
.B \-\-log\-dir
file still gets every line.)roff");

    s = &add(ECliOption::Progress, {QStringLiteral("progress")}, {}, kCliRun);
    s->strHelpLead = QStringLiteral("Show a status line on standard error while the run goes");
    s->strManLead = QStringLiteral("Show how the run goes on standard error");
    s->strManMore = QStringLiteral(R"roff(On a terminal one status line, rewritten in place at most twice a second:
the time since the start, the
.B While
pass, the requests with how many were ok, slow or failed, the requests per second
and the last response time. When standard error is not a terminal, the same as a
plain line every 10 seconds.)roff");

    AddFleetOptions(table);

    // Qt's own: QCommandLineParser adds them and writes their --help lines.
    s = &add(ECliOption::Help, {QStringLiteral("h"), QStringLiteral("help")}, {}, 0);
    s->strManLead = QStringLiteral("Print the usage, the commands, the exit codes and the options, then exit.");
    s = &add(ECliOption::HelpAll, {QStringLiteral("help-all")}, {}, 0);
    s->strManLead = QStringLiteral("The same with Qt's own options, then exit.");
    s = &add(ECliOption::Version, {QStringLiteral("v"), QStringLiteral("version")}, {}, 0);
    s->strManLead = QStringLiteral("Print the version, then exit.");
    return table;
}

}  // namespace

const QList<CliOptionEntry>& CliOptionTable()
{
    static const QList<CliOptionEntry> table = MakeTable();
    return table;
}

const CliOptionEntry& CliOption(ECliOption option)
{
    for (const CliOptionEntry& entry : CliOptionTable())
        if (entry.option == option)
            return entry;
    Q_UNREACHABLE();
}

QStringList CliCommandNames(unsigned nCommands)
{
    QStringList names;
    if (nCommands & kCliCheck)
        names << QStringLiteral("check");
    if (nCommands & kCliRun)
        names << QStringLiteral("run");
    if (nCommands & kCliMerge)
        names << QStringLiteral("merge");
    if (nCommands & kCliCompare)
        names << QStringLiteral("compare");
    return names;
}

QString CliOptionHelp(const CliOptionEntry& entry)
{
    return QStringLiteral("%1 (%2%3)%4")
        .arg(entry.strHelpLead, CliCommandNames(entry.nCommands).join(QStringLiteral(", ")), entry.strHelpNote,
             entry.strHelpTail);
}

void AddCliOptions(QCommandLineParser& parser)
{
    parser.addHelpOption();
    parser.addVersionOption();
    for (const CliOptionEntry& entry : CliOptionTable()) {
        if (entry.IsQtOwn())
            continue;
        parser.addOption(QCommandLineOption(entry.names, CliOptionHelp(entry), entry.strValueName, entry.strDefault));
    }
    QCommandLineOption printDoc(QString::fromLatin1(kCliPrintDocOption),
                                QStringLiteral("Print a generated part of the man page or bash completion."),
                                QStringLiteral("PART"));
    printDoc.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(printDoc);
}
