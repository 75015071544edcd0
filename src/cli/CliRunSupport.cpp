#include "CliRunSupport.h"

#include "CliExitCodes.h"
#include "CliRun.h"
#include "engine/StatisticsTable.h"
#include "http/CTlsConnection.h"
#include "log/CCommandFile.h"
#include "log/CLogWriter.h"
#include "log/ControlPictures.h"
#include "report/CReportFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <csignal>
#include <cstdio>

bool ReadScriptLines(const QString& strFile, QStringList* pLines, QString* pProblem)
{
    if (strFile != QLatin1String("-"))
        return CCommandFile::ReadLines(strFile, *pLines, *pProblem);
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly)) {
        *pProblem = QStringLiteral("standard input cannot be read: ") + input.errorString();
        return false;
    }
    *pLines = CCommandFile::SplitLines(input.readAll());
    return true;
}

int CheckRunInputs(const CliRunOptions& options, QTextStream& err)
{
    if (!options.strLogDir.isEmpty()) {
        const QFileInfo dir(options.strLogDir);
        if (!dir.isDir() || !dir.isWritable()) {
            err << "velkor-cli: the log folder " << options.strLogDir << " does not exist or is not writable"
                << Qt::endl;
            return kExitUsage;
        }
    }
    QString strCaProblem;
    const QString& strCaFile = options.settings.tls.strCaFile;
    if (!strCaFile.isEmpty() && !CTlsConnection::CheckCaFile(strCaFile, &strCaProblem)) {
        err << "velkor-cli: the certificate file " << strCaFile << " cannot be used: " << strCaProblem << Qt::endl;
        return kExitUsage;
    }
    const QString strReportProblem =
        CReportFile::CheckPaths(options.strFile, {options.strJsonFile, options.strJUnitFile, options.strHtmlFile,
                                                  options.strJsonLinesFile});
    if (!strReportProblem.isEmpty()) {
        err << "velkor-cli: " << strReportProblem << Qt::endl;
        return kExitUsage;
    }
    return kExitOk;
}

QTextStream& LogStream(const CliRunOptions& options, QTextStream& out, QTextStream& err)
{
    const QLatin1String stdoutPath("-");
    return options.strJsonFile == stdoutPath || options.strJUnitFile == stdoutPath ||
                   options.strHtmlFile == stdoutPath || options.strJsonLinesFile == stdoutPath
               ? err
               : out;
}

void SetConsoleSink(CLogWriter& log, const CliRunOptions& options, QTextStream& logOut, std::mutex& outMutex,
                    const QString& strPrefix)
{
    if (options.bQuiet) {
        log.SetLineSink([](const QString&) {});
    } else {
        log.SetLineSink([&logOut, &outMutex, strPrefix](const QString& strLine) {
            std::lock_guard lock(outMutex);
            logOut << strPrefix << QStringView(strLine).chopped(2) << Qt::endl;
        });
    }
    if (!options.strLogDir.isEmpty()) {
        log.SetAutoSave(true);
        log.SetLogFolder(QDir(options.strLogDir).absolutePath());
    }
}

bool SaveReports(const CliRunOptions& options, QTextStream& err, const CReportWriters& writers)
{
    bool bWritten = true;
    for (const auto& [strPath, writer] : {std::pair{options.strJsonFile, writers.json},
                                          std::pair{options.strJUnitFile, writers.junit},
                                          std::pair{options.strHtmlFile, writers.html}}) {
        QString strError;
        if (!strPath.isEmpty() && !writer(strPath, &strError)) {
            err << "velkor-cli: the report " << strPath << " was not written: " << strError << Qt::endl;
            bWritten = false;
        }
    }
    return bWritten;
}

int ExitAfterSignal(int nSignal, int nExit)
{
    switch (nSignal) {
    case SIGTERM:
        return kExitTerminated;
    case SIGHUP:
        return kExitHangUp;
    default:
        return nExit;
    }
}

void SayEndingSignal(QTextStream& err, int nSignal)
{
    if (nSignal == SIGTERM)
        err << "velkor-cli: the run was ended by SIGTERM" << Qt::endl;
    else if (nSignal == SIGHUP)
        err << "velkor-cli: the run was ended by SIGHUP" << Qt::endl;
}

void PrintTable(QTextStream& out, const std::vector<QStringList>& rawRows, int nLeft)
{
    // A URL or a host may carry a device list's value: controls are shown.
    std::vector<QStringList> rows;
    for (const QStringList& cells : rawRows) {
        QStringList& row = rows.emplace_back();
        for (const QString& strCell : cells)
            row << ShowControlCharacters(strCell);
    }
    std::vector<qsizetype> widths(rows.front().size(), 0);
    for (const QStringList& row : rows)
        for (qsizetype i = 0; i + 1 < row.size(); ++i)
            widths[std::size_t(i)] = std::max(widths[std::size_t(i)], row[i].size());
    for (const QStringList& row : rows) {
        QString strLine;
        for (qsizetype i = 0; i + 1 < row.size(); ++i) {
            if (i > 0)
                strLine += QLatin1Char(' ');
            strLine += i < nLeft ? row[i].leftJustified(widths[std::size_t(i)])
                                 : row[i].rightJustified(widths[std::size_t(i)]);
        }
        out << strLine << "  " << row.last() << '\n';
    }
}

void PrintStatistics(QTextStream& out, const CRunStatisticsSnapshot& snapshot, const CRunVerdictSummary& verdict)
{
    // The URL goes last.
    const auto urlLast = [](QStringList row) {
        row.append(row.takeFirst());
        return row;
    };
    std::vector<QStringList> rows{urlLast(StatisticsTable::Columns())};
    for (const CUrlStatistics& figures : snapshot.vecUrls)
        rows.push_back(urlLast(StatisticsTable::Cells(figures, figures.strUrl)));
    rows.push_back(urlLast(StatisticsTable::Cells(snapshot.total, QStringLiteral("Total"))));
    out << "\nStatistics (times in ms)\n";
    PrintTable(out, rows);
    if (!snapshot.vecCheckAlives.empty()) {
        // The downtimes of the waits that saw the device come back ("-" when none did).
        auto figure = [](std::int64_t nMs) { return nMs < 0 ? QStringLiteral("-") : QString::number(nMs); };
        std::vector<QStringList> aliveRows{{QStringLiteral("Waits"), QStringLiteral("Stopped"), QStringLiteral("Min"),
                                            QStringLiteral("Median"), QStringLiteral("Max"),
                                            QStringLiteral("CheckAlive")}};
        for (const CCheckAliveStatistics& line : snapshot.vecCheckAlives)
            aliveRows.push_back({QString::number(line.nWaits), QString::number(line.nStopped), figure(line.nMinMs),
                                 figure(line.nMedianMs), figure(line.nMaxMs),
                                 QStringLiteral("line %1: %2:%3").arg(line.nLine).arg(line.strHost, line.strPort)});
        out << "\nCheckAlive downtime (ms)\n";
        PrintTable(out, aliveRows);
    }
    out << "Verdict: " << verdict.Name() << " (" << ShowControlCharacters(verdict.Describe()) << ")" << Qt::endl;
}
