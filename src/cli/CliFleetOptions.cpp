#include "CliFleetOptions.h"

#include <algorithm>

void AddFleetOptions(QList<CliOptionEntry>& table)
{
    auto add = [&table](ECliOption option, const QString& strName, const QString& strValueName,
                        unsigned nCommands) -> CliOptionEntry& {
        CliOptionEntry& entry = table.emplace_back();
        entry.option = option;
        entry.names = QStringList{strName};
        entry.strValueName = strValueName;
        entry.nCommands = nCommands;
        return entry;
    };

    CliOptionEntry* s = &add(ECliOption::Variable, QStringLiteral("variable"), QStringLiteral("NAME=VALUE"),
                             kCliCheck | kCliRun);
    s->strHelpLead = QStringLiteral("Give {{NAME}} in the script this value; may be repeated");
    s->strHelpTail = QStringLiteral("; wins over --variables-file, a --devices column over both.");
    s->strManLead = QStringLiteral(R"roff(Replace every
.BI {{ NAME }}
in the script by
.I VALUE
before the script is read)roff");
    s->strManMore = QStringLiteral(R"roff(May be given more than once; it wins over
.BR \-\-variables\-file ,
and with
.B \-\-devices
a device list's column of the same name wins over both.
.I NAME
is a letter or
.BR _ ,
then letters, digits,
.B _
or
.BR \- .
A placeholder without a value is a syntax error (exit status 2).)roff");

    s = &add(ECliOption::VariablesFile, QStringLiteral("variables-file"), QStringLiteral("FILE"), kCliCheck | kCliRun);
    s->strHelpLead = QStringLiteral("Read variables from this file, NAME=VALUE lines");
    s->strHelpTail = QStringLiteral("; # comments and blank lines skipped.");
    s->strManLead = QStringLiteral(R"roff(Read variables from
.IR FILE ,
one
.IR NAME = VALUE
per line)roff");
    s->strManMore = QStringLiteral(R"roff(Blank lines and lines starting with
.B #
are skipped; spaces around the name and the value are dropped.
A file that cannot be read, or a line that is not
.IR NAME = VALUE ,
is a usage error naming the file and the line.)roff");
    s->completion = ECliCompletion::File;

    s = &add(ECliOption::Devices, QStringLiteral("devices"), QStringLiteral("FILE"), kCliRun);
    s->strHelpLead = QStringLiteral("Run the script once per device of this CSV list, with its row's variables");
    s->strManLead = QStringLiteral(R"roff(Run the whole script once per device of the CSV list
.IR FILE ,
each with its own connections and log, and the columns of its row as variables)roff");
    s->strManMore = QStringLiteral(R"roff(The column
.B name
names the device (else the row's first value),
.B id
and
.B password
are its credentials.
Every log line on standard output starts with the device's name in brackets; with
.B \-\-log\-dir
each device has its own file, its name before
.BR .txt .
At the end a table gives each device's figures and verdict; the exit status is
the worst verdict of the devices.)roff");
    s->completion = ECliCompletion::File;
    s->extensions = QStringList{QStringLiteral("csv")};

    s = &add(ECliOption::Jobs, QStringLiteral("jobs"), QStringLiteral("N"), kCliRun);
    s->strHelpLead = QStringLiteral("With --devices: run at most N devices at once, 1 to %1").arg(kMaxFleetJobs);
    s->strHelpTail = QStringLiteral("; default all.");
    s->strManLead = QStringLiteral(R"roff(With
.BR \-\-devices :
run at most
.I N
devices at once, 1 to %1)roff")
                        .arg(kMaxFleetJobs);
    s->strManNote = QStringLiteral("all of them by default, at most %1").arg(kMaxFleetJobs);

    s = &add(ECliOption::RampUp, QStringLiteral("ramp-up"), QStringLiteral("DURATION"), kCliRun);
    s->strHelpLead = QStringLiteral("With --devices: start the devices evenly spread over this time");
    s->strHelpTail = QStringLiteral(": 90s, 10m or seconds; default all at once.");
    s->strManLead = QStringLiteral(R"roff(With
.BR \-\-devices :
start the devices one after another, evenly spread over
.IR DURATION ,
in the list's order: the first at once, the last when
.I DURATION
has passed)roff");
    s->strManNote = QStringLiteral("seconds, or with a unit: 90s, 10m, 8h; 0 by default");
    s->strManMore = QStringLiteral(R"roff(A fleet then does not send its first requests all at the same moment, and
a
.B Sleep
does not keep every device in step. A device also waits for room under
.BR \-\-jobs .)roff");

    s = &add(ECliOption::Shard, QStringLiteral("shard"), QStringLiteral("K/N"), kCliRun);
    s->strHelpLead = QStringLiteral("With --devices: run only shard K of N, the rows whose number modulo N is K-1");
    s->strHelpTail = QStringLiteral("; join the reports with merge.");
    s->strManLead = QStringLiteral(R"roff(With
.BR \-\-devices :
run only the devices of shard
.I K
of
.IR N ,
those whose data row, counted from 1, modulo
.I N
is
.IR K \-1)roff");
    s->strManMore = QStringLiteral(R"roff(The other devices are not run and not reported; N jobs of a CI pipeline,
each with its own
.IR K ,
run every device once, and
.B merge
joins their JSON reports.
.I K
and
.I N
are whole numbers, 1 \(<=
.I K
\(<=
.IR N .)roff");
}

bool ParseShard(const QString& strShard, int* pnIndex, int* pnCount)
{
    const QStringList parts = strShard.split(QLatin1Char('/'));
    if (parts.size() != 2)
        return false;
    int numbers[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        const QString& strPart = parts[i];
        bool bOk = !strPart.isEmpty() && strPart.size() <= 9 && std::all_of(strPart.begin(), strPart.end(), [](QChar ch) {
            return ch >= QLatin1Char('0') && ch <= QLatin1Char('9');
        });
        numbers[i] = bOk ? strPart.toInt(&bOk) : 0;
        if (!bOk)
            return false;
    }
    if (numbers[0] < 1 || numbers[0] > numbers[1])
        return false;
    *pnIndex = numbers[0];
    *pnCount = numbers[1];
    return true;
}
