#include "CComparisonReport.h"

#include "CJUnitReport.h"
#include "CReportFile.h"
#include "CXmlWriter.h"

#include <QIODevice>

#include <cmath>

QString CComparisonReport::Ms(double dUs)
{
    if (dUs < 0)
        return QStringLiteral("-");
    const double dMs = dUs / 1000.0;
    return QString::number(dMs, 'f', dMs < 10 ? 3 : dMs < 1000 ? 1 : 0);
}

QString CComparisonReport::Value(double dValue, ECompareFigure figure)
{
    if (dValue < 0)
        return QStringLiteral("-");
    switch (figure) {
    case ECompareFigure::Errors:
        return QString::number(dValue, 'f', 2) + QLatin1Char('%');
    case ECompareFigure::RequestsPerSecond:
        return QString::number(dValue, 'f', dValue < 100 ? 2 : 1);
    default:
        return Ms(dValue);
    }
}

QString CComparisonReport::Change(const CFigureChange& change, ECompareFigure figure)
{
    if (!change.bDefined && !std::isinf(change.dChange))
        return QStringLiteral("n/a");
    if (std::isinf(change.dChange))
        return change.dChange > 0 ? QStringLiteral("+inf%") : QStringLiteral("-inf%");
    const QString strSign = change.dChange > 0 ? QStringLiteral("+") : QString();
    if (figure == ECompareFigure::Errors)
        return strSign + QString::number(change.dChange, 'f', 2) + QStringLiteral(" pt");
    return strSign + QString::number(change.dChange, 'f', 1) + QLatin1Char('%');
}

namespace {

QByteArray JsonString(const QString& str)
{
    QByteArray out = "\"";
    for (const QChar c : str) {
        const char16_t u = c.unicode();
        if (u == '"' || u == '\\') {
            out += '\\';
            out += char(u);
        } else if (u < 0x20) {
            out += "\\u00";
            out += QByteArray::number(u, 16).rightJustified(2, '0');
        } else {
            out += QString(c).toUtf8();
        }
    }
    return out + '"';
}

// A number, or null when it is not one a reader can take.
QByteArray JsonNumber(double d, bool bThere = true)
{
    return !bThere || !std::isfinite(d) ? QByteArray("null") : QByteArray::number(d, 'g', 12);
}

const char* Bool(bool b)
{
    return b ? "true" : "false";
}

const char* PresenceName(CComparisonRow::EPresence presence)
{
    switch (presence) {
    case CComparisonRow::EPresence::BaseOnly:
        return "base-only";
    case CComparisonRow::EPresence::NewOnly:
        return "new-only";
    default:
        return "both";
    }
}

const char* const kJsonFigureKeys[] = {"p50_ms", "p95_ms", "p99_ms", "error_percent", "requests_per_second"};

double JsonValue(double d, ECompareFigure figure)
{
    return d >= 0 && figure <= ECompareFigure::P99 ? d / 1000.0 : d;
}

QByteArray StringArray(const QStringList& list)
{
    QByteArray out = "[";
    for (qsizetype i = 0; i < list.size(); ++i)
        out += (i ? ", " : "") + JsonString(list[i]);
    return out + "]";
}

const char* ResultName(const CRunComparison& comparison)
{
    return !comparison.Options().ChecksRegressions() ? "not-checked" : comparison.Fails() ? "fail" : "pass";
}

}  // namespace

