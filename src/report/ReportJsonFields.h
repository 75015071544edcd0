#pragma once

#include "CJsonScanner.h"
#include "CFleetReport.h"
#include "CRunRecorder.h"

#include <QList>
#include <QPair>
#include <QString>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

// The pieces of a JSON report's reading (ReadFleetJson) that its requests'
// reader (CRequestsReader) shares.
namespace reportjson {

// A number as read: as a whole number it is taken, anything else (a
// fraction, out of range, not a number) gives the default.
struct CNumber {
    double d = 0;
    bool bIs = false;

    std::int64_t Integer(std::int64_t nDefault) const
    {
        return bIs && d == std::floor(d) && std::fabs(d) < 9.0e18 ? std::int64_t(d) : nDefault;
    }
    int Int(int nDefault = 0) const
    {
        return bIs && d == std::floor(d) && d >= double(std::numeric_limits<int>::min()) &&
                       d <= double(std::numeric_limits<int>::max())
                   ? int(d)
                   : nDefault;
    }
    bool Read(CJsonScanner& scan) { return scan.Number(&d, &bIs); }
};

// A string member, or "" for anything else.
inline bool ReadText(CJsonScanner& scan, QString* pValue, bool* pIs = nullptr)
{
    bool bIs = false;
    if (!scan.MaybeString(pValue, &bIs))
        return false;
    if (!bIs)
        pValue->clear();
    if (pIs)
        *pIs = bIs;
    return true;
}

// true, or false for anything else.
inline bool ReadFlag(CJsonScanner& scan, bool* pValue)
{
    bool bIs = false;
    return scan.Bool(pValue, &bIs);
}

// A port as a number or as text.
inline bool ReadPort(CJsonScanner& scan, std::string* pPort)
{
    if (scan.Peek() == '-' || (scan.Peek() >= '0' && scan.Peek() <= '9')) {
        CNumber port;
        if (!port.Read(scan))
            return false;
        *pPort = std::to_string(port.Integer(0));
        return true;
    }
    bool bIs = false;
    if (!scan.Utf8(pPort, &bIs))
        return false;
    if (!bIs)
        pPort->clear();
    return true;
}

// What a run's object (a device's, or the whole report of one run) holds
// besides its requests, kept until the object ends since its members may
// come in any order.
struct CRunFields {
    CRecordedRun run;
    const RequestsRead* pOnRequests = nullptr;  // sees the requests as they are read
    bool bRequests = false;
    CNumber exitCode;
    QString strVerdict;
    bool bPartial = false;
    bool bTotals = false;  // totals with http_ms
    QString strProblem;    // the first damaged request
    // Device members (a fleet's).
    QString strName;
    CNumber row;
    QList<QPair<QString, QString>> variables;
};

}  // namespace reportjson
