#include "CReportSamples.h"

#include "CJsonScanner.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <limits>

double CLineSamples::ErrorPercent() const
{
    return nRequests == 0 ? 0.0 : 100.0 * double(nErrors) / double(nRequests);
}

double CLineSamples::RequestsPerSecond() const
{
    const std::int64_t nSpanMs = nLastEndMs - nFirstAtMs;
    return nFirstAtMs < 0 || nSpanMs <= 0 ? -1.0 : double(nRequests) * 1000.0 / double(nSpanMs);
}

std::int64_t CLineSamples::Percentile(int nPercent) const
{
    if (times.empty())
        return -1;
    const std::uint64_t n = times.size();
    const std::uint64_t nRank = std::max<std::uint64_t>(1, (std::uint64_t(nPercent) * n + 99) / 100);
    return times[std::size_t(std::min(nRank, n) - 1)];
}

void CLineSamples::Add(const CLineSamples& other)
{
    if (strUrl.isEmpty())
        strUrl = other.strUrl;
    times.insert(times.end(), other.times.begin(), other.times.end());
    nRequests += other.nRequests;
    nErrors += other.nErrors;
    if (other.nFirstAtMs >= 0 && (nFirstAtMs < 0 || other.nFirstAtMs < nFirstAtMs))
        nFirstAtMs = other.nFirstAtMs;
    nLastEndMs = std::max(nLastEndMs, other.nLastEndMs);
}

std::vector<CLineSamples> CReportSamples::JoinedLines() const
{
    std::vector<CLineSamples> joined;
    for (const CDeviceSamples& device : devices)
        for (const CLineSamples& line : device.lines) {
            auto it = std::find_if(joined.begin(), joined.end(),
                                   [&line](const CLineSamples& j) { return j.nLine == line.nLine; });
            if (it == joined.end()) {
                joined.push_back(CLineSamples{line.nLine, line.strUrl, {}, 0, 0, -1, -1});
                it = joined.end() - 1;
            }
            it->Add(line);
        }
    for (CLineSamples& line : joined)
        std::sort(line.times.begin(), line.times.end());
    std::sort(joined.begin(), joined.end(),
              [](const CLineSamples& a, const CLineSamples& b) { return a.nLine < b.nLine; });
    return joined;
}

