#include "CJsonReport.h"

#include "CFleetReport.h"
#include "CReportFile.h"
#include "engine/CRunStatistics.h"

#include <QIODevice>

#include <algorithm>

namespace {

QByteArray JsonString(const QString& str)
{
    // Most texts need no escape: they go as they are.
    if (std::none_of(str.begin(), str.end(),
                     [](QChar ch) { return ch.unicode() < 0x20 || ch == QLatin1Char('"') || ch == QLatin1Char('\\'); })) {
        QByteArray out;
        out.reserve(str.size() + 2);
        out += '"';
        out += str.toUtf8();
        out += '"';
        return out;
    }
    QString strOut;
    strOut.reserve(str.size() + 2);
    strOut += QLatin1Char('"');
    for (const QChar ch : str) {
        switch (ch.unicode()) {
        case '"':
            strOut += QLatin1String("\\\"");
            break;
        case '\\':
            strOut += QLatin1String("\\\\");
            break;
        case '\b':
            strOut += QLatin1String("\\b");
            break;
        case '\f':
            strOut += QLatin1String("\\f");
            break;
        case '\n':
            strOut += QLatin1String("\\n");
            break;
        case '\r':
            strOut += QLatin1String("\\r");
            break;
        case '\t':
            strOut += QLatin1String("\\t");
            break;
        default:
            if (ch.unicode() < 0x20)
                strOut += QStringLiteral("\\u%1").arg(ch.unicode(), 4, 16, QLatin1Char('0'));
            else
                strOut += ch;
        }
    }
    strOut += QLatin1Char('"');
    return strOut.toUtf8();
}

QByteArray JsonInt(std::int64_t n)
{
    return QByteArray::number(static_cast<qlonglong>(n));
}

QByteArray JsonTime(std::int64_t nMs, std::uint64_t nTimed)
{
    return nTimed == 0 ? QByteArrayLiteral("null") : JsonInt(nMs);
}

QByteArray JsonPort(const QString& strPort)
{
    bool bOk = false;
    const int nPort = strPort.toInt(&bOk);
    return bOk ? JsonInt(nPort) : JsonString(strPort);
}

// "2024-05-01T09:30:00.250+02:00"
QByteArray IsoWithOffset(const QDateTime& at)
{
    if (!at.isValid())
        return QByteArrayLiteral("null");
    const int nOffset = at.offsetFromUtc();
    const int nAbs = nOffset < 0 ? -nOffset : nOffset;
    const QString str = at.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
                        (nOffset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
                        QStringLiteral("%1:%2")
                            .arg(nAbs / 3600, 2, 10, QLatin1Char('0'))
                            .arg(nAbs % 3600 / 60, 2, 10, QLatin1Char('0'));
    return JsonString(str);
}

class CChunkWriter {
public:
    explicit CChunkWriter(QIODevice& device) : m_device(device) {}
    CChunkWriter& operator<<(const QByteArray& bytes)
    {
        m_buffer += bytes;
        if (m_buffer.size() >= 64 * 1024)
            Flush();
        return *this;
    }
    CChunkWriter& operator<<(const char* psz)
    {
        m_buffer.append(psz);
        if (m_buffer.size() >= 64 * 1024)
            Flush();
        return *this;
    }
    CChunkWriter& operator<<(std::int64_t n)
    {
        char digits[24];
        char* pEnd = digits + sizeof digits;
        char* p = pEnd;
        const bool bNegative = n < 0;
        std::uint64_t u = bNegative ? 0 - std::uint64_t(n) : std::uint64_t(n);
        do {
            *--p = char('0' + u % 10);
            u /= 10;
        } while (u != 0);
        if (bNegative)
            *--p = '-';
        m_buffer.append(p, pEnd - p);
        return *this;
    }
    bool Flush()
    {
        if (!m_buffer.isEmpty() && m_device.write(m_buffer) != m_buffer.size())
            m_bOk = false;
        m_buffer.clear();
        return m_bOk;
    }

private:
    QIODevice& m_device;
    QByteArray m_buffer;
    bool m_bOk = true;
};

// A run's parts with their keys indented by ind, their items two spaces
// more; bAtMs: each request with its at_ms (a device of a fleet report).
void WriteRequests(CChunkWriter& out, const CRecordedRun& run, const QByteArray& ind, bool bAtMs)
{
    // A target's and a reason's texts are encoded once, however many
    // requests share them: a long run's report is mostly figures.
    std::vector<QByteArray> vecTargets;
    vecTargets.reserve(run.vecTargets.size());
    for (const CRecordedTarget& target : run.vecTargets)
        vecTargets.push_back(", \"url\": " + JsonString(target.strUrl) + ", \"host\": " + JsonString(target.strHost) +
                             ", \"port\": ");
    std::vector<QByteArray> vecPorts;
    vecPorts.reserve(run.vecTargets.size());
    for (const CRecordedTarget& target : run.vecTargets)
        vecPorts.push_back(JsonPort(target.strPort));
    std::vector<QByteArray> vecReasons;
    vecReasons.reserve(run.vecReasons.size());
    for (const QString& strReason : run.vecReasons)
        vecReasons.push_back(JsonString(strReason));

    const QByteArray sep = ",\n  " + ind;
    out << ind << "\"requests\": [";
    const char* pszSep = sep.constData() + 1;
    for (const CRecordedRequest& request : run.vecRequests) {
        // The same text as CJsonReport::RequestObject gives.
        out << pszSep << "{\"index\": " << std::int64_t(request.nIndex) << ", \"pass\": " << std::int64_t(request.nPass)
            << ", \"line\": " << std::int64_t(request.nLine) << vecTargets[request.nTarget];
        if (request.outcome == ERequestOutcome::NotSent)
            out << "null";
        else
            out << vecPorts[request.nTarget];
        out << ", \"status\": ";
        if (request.nStatus < 0)
            out << "null";
        else
            out << std::int64_t(request.nStatus);
        out << ", \"time_ms\": " << request.nTimeMs << ", \"time_us\": ";
        if (request.nTimeUs < 0)
            out << "null";
        else
            out << request.nTimeUs;
        if (bAtMs)
            out << ", \"at_ms\": " << request.nAtMs;
        out << ", \"outcome\": \"" << OutcomeName(request.outcome)
            << "\", \"verdict\": \"" << (request.bPass ? "pass" : "fail") << "\", \"reason\": ";
        if (request.nReason < 0)
            out << "null";
        else
            out << vecReasons[std::size_t(request.nReason)];
        out << (request.bCheckFailed ? ", \"check_failed\": true}" : "}");
        pszSep = sep.constData();
    }
    if (run.vecRequests.empty())
        out << "],\n";
    else
        out << "\n" << ind << "],\n";
}

void WriteCheckAlives(CChunkWriter& out, const CRecordedRun& run, const QByteArray& ind)
{
    const QByteArray sep = ",\n  " + ind;
    out << ind << "\"checkalive\": [";
    const char* pszSep = sep.constData() + 1;
    for (const CCheckAliveResult& wait : run.vecCheckAlives) {
        out << pszSep << CJsonReport::CheckAliveObject(wait);
        pszSep = sep.constData();
    }
    if (run.vecCheckAlives.empty())
        out << "],\n";
    else
        out << "\n" << ind << "],\n";
}

void WriteTotals(CChunkWriter& out, const CRecordedRun& run, const QByteArray& ind)
{
    out << ind << "\"totals\": " << CJsonReport::TotalsObject(run.bEnded, run.end) << ",\n";
}

}  // namespace

QByteArray CJsonReport::StatsObject(const CUrlStatistics& s, bool bWithUrl)
{
    const QByteArray null = QByteArrayLiteral("null");
    QByteArray object = "{";
    if (bWithUrl)
        object += "\"url\": " + JsonString(s.strUrl) + ", ";
    object += "\"count\": " + JsonInt(s.nCount) + ", \"ok\": " + JsonInt(s.nOk) + ", \"slow\": " + JsonInt(s.nSlow)
        + ", \"timeout\": " + JsonInt(s.nTimeout) + ", \"failed\": " + JsonInt(s.nFailed)
        + ", \"not_sent\": " + JsonInt(s.nNotSent) + ", \"min_ms\": " + JsonTime(s.nMinMs, s.nTimed)
        + ", \"median_ms\": " + JsonTime(s.nMedianMs, s.nTimed) + ", \"p95_ms\": " + JsonTime(s.nP95Ms, s.nTimed)
        + ", \"p99_ms\": " + JsonTime(s.nP99Ms, s.nTimed) + ", \"max_ms\": " + JsonTime(s.nMaxMs, s.nTimed)
        + ", \"mean_ms\": " + (s.nTimed == 0 ? null : QByteArray::number(s.dMeanMs, 'f', 3))
        + ", \"error_percent\": " + QByteArray::number(s.dErrorPercent, 'f', 3) + ", \"requests_per_second\": "
        + (s.dRequestsPerSecond < 0 ? null : QByteArray::number(s.dRequestsPerSecond, 'f', 3)) + "}";
    return object;
}

namespace {

void WriteStats(CChunkWriter& out, const CRecordedRun& run, const QByteArray& ind)
{
    const CRunStatisticsSnapshot snapshot = StatisticsOf(run);
    const QByteArray sep = ",\n  " + ind;
    out << ind << "\"stats\": [";
    const char* pszSep = sep.constData() + 1;
    for (const CUrlStatistics& s : snapshot.vecUrls) {
        out << pszSep << CJsonReport::StatsObject(s, true);
        pszSep = sep.constData();
    }
    if (run.vecRequests.empty())
        out << "],\n";
    else
        out << "\n" << ind << "],\n";
    out << ind << "\"stats_total\": " << CJsonReport::StatsObject(snapshot.total, false) << ",\n";
}

// A fleet's stats: one object per script line, in the script's order, its
// line first and its url "line N: TARGET".
void WriteLineStats(CChunkWriter& out, const CRecordedRun& joinedByLine)
{
    std::vector<int> lines;
    const CRunStatisticsSnapshot snapshot = LineStatisticsOf(joinedByLine, &lines);
    out << "  \"stats\": [";
    const char* pszSep = "\n    ";
    for (std::size_t i = 0; i < snapshot.vecUrls.size(); ++i) {
        out << pszSep << "{\"line\": " << std::int64_t(lines[i]) << ", "
            << CJsonReport::StatsObject(snapshot.vecUrls[i], true).mid(1);
        pszSep = ",\n    ";
    }
    out << (snapshot.vecUrls.empty() ? "],\n" : "\n  ],\n");
    out << "  \"stats_total\": " << CJsonReport::StatsObject(snapshot.total, false) << ",\n";
}

void WriteVerdict(CChunkWriter& out, const QByteArray& verdictName, int nExitCode, std::uint64_t nFailed,
                  const QByteArray& ind, bool bMore)
{
    out << ind << "\"verdict\": " << JsonString(QString::fromLatin1(verdictName)) << ",\n" << ind
        << "\"exit_code\": " << JsonInt(nExitCode) << ",\n" << ind << "\"failed_requests\": "
        << JsonInt(std::int64_t(nFailed)) << (bMore ? ",\n" : "\n");
}

// The fields every report opens with: the program, the script, the start,
// the threshold and whether the figures cover a run cut short.
void WriteHead(CChunkWriter& out, const QString& strVersion, const QString& strScript, bool bStarted,
               const QDateTime& startedAt, int nThresholdMs, bool bPartial)
{
    out << "{\n  \"velkor_version\": " << JsonString(strVersion) << ",\n  \"script\": " << JsonString(strScript)
        << ",\n  \"started_at\": " << (bStarted ? IsoWithOffset(startedAt) : QByteArrayLiteral("null"))
        << ",\n  \"threshold_ms\": " << JsonInt(nThresholdMs) << ",\n  \"partial\": "
        << (bPartial ? "true" : "false") << ",\n";
}

// Which shard of which device list and script a fleet report holds, when known.
void WriteShard(CChunkWriter& out, const CFleetShard& shard)
{
    if (!shard.IsKnown())
        return;
    out << "  \"shard\": " << JsonInt(shard.nIndex) << ",\n  \"shards\": " << JsonInt(shard.nCount)
        << ",\n  \"device_rows\": " << JsonInt(shard.nRows) << ",\n  \"script_sha256\": "
        << JsonString(shard.strScriptSha256) << ",\n  \"devices_sha256\": " << JsonString(shard.strDevicesSha256)
        << ",\n";
}

// The parts of one run, the same for a run alone and for a device of a fleet.
void WriteRunParts(CChunkWriter& out, const CRecordedRun& run, const QByteArray& verdictName, const QByteArray& ind,
                   bool bAtMs)
{
    WriteRequests(out, run, ind, bAtMs);
    WriteCheckAlives(out, run, ind);
    WriteTotals(out, run, ind);
    WriteStats(out, run, ind);
    WriteVerdict(out, verdictName, run.nExitCode, run.verdict.nFailed, ind, false);
}

}  // namespace

bool CJsonReport::Write(QIODevice& device, const CRecordedRun& run, const QString& strVersion)
{
    CChunkWriter out(device);
    WriteHead(out, strVersion, run.start.strScript, run.bStarted, run.start.startedAt, run.start.nThresholdMs,
              run.IsPartial());
    WriteRunParts(out, run, run.verdict.Name(), "  ", false);
    out << "}\n";
    return out.Flush();
}

bool CJsonReport::WriteFleet(QIODevice& device, const CRecordedFleet& fleet, const QString& strVersion)
{
    // The fleet's figures per script line, as the HTML page has them: they
    // do not grow with the number of devices. Each device's own, per URL,
    // are in its object.
    const CRecordedRun joined = JoinedRun(fleet, true);
    CChunkWriter out(device);
    WriteHead(out, strVersion, fleet.strScript, joined.bStarted, joined.start.startedAt, fleet.nThresholdMs,
              fleet.IsPartial());
    WriteLineStats(out, joined);
    WriteVerdict(out, fleet.verdict.Name(), fleet.nExitCode, fleet.verdict.nFailed, "  ", true);
    WriteShard(out, fleet.shard);
    out << "  \"not_run_devices\": " << std::int64_t(fleet.NotRunCount()) << ",\n";
    out << "  \"devices\": [";
    const char* pszSep = "\n";
    for (const CRecordedDevice& one : fleet.devices) {
        const CRecordedRun& run = one.run;
        out << pszSep << "    {\n      \"name\": " << JsonString(one.strName) << ",\n      \"row\": " << JsonInt(one.nRow)
            << ",\n      \"variables\": {";
        const char* pszVariableSep = "";
        for (const auto& variable : one.variables) {
            out << pszVariableSep << JsonString(variable.first) << ": " << JsonString(variable.second);
            pszVariableSep = ", ";
        }
        out << "},\n      \"started_at\": "
            << (run.bStarted ? IsoWithOffset(run.start.startedAt) : QByteArrayLiteral("null"))
            << ",\n      \"partial\": " << (one.IsCutShort() ? "true" : "false")
            << ",\n";
        WriteRunParts(out, run, one.VerdictName().toLatin1(), "      ", true);
        out << "    }";
        pszSep = ",\n";
    }
    out << (fleet.devices.empty() ? "]\n" : "\n  ]\n") << "}\n";
    return out.Flush();
}

bool CJsonReport::SaveFleet(const QString& strPath, const CRecordedFleet& fleet, const QString& strVersion,
                            QString* pError)
{
    return CReportFile::Write(
        strPath, [&](QIODevice& device) { return WriteFleet(device, fleet, strVersion); }, pError);
}

QByteArray CJsonReport::String(const QString& str) { return JsonString(str); }

QByteArray CJsonReport::RequestObject(const CRecordedRequest& request, const CRecordedTarget& target,
                                      const QString* pReason, bool bKind)
{
    QByteArray object = bKind ? QByteArrayLiteral("{\"kind\": \"request\", ") : QByteArrayLiteral("{");
    object += "\"index\": " + JsonInt(request.nIndex) + ", \"pass\": " + JsonInt(request.nPass)
        + ", \"line\": " + JsonInt(request.nLine) + ", \"url\": " + JsonString(target.strUrl)
        + ", \"host\": " + JsonString(target.strHost) + ", \"port\": "
        + (request.outcome == ERequestOutcome::NotSent ? QByteArrayLiteral("null") : JsonPort(target.strPort))
        + ", \"status\": " + (request.nStatus < 0 ? QByteArrayLiteral("null") : JsonInt(request.nStatus))
        + ", \"time_ms\": " + JsonInt(request.nTimeMs)
        + ", \"time_us\": " + (request.nTimeUs < 0 ? QByteArrayLiteral("null") : JsonInt(request.nTimeUs))
        + ", \"outcome\": \"" + OutcomeName(request.outcome)
        + "\", \"verdict\": \"" + (request.bPass ? "pass" : "fail") + "\", \"reason\": "
        + (pReason == nullptr ? QByteArrayLiteral("null") : JsonString(*pReason)) + "}";
    return object;
}

QByteArray CJsonReport::CheckAliveObject(const CCheckAliveResult& wait)
{
    return "{\"kind\": \"checkalive\", \"index\": " + JsonInt(wait.nIndex) + ", \"pass\": " + JsonInt(wait.nPass)
        + ", \"line\": " + JsonInt(wait.nLine) + ", \"host\": " + JsonString(wait.strHost)
        + ", \"port\": " + JsonPort(wait.strPort) + ", \"at_ms\": " + JsonInt(wait.nAtMs)
        + ", \"down_ms\": " + JsonInt(wait.nDownMs)
        + ", \"down_us\": " + (wait.nDownUs < 0 ? QByteArrayLiteral("null") : JsonInt(wait.nDownUs))
        + ", \"attempts\": " + JsonInt(wait.nAttempts)
        + ", \"stopped\": " + (wait.bStopped ? "true" : "false") + "}";
}

QByteArray CJsonReport::TotalsObject(bool bEnded, const CRunEndInfo& end)
{
    const QByteArray null = QByteArrayLiteral("null");
    return "{\"http_ms\": " + (bEnded ? JsonInt(end.nHttpMs) : null)
        + ", \"application_ms\": " + (bEnded ? JsonInt(end.nApplicationMs) : null)
        + ", \"while_repeat\": " + (bEnded && end.nWhileRepeat >= 0 ? JsonInt(end.nWhileRepeat) : null)
        + ", \"stopped\": " + (bEnded && end.bStopped ? "true" : "false") + "}";
}

bool CJsonReport::Save(const QString& strPath, const CRecordedRun& run, const QString& strVersion, QString* pError)
{
    return CReportFile::Write(
        strPath, [&](QIODevice& device) { return Write(device, run, strVersion); }, pError);
}