bool CComparisonReport::SaveJson(const QString& strPath, const CRunComparison& comparison, const CComparedRuns& runs,
                                 const QString& strVersion, QString* pError)
{
    return CReportFile::Write(
        strPath,
        [&](QIODevice& device) {
            QByteArray out = "{\n  \"velkor_version\": " + JsonString(strVersion) +
                             ",\n  \"base\": {\"file\": " + JsonString(runs.strBaseFile) +
                             ", \"velkor_version\": " + JsonString(runs.strBaseVersion) +
                             "},\n  \"new\": {\"file\": " + JsonString(runs.strNewFile) +
                             ", \"velkor_version\": " + JsonString(runs.strNewVersion) +
                             "},\n  \"script\": " + JsonString(runs.strScript) +
                             ",\n  \"confidence\": " + JsonNumber(comparison.Options().dConfidence) +
                             ",\n  \"bounds\": {";
            for (std::size_t i = 0; i < kCompareFigures; ++i) {
                const double dBound = comparison.Options().bounds[i];
                out += QByteArray(i ? ", " : "") + "\"" + CompareFigureName(ECompareFigure(i)) +
                       "\": " + JsonNumber(dBound, dBound >= 0);
            }
            out += "},\n  \"rows\": [";
            const auto& rows = comparison.Rows();
            for (std::size_t r = 0; r < rows.size(); ++r) {
                const CComparisonRow& row = rows[r];
                const bool bBoth = row.presence == CComparisonRow::EPresence::Both;
                out += QByteArray(r ? "," : "") + "\n    {\"device\": " +
                       (row.strDevice.isEmpty() ? QByteArray("null") : JsonString(row.strDevice)) +
                       ", \"line\": " + QByteArray::number(row.nLine) + ", \"url\": " + JsonString(row.strUrl) +
                       ", \"presence\": \"" + PresenceName(row.presence) +
                       "\", \"base_requests\": " + QByteArray::number(row.nBaseRequests) +
                       ", \"new_requests\": " + QByteArray::number(row.nNewRequests);
                if (bBoth)
                    out += ",\n     \"times_test\": {\"u\": " + JsonNumber(row.times.dU) + ", \"z\": " +
                           JsonNumber(row.times.dZ) + ", \"p\": " + JsonNumber(row.times.dP) + ", \"share\": " +
                           JsonNumber(row.times.dShare) + ", \"real\": " + Bool(row.bTimesReal) +
                           "}, \"errors_test\": {\"p\": " + JsonNumber(row.errors.dP) + ", \"exact\": " +
                           Bool(row.errors.bExact) + ", \"real\": " + Bool(row.bErrorsReal) + "}";
                for (std::size_t i = 0; i < kCompareFigures; ++i) {
                    const auto figure = ECompareFigure(i);
                    const CFigureChange& f = row.figures[i];
                    out += QByteArray(",\n     \"") + kJsonFigureKeys[i] + "\": {\"base\": " +
                           JsonNumber(JsonValue(f.dBase, figure), f.dBase >= 0) +
                           ", \"new\": " + JsonNumber(JsonValue(f.dNew, figure), f.dNew >= 0) +
                           ", \"change\": " + JsonNumber(f.dChange, f.bDefined) + ", \"real\": " + Bool(f.bReal) +
                           ", \"regression\": " + Bool(f.bBeyond) + "}";
                }
                out += "}";
            }
            out += "\n  ],\n  \"base_only_devices\": " + StringArray(comparison.BaseOnlyDevices()) +
                   ",\n  \"new_only_devices\": " + StringArray(comparison.NewOnlyDevices()) +
                   ",\n  \"missing\": " + StringArray(comparison.Missing()) +
                   ",\n  \"notes\": " + StringArray(comparison.Notes()) +
                   ",\n  \"regressions\": " + QByteArray::number(qsizetype(comparison.Regressions().size())) +
                   ",\n  \"result\": \"" + ResultName(comparison) +
                   "\",\n  \"exit_code\": " + QByteArray::number(runs.nExitCode) + "\n}\n";
            return device.write(out) == out.size();
        },
        pError);
}

QString CComparisonReport::RegressionText(const CComparisonRow& row, const CCompareOptions& options)
{
    QStringList parts;
    for (std::size_t i = 0; i < kCompareFigures; ++i)
        if (row.figures[i].bBeyond)
            parts << QStringLiteral("%1 %2 (bound %3%4)")
                         .arg(QLatin1String(CompareFigureName(ECompareFigure(i))),
                              CComparisonReport::Change(row.figures[i], ECompareFigure(i)))
                         .arg(options.bounds[i])
                         .arg(ECompareFigure(i) == ECompareFigure::Errors ? QStringLiteral(" pt") : QStringLiteral("%"));
    return parts.join(QStringLiteral(", "));
}

