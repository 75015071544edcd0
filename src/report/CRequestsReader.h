#pragma once

#include "ReportJsonFields.h"

#include <cstddef>
#include <string>
#include <unordered_map>

// The requests array, each one recorded as it is read. After a damaged one
// the rest are only checked as JSON.
class CRequestsReader {
public:
    CRequestsReader(CJsonScanner& scan, reportjson::CRunFields& fields) : m_scan(scan), m_fields(fields) {}

    // Reads the array at the scanner's place: false when it is not JSON.
    bool Read();

private:
    bool One();
    // Room for the rest of the array's requests, as estimated from the first
    // kSizingRequests of them.
    void Reserve(std::size_t nFirst);
    static constexpr std::size_t kSizingRequests = 1024;
    bool OutcomeOf(ERequestOutcome* pOutcome) const;
    // The target of the url, host and port just read, recorded once.
    std::uint32_t TargetOf();

    CJsonScanner& m_scan;
    reportjson::CRunFields& m_fields;
    std::int64_t m_nSumMs = 0;
    std::size_t m_nArrayAt = 0;  // the array's offset in the text
    // Buffers reused from one request to the next.
    std::string m_outcome, m_url, m_host, m_port, m_reason, m_verdict, m_key;
    std::unordered_map<std::string, std::uint32_t> m_targets;
    std::unordered_map<std::string, std::int32_t> m_reasons;
};
