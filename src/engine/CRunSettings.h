#pragma once

#include "RunResults.h"
#include "http/CTlsConnection.h"
#include "script/CheckLines.h"

#include <QString>

#include <cstdint>
#include <vector>

// Everything a run is given besides its script, in one place: the window and
// velkor-cli fill it, the engine takes it as numbers and texts, and the
// verdict of every request and of the run is judged by its rules.
struct CRunSettings {
    static inline const QString kDefaultId = QStringLiteral("admin");
    static inline const QString kDefaultPassword = QStringLiteral("4719");
    static constexpr int kDefaultThresholdMs = 300;

    QString strId = kDefaultId;
    QString strPassword = kDefaultPassword;
    int nThresholdMs = kDefaultThresholdMs;  // a response this slow or slower is "Too much!"
    CTlsOptions tls;
    bool bFailOnSlow = false;    // a slow response fails its request and the run
    bool bFailOnStatus = false;  // a final status of 400 or above fails its request and the run
    bool bStrict = false;        // any syntax error line of the parse fails the script
    // Run limits: once the run has lasted nMaxDurationMs since its opening
    // line, or nMaxPasses While passes are done, the running While block ends
    // as a Stop ends it (and so does every later one). 0: no limit.
    std::int64_t nMaxDurationMs = 0;
    QString strMaxDuration;      // the duration as the user typed it, for the [LIMIT] line
    int nMaxPasses = 0;
    // Requirements on the run's figures besides the script's Require lines
    // (velkor-cli --require), judged at the run's end.
    std::vector<CRequirement> vecRequirements;

    // Whether a request with this outcome and final status passes: it must
    // have been answered (ok or slow), and not be slow or an error status
    // when those rules are on.
    bool RequestPasses(ERequestOutcome outcome, int nStatus) const;

    // A threshold as typed for velkor-cli: plain digits, 0 to 2147483647.
    // False (nothing set) for anything else: a sign, a unit, blanks, empty.
    static bool ParseThreshold(const QString& strText, int* pMs);
    // A run limit's duration: whole seconds as plain digits or with a unit,
    // "90s", "10m", "8h"; at least 1 s, at most 100000 h. False (nothing set)
    // for anything else.
    static bool ParseDuration(const QString& strText, std::int64_t* pMs);
    // A pass count: plain digits, 1 to 2147483647.
    static bool ParsePasses(const QString& strText, int* pPasses);
    // The threshold box's text as the window has always read it: the decimal
    // number at its start, 0 when there is none (the box takes digits only).
    static int ThresholdFromBox(const QString& strText);
};