bool CComparisonReport::SaveJUnit(const QString& strPath, const CRunComparison& comparison, const CComparedRuns& runs,
                                  QString* pError)
{
    return CReportFile::Write(
        strPath,
        [&](QIODevice& device) {
            const bool bChecked = comparison.Options().ChecksRegressions();
            std::size_t nCases = 0, nFailures = 0, nSkipped = 0;
            for (const CComparisonRow& row : comparison.Rows()) {
                if (row.presence == CComparisonRow::EPresence::NewOnly)
                    continue;
                ++nCases;
                if (row.presence == CComparisonRow::EPresence::BaseOnly)
                    ++(bChecked ? nFailures : nSkipped);
                else if (row.IsRegression())
                    ++nFailures;
            }
            nCases += std::size_t(comparison.BaseOnlyDevices().size());
            (bChecked ? nFailures : nSkipped) += std::size_t(comparison.BaseOnlyDevices().size());
            CXmlWriter xml(&device);
            xml.setAutoFormattingIndent(2);
            xml.writeStartDocument();
            xml.writeStartElement(QStringLiteral("testsuites"));
            xml.writeStartElement(QStringLiteral("testsuite"));
            xml.writeAttribute(QStringLiteral("name"), CJUnitReport::XmlSafe(QStringLiteral("compare %1 %2")
                                                                                 .arg(runs.strBaseFile, runs.strNewFile)));
            xml.writeAttribute(QStringLiteral("tests"), QString::number(nCases));
            xml.writeAttribute(QStringLiteral("failures"), QString::number(nFailures));
            xml.writeAttribute(QStringLiteral("errors"), QStringLiteral("0"));
            xml.writeAttribute(QStringLiteral("skipped"), QString::number(nSkipped));
            const auto missingCase = [&](const QString& strName, const QString& strWhat) {
                xml.writeStartElement(QStringLiteral("testcase"));
                xml.writeAttribute(QStringLiteral("classname"), QStringLiteral("compare"));
                xml.writeAttribute(QStringLiteral("name"), CJUnitReport::XmlSafe(strName));
                xml.writeStartElement(bChecked ? QStringLiteral("failure") : QStringLiteral("skipped"));
                xml.writeAttribute(QStringLiteral("message"),
                                   CJUnitReport::XmlSafe(
                                       QStringLiteral("%1 is in BASE but not in NEW: nothing to compare it with").arg(strWhat)));
                xml.writeEndElement();
                xml.writeEndElement();
            };
            for (const CComparisonRow& row : comparison.Rows()) {
                const QString strName = row.Name() + QStringLiteral(": ") + row.strUrl;
                if (row.presence == CComparisonRow::EPresence::BaseOnly) {
                    missingCase(strName, row.Name());
                    continue;
                }
                if (row.presence == CComparisonRow::EPresence::NewOnly)
                    continue;
                xml.writeStartElement(QStringLiteral("testcase"));
                xml.writeAttribute(QStringLiteral("classname"), QStringLiteral("compare"));
                xml.writeAttribute(QStringLiteral("name"), CJUnitReport::XmlSafe(strName));
                if (row.IsRegression()) {
                    xml.writeStartElement(QStringLiteral("failure"));
                    xml.writeAttribute(QStringLiteral("message"),
                                       QStringLiteral("real regression: ") + RegressionText(row, comparison.Options()));
                    xml.writeEndElement();
                }
                xml.writeEndElement();
            }
            for (const QString& strDevice : comparison.BaseOnlyDevices())
                missingCase(QStringLiteral("device %1").arg(strDevice), QStringLiteral("the device %1").arg(strDevice));
            xml.writeEndElement();
            xml.writeEndElement();
            xml.writeEndDocument();
            return !xml.hasError();
        },
        pError);
}
