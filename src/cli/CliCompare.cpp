#include "CliCompare.h"

#include "CliCommand.h"
#include "CliExitCodes.h"
#include "log/ControlPictures.h"
#include "report/CComparisonHtml.h"
#include "report/CComparisonReport.h"
#include "report/CReportFile.h"
#include "report/CReportSamples.h"
#include "report/CRunComparison.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

namespace {

// --confidence: "95%", "95" or "99.9%", 50 to 99.999.
bool ParseConfidence(const QString& strValue, double* pLevel)
{
    static const QRegularExpression level(QStringLiteral("^([0-9]+(?:\\.[0-9]+)?)%?$"));
    const QRegularExpressionMatch match = level.match(strValue.trimmed());
    const double dPercent = match.hasMatch() ? match.captured(1).toDouble() : -1;
    if (dPercent < 50 || dPercent > 99.999)
        return false;
    *pLevel = dPercent / 100;
    return true;
}

QString Cell(const QString& str, int nWidth = 11)
{
    return str.rightJustified(nWidth);
}

// One row: its name and URL, then BASE, NEW and the change, a real change
// marked '*', one beyond a bound '!'. What the reports hold (a device's name,
// a URL, a version, a script's name) is theirs: its control characters are
// shown as pictures, never sent to the terminal.
void PrintRow(QTextStream& out, const CComparisonRow& row)
{
    out << ShowControlCharacters(row.Name()) << "  " << ShowControlCharacters(row.strUrl);
    if (row.presence != CComparisonRow::EPresence::Both) {
        out << "  (only in " << (row.presence == CComparisonRow::EPresence::BaseOnly ? "BASE" : "NEW") << ", "
            << (row.presence == CComparisonRow::EPresence::BaseOnly ? row.nBaseRequests : row.nNewRequests)
            << " requests)\n";
        return;
    }
    out << "\n" << QString(8, QLatin1Char(' ')) << Cell(QStringLiteral("requests"));
    for (const char* pszHead : {"p50 ms", "p95 ms", "p99 ms", "errors", "rps"})
        out << Cell(QLatin1String(pszHead));
    out << "\n";
    for (int nSide = 0; nSide < 2; ++nSide) {
        out << (nSide == 0 ? "  BASE  " : "  NEW   ")
            << Cell(QString::number(nSide == 0 ? row.nBaseRequests : row.nNewRequests));
        for (std::size_t i = 0; i < kCompareFigures; ++i)
            out << Cell(CComparisonReport::Value(nSide == 0 ? row.figures[i].dBase : row.figures[i].dNew,
                                                 ECompareFigure(i)));
        out << "\n";
    }
    out << "  change" << Cell(QString());
    for (std::size_t i = 0; i < kCompareFigures; ++i) {
        const CFigureChange& f = row.figures[i];
        out << Cell(CComparisonReport::Change(f, ECompareFigure(i)) +
                    (f.bBeyond ? QStringLiteral("!") : f.bReal ? QStringLiteral("*") : QStringLiteral(" ")));
    }
    out << "\n";
}

class CCompareCommand : public CliCommand {
public:
    ECliCommandBit Bit() const override { return kCliCompare; }
    QString Usage() const override { return Name() + QStringLiteral(" BASE NEW"); }
    bool TakesMoreFiles() const override { return true; }
    QString Description() const override
    {
        return QStringLiteral(
            "Compare the JSON report NEW with BASE (the last good run): per script\n"
            "line (and device), p50, p95, p99, error % and requests/s and their\n"
            "change, a real change (not noise, by the Mann-Whitney U test on the\n"
            "times and a two-proportion test on error %) marked '*'; with\n"
            "--fail-on-regression, exits 9 on a real regression beyond the bound.");
    }
    int Execute(const CliArguments& args, QTextStream& out, QTextStream& err) const override
    {
        if (args.MoreFiles().size() != 1) {
            err << "velkor-cli: compare takes two JSON reports: BASE (the last good run) and NEW\n"
                   "Try 'velkor-cli --help'."
                << Qt::endl;
            return kExitUsage;
        }
        const QStringList inputs{args.File(), args.MoreFiles().constFirst()};
        CCompareOptions options;
        if (!ParseConfidence(args.Value(ECliOption::Confidence), &options.dConfidence)) {
            err << "velkor-cli: --confidence takes a level of 50% to 99.999%, not '"
                << args.Value(ECliOption::Confidence) << "'" << Qt::endl;
            return kExitUsage;
        }
        for (const QString& strBound : args.Values(ECliOption::FailOnRegression)) {
            QString strProblem;
            if (!options.ParseBounds(strBound, &strProblem)) {
                err << "velkor-cli: " << strProblem << Qt::endl;
                return kExitUsage;
            }
        }
        const QString strJson = args.Value(ECliOption::Json);
        const QString strJUnit = args.Value(ECliOption::JUnit);
        const QString strHtml = args.Value(ECliOption::Html);
        for (const QString& strInput : inputs)
            for (const QString& strReport : {strJson, strJUnit, strHtml})
                if (!strReport.isEmpty() && strReport != QLatin1String("-") &&
                    QFileInfo(strReport).absoluteFilePath() == QFileInfo(strInput).absoluteFilePath()) {
                    err << "velkor-cli: the report " << strReport << " would replace the input " << strInput
                        << Qt::endl;
                    return kExitUsage;
                }
        const QString strPathProblem = CReportFile::CheckPaths(QString(), {strJson, strJUnit, strHtml});
        if (!strPathProblem.isEmpty()) {
            err << "velkor-cli: " << strPathProblem << Qt::endl;
            return kExitUsage;
        }

        const QString strVersion = QCoreApplication::applicationVersion();
        CReportSamples samples[2];
        for (int i = 0; i < 2; ++i) {
            QString strProblem;
            if (!CReportSampleReader::ReadFile(inputs[i], strVersion, &samples[i], &strProblem)) {
                err << "velkor-cli: the report " << inputs[i] << " cannot be compared: " << strProblem << Qt::endl;
                return kExitUsage;
            }
        }
        const CRunComparison comparison = CRunComparison::Compare(samples[0], samples[1], options);
        const bool bFails = comparison.Fails();

        // A report on standard output leaves the table to standard error.
        QTextStream& table = strJson == QLatin1String("-") || strJUnit == QLatin1String("-") ||
                                     strHtml == QLatin1String("-")
                                 ? err
                                 : out;
        for (int i = 0; i < 2; ++i)
            table << (i == 0 ? "BASE " : "NEW  ") << inputs[i] << ": " << samples[i].nRequests << " requests, "
                  << (samples[i].bFleet ? QStringLiteral("%1 devices").arg(samples[i].devices.size())
                                        : QStringLiteral("one run"))
                  << ", velkor " << ShowControlCharacters(samples[i].strVersion) << "\n";
        table << "Test: Mann-Whitney U on the times, two-proportion (Fisher's exact when small) on error %; "
              << options.dConfidence * 100 << "% confidence over the whole comparison\n";
        for (const QString& strNote : comparison.Notes())
            table << "Note: " << ShowControlCharacters(strNote) << "\n";
        std::size_t nReal = 0, nWorse = 0;
        for (const CComparisonRow& row : comparison.Rows()) {
            table << "\n";
            PrintRow(table, row);
            for (const CFigureChange& f : row.figures) {
                nReal += f.bReal ? 1 : 0;
                nWorse += f.bReal && f.bWorse ? 1 : 0;
            }
        }
        for (const QString& strDevice : comparison.BaseOnlyDevices())
            table << "\ndevice " << ShowControlCharacters(strDevice) << ": only in BASE\n";
        for (const QString& strDevice : comparison.NewOnlyDevices())
            table << "\ndevice " << ShowControlCharacters(strDevice) << ": only in NEW\n";
        table << "\n* a real change, ! one beyond --fail-on-regression; " << nReal << " real changes, " << nWorse
              << " for the worse\n";
        table.flush();

        CComparedRuns runs;
        runs.strBaseFile = inputs[0];
        runs.strNewFile = inputs[1];
        runs.strBaseVersion = samples[0].strVersion;
        runs.strNewVersion = samples[1].strVersion;
        runs.strScript = samples[1].strScript;
        runs.nExitCode = bFails ? int(kExitRegression) : int(kExitOk);
        bool bWritten = true;
        QString strError;
        const auto written = [&](const QString& strPath, bool bOk) {
            if (!bOk) {
                err << "velkor-cli: the report " << strPath << " was not written: " << strError << Qt::endl;
                bWritten = false;
            }
        };
        if (!strJson.isEmpty())
            written(strJson, CComparisonReport::SaveJson(strJson, comparison, runs, strVersion, &strError));
        if (!strJUnit.isEmpty())
            written(strJUnit, CComparisonReport::SaveJUnit(strJUnit, comparison, runs, &strError));
        if (!strHtml.isEmpty())
            written(strHtml, CComparisonHtml::Save(strHtml, comparison, runs, strVersion, &strError));
        if (!bWritten)
            return kExitFileError;
        if (!bFails)
            return kExitOk;
        QStringList reasons;
        for (const CComparisonRow* pRow : comparison.Regressions())
            reasons << pRow->Name() + QStringLiteral(": ") +
                           CComparisonReport::RegressionText(*pRow, comparison.Options());
        for (const QString& strMissing : comparison.Missing())
            reasons << strMissing + QStringLiteral(" is in BASE but not in NEW");
        err << "velkor-cli: NEW is worse than BASE beyond --fail-on-regression: "
            << ShowControlCharacters(reasons.join(QStringLiteral("; ")))
            << Qt::endl;
        return kExitRegression;
    }
};

}  // namespace

const CliCommand& CompareCommand()
{
    static const CCompareCommand command;
    return command;
}