namespace {

// Script lines are numbered from 1; a report naming a line past this is damaged.
constexpr double kMaxLine = 10'000'000;

// The leading number of a version ("1" of "1.0.1.4"); -1 when there is none.
int MajorOf(const QString& strVersion)
{
    bool bOk = false;
    const int nMajor = strVersion.section(QLatin1Char('.'), 0, 0).toInt(&bOk);
    return bOk ? nMajor : -1;
}

// The requests array of one run (or device) into *pDevice.
bool ReadRequests(CJsonScanner& scan, CDeviceSamples* pDevice, std::uint64_t* pCount, QString* pProblem)
{
    std::vector<std::int32_t> lineIndex;  // script line -> index in lines; -1: none yet
    std::string text;
    std::int64_t nSumMs = 0;
    return scan.Array([&]() {
        double dLine = -1, dTimeMs = -1, dTimeUs = -1, dAtMs = -1;
        bool bLine = false, bTimeMs = false, bTimeUs = false, bAt = false, bUrl = false, bOutcome = false;
        QString strUrl;
        enum { kOk, kSlow, kNoResponse, kUnknown } outcome = kUnknown;
        const bool bRead = scan.Object([&](std::string_view key) {
            if (key == "line")
                return scan.Number(&dLine, &bLine);
            if (key == "time_ms")
                return scan.Number(&dTimeMs, &bTimeMs);
            if (key == "time_us")
                return scan.Number(&dTimeUs, &bTimeUs);
            if (key == "at_ms")
                return scan.Number(&dAtMs, &bAt);
            if (key == "url") {
                // Only a line's first URL is kept.
                const bool bKnown = bLine && dLine >= 1 && dLine < double(lineIndex.size()) &&
                                    lineIndex[std::size_t(dLine)] >= 0;
                if (!bKnown)
                    return scan.MaybeString(&strUrl, &bUrl);
                bUrl = scan.Peek() == '"';
                return scan.Skip();
            }
            if (key == "outcome") {
                if (!scan.Utf8(&text, &bOutcome))
                    return false;
                outcome = text == "ok" ? kOk
                          : text == "slow" ? kSlow
                          : text == "timeout" || text == "failed" || text == "not-sent" ? kNoResponse
                                                                                         : kUnknown;
                return true;
            }
            return scan.Skip();
        });
        if (!bRead)
            return false;
        const std::uint64_t nRequest = *pCount + 1;
        if (!bLine || dLine < 1 || dLine > kMaxLine || dLine != std::floor(dLine) || !bUrl || outcome == kUnknown) {
            *pProblem = QStringLiteral("request %1 has no %2")
                            .arg(nRequest)
                            .arg(!bLine || dLine < 1 || dLine > kMaxLine || dLine != std::floor(dLine)
                                     ? QStringLiteral("script line")
                                 : !bUrl ? QStringLiteral("url")
                                         : QStringLiteral("known outcome"));
            return false;
        }
        const double dUs = bTimeUs && dTimeUs >= 0 ? dTimeUs : bTimeMs && dTimeMs >= 0 ? dTimeMs * 1000.0 : -1.0;
        if ((outcome == kOk || outcome == kSlow) && dUs < 0) {
            *pProblem = QStringLiteral("request %1 has a response but no time").arg(nRequest);
            return false;
        }
        const auto nLine = std::size_t(dLine);
        if (nLine >= lineIndex.size())
            lineIndex.resize(nLine + 1, -1);
        if (lineIndex[nLine] < 0) {
            lineIndex[nLine] = std::int32_t(pDevice->lines.size());
            pDevice->lines.push_back(CLineSamples{int(nLine), strUrl, {}, 0, 0, -1, -1});
        }
        CLineSamples& line = pDevice->lines[std::size_t(lineIndex[nLine])];
        ++line.nRequests;
        if (outcome == kNoResponse)
            ++line.nErrors;
        else
            line.times.push_back(std::uint32_t(std::min(dUs, double(std::numeric_limits<std::uint32_t>::max()))));
        // Without at_ms (a run's own report) the requests follow one another.
        const std::int64_t nTimeMs = bTimeMs && dTimeMs > 0 ? std::int64_t(dTimeMs) : 0;
        const std::int64_t nAtMs = bAt ? std::int64_t(dAtMs) : nSumMs;
        nSumMs = nAtMs + nTimeMs;
        if (line.nFirstAtMs < 0 || nAtMs < line.nFirstAtMs)
            line.nFirstAtMs = nAtMs;
        line.nLastEndMs = std::max(line.nLastEndMs, nAtMs + nTimeMs);
        *pCount = nRequest;
        return true;
    });
}

}  // namespace

