#pragma once

#include "engine/RunResults.h"

#include <QString>

#include <cstdint>

struct CRunStatisticsSnapshot;
struct CRunVerdictSummary;

// The run as JSON Lines, one object a line, each written to the file with a
// system call of its own the moment its result comes, so that a run killed
// at any point (SIGKILL too) leaves every finished request in the file:
//   {"kind": "request", ...}     per request, the fields of a request in the
//                                JSON report (CJsonReport), "kind" first;
//                                written before the request's log lines
//   {"kind": "checkalive", ...}  per CheckAlive wait, as in the JSON report
//   {"kind": "summary", ...}     last, once the run is over: partial,
//                                requests and checkalive (how many records
//                                came), totals, stats, stats_total, verdict,
//                                exit_code and failed_requests, as the JSON
//                                report has them
// A listener on the run; the records come from the worker, the summary from
// the runner after the worker ended.
class CJsonLinesWriter : public IRunListener {
public:
    CJsonLinesWriter() = default;
    ~CJsonLinesWriter() override;
    CJsonLinesWriter(const CJsonLinesWriter&) = delete;
    CJsonLinesWriter& operator=(const CJsonLinesWriter&) = delete;

    // strPath "-": standard output; a file is created or emptied, anything
    // else that exists (a FIFO, a device) written where it is. False, with
    // the system's reason in *pError, when it cannot be opened.
    bool Open(const QString& strPath, QString* pError);
    // Opened on a descriptor the caller keeps open (benchmarks, tests, the
    // devices of a fleet sharing one file).
    void OpenDescriptor(int nFd);
    // The descriptor records go to; -1 before Open.
    int Descriptor() const { return m_nFd; }
    // Every record from now on carries "device": strName first (a run over
    // devices, whose records share one file: each is one write, so the lines
    // of devices running at once never mix).
    void SetDevice(const QString& strName);

    void OnRunStart(const CRunStartInfo& info) override;
    void OnRequest(const CRequestResult& result) override;
    void OnCheckAlive(const CCheckAliveResult& result) override;
    void OnRunEnd(const CRunEndInfo& info) override;

    // The summary record; false when it or any record before it could not
    // be written, with the system's reason in *pError.
    bool WriteSummary(const CRunStatisticsSnapshot& statistics, const CRunVerdictSummary& verdict, int nExitCode,
                      QString* pError);

    // One more record, as it is; false when it or any record before it
    // could not be written, with the system's reason in *pError.
    bool WriteRecord(const QByteArray& record, QString* pError);

private:
    void WriteLine(QByteArray line);

    QByteArray m_device;  // "\"device\": NAME, " or empty
    int m_nFd = -1;
    bool m_bOwnFd = false;
    int m_nErrno = 0;  // the first write's failure; 0: none
    std::uint64_t m_nRequests = 0;
    std::uint64_t m_nCheckAlives = 0;
    bool m_bEnded = false;
    CRunEndInfo m_end;
};
