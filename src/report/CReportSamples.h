#pragma once

#include <QString>

#include <cstdint>
#include <string_view>
#include <vector>

// The requests of one script line (of one device), as a comparison of two
// runs reads them: the response times and the counts, nothing else.
struct CLineSamples {
    int nLine = 0;
    QString strUrl;                    // the line's first request's URL
    std::vector<std::uint32_t> times;  // the responses' (ok, slow) times in microseconds, ascending once sorted
    std::uint64_t nRequests = 0;
    std::uint64_t nErrors = 0;         // timed out, failed or not sent: no response
    std::int64_t nFirstAtMs = -1;      // the earliest request start
    std::int64_t nLastEndMs = -1;      // the latest request end

    // Error % as the run's statistics give it: nErrors in nRequests.
    double ErrorPercent() const;
    // nRequests over the span from the first start to the last end; -1 when
    // that span is 0.
    double RequestsPerSecond() const;
    // The nearest-rank percentile of the sorted times (p 50: the median), in
    // microseconds; -1 without a response.
    std::int64_t Percentile(int nPercent) const;
    // Adds another device's requests of the same line (times left unsorted).
    void Add(const CLineSamples& other);
};

// One device's lines in the script's order (a report of one run: one device
// with an empty name).
struct CDeviceSamples {
    QString strName;
    std::vector<CLineSamples> lines;
};

// What a JSON report holds for a comparison.
struct CReportSamples {
    QString strVersion;
    QString strScript;
    int nThresholdMs = 0;
    bool bFleet = false;   // a report of a run over a device list
    bool bPartial = false;
    std::vector<CDeviceSamples> devices;
    std::uint64_t nRequests = 0;

    // Every device's requests joined per script line.
    std::vector<CLineSamples> JoinedLines() const;
};

// Reads a JSON report written by velkor-cli (run, run --devices, merge, or the
// window) without building a tree of it: the file is mapped and scanned
// once, each response time kept as a 32-bit count of microseconds (a
// 1,000,000-request report: 4 MB of times). False, with *pProblem saying why
// ("not JSON (a ',' or '}' expected at byte 812)", "written by velkor-cli
// 2.0.0, a newer report format than this 1.0.1.4 reads", "4.3 GB, more than
// the 2 GB a report may have", "a JSON Lines file (--jsonl), not a JSON
// report: ..."), when it is not such a report.
class CReportSampleReader {
public:
    // Larger files are refused before they are read.
    static constexpr std::int64_t kMaxBytes = std::int64_t(2) << 30;

    static bool ReadFile(const QString& strPath, const QString& strOurVersion, CReportSamples* pSamples,
                         QString* pProblem);
    static bool Read(std::string_view json, const QString& strOurVersion, CReportSamples* pSamples,
                     QString* pProblem);
};