bool CReportSampleReader::Read(std::string_view json, const QString& strOurVersion, CReportSamples* pSamples,
                               QString* pProblem)
{
    CReportSamples& samples = *pSamples;
    samples = CReportSamples();
    CJsonScanner scan(json);
    QString strProblem;
    bool bVersion = false, bScript = false, bThreshold = false, bRequests = false;
    bool bRecord = false;  // a record of a JSON Lines file ("kind"), which no report has at its top
    double dThreshold = 0;
    const auto readDevice = [&](CDeviceSamples* pDevice) {
        return ReadRequests(scan, pDevice, &samples.nRequests, &strProblem);
    };
    scan.Object([&](std::string_view key) {
        if (key == "velkor_version")
            return scan.MaybeString(&samples.strVersion, &bVersion);
        if (key == "script")
            return scan.MaybeString(&samples.strScript, &bScript);
        if (key == "kind")
            bRecord = true;
        if (key == "threshold_ms")
            return scan.Number(&dThreshold, &bThreshold);
        if (key == "partial") {
            bool bIsBool = false;
            return scan.Bool(&samples.bPartial, &bIsBool);
        }
        if (key == "requests" && scan.Peek() == '[') {
            bRequests = true;
            samples.devices.emplace_back();
            return readDevice(&samples.devices.back());
        }
        if (key == "devices" && scan.Peek() == '[') {
            samples.bFleet = true;
            return scan.Array([&]() {
                CDeviceSamples device;
                bool bName = false, bDeviceRequests = false;
                const bool bRead = scan.Object([&](std::string_view deviceKey) {
                    if (deviceKey == "name")
                        return scan.MaybeString(&device.strName, &bName);
                    if (deviceKey == "requests" && scan.Peek() == '[') {
                        bDeviceRequests = true;
                        return readDevice(&device);
                    }
                    return scan.Skip();
                });
                if (!bRead)
                    return false;
                if (!bName || device.strName.isEmpty() || !bDeviceRequests) {
                    strProblem = QStringLiteral("device %1 has no %2")
                                     .arg(samples.devices.size() + 1)
                                     .arg(!bName || device.strName.isEmpty() ? QStringLiteral("name")
                                                                             : QStringLiteral("requests"));
                    return false;
                }
                samples.devices.push_back(std::move(device));
                return true;
            });
        }
        return scan.Skip();
    });
    scan.End();
    if (!strProblem.isEmpty()) {
        *pProblem = QStringLiteral("damaged: ") + strProblem;
        return false;
    }
    if (bRecord && !bVersion) {
        *pProblem = QStringLiteral("a JSON Lines file (--jsonl), not a JSON report: compare the run's JSON report "
                                   "(--json FILE)");
        return false;
    }
    if (scan.Failed()) {
        *pProblem = QStringLiteral("not JSON, or cut off (%1)").arg(scan.Error());
        return false;
    }
    if (!bVersion || !bScript || !bThreshold) {
        *pProblem = QStringLiteral("not a velkor-cli JSON report (no velkor_version, script or threshold_ms)");
        return false;
    }
    const int nTheirs = MajorOf(samples.strVersion);
    const int nOurs = MajorOf(strOurVersion);
    if (nTheirs >= 0 && nOurs >= 0 && nTheirs > nOurs) {
        *pProblem = QStringLiteral("written by velkor-cli %1, a newer report format than this %2 reads")
                        .arg(samples.strVersion, strOurVersion);
        return false;
    }
    if (!bRequests && !samples.bFleet) {
        *pProblem = QStringLiteral("damaged: no requests array");
        return false;
    }
    samples.nThresholdMs = int(dThreshold);
    for (CDeviceSamples& device : samples.devices) {
        std::sort(device.lines.begin(), device.lines.end(),
                  [](const CLineSamples& a, const CLineSamples& b) { return a.nLine < b.nLine; });
        for (CLineSamples& line : device.lines)
            std::sort(line.times.begin(), line.times.end());
    }
    return true;
}

bool CReportSampleReader::ReadFile(const QString& strPath, const QString& strOurVersion, CReportSamples* pSamples,
                                   QString* pProblem)
{
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly)) {
        *pProblem = file.errorString();
        return false;
    }
    const qint64 nSize = file.size();
    if (nSize > kMaxBytes) {
        *pProblem = QStringLiteral("%1 GB, more than the %2 GB a report may have")
                        .arg(double(nSize) / double(1 << 30), 0, 'f', 1)
                        .arg(kMaxBytes >> 30);
        return false;
    }
    if (nSize == 0 && !file.isSequential()) {
        *pProblem = QStringLiteral("empty");
        return false;
    }
    // A regular file is mapped, not copied; anything else (a pipe) is read.
    uchar* pMapped = file.isSequential() ? nullptr : file.map(0, nSize);
    if (pMapped) {
        const bool bRead = Read(std::string_view(reinterpret_cast<const char*>(pMapped), std::size_t(nSize)),
                                strOurVersion, pSamples, pProblem);
        file.unmap(pMapped);
        return bRead;
    }
    const QByteArray bytes = file.read(kMaxBytes + 1);
    if (bytes.size() > kMaxBytes) {
        *pProblem = QStringLiteral("more than the %1 GB a report may have").arg(kMaxBytes >> 30);
        return false;
    }
    return Read(std::string_view(bytes.constData(), std::size_t(bytes.size())), strOurVersion, pSamples, pProblem);
}
