#pragma once

#include "ResponseChecks.h"
#include "script/Placeholders.h"

#include <QString>
#include <QStringList>

#include <cstdint>

// A step's checks and captures at run time: what they gave for one answer
// or one CheckAlive wait, the captured values of a run (one device's), and
// the request target with them put in.
namespace StepChecks {

// Room for a head and the part of a body the checks read.
int ResponseCapacity();

struct COutcome {
    int nJudged = 0;          // checks and captures
    QStringList failures;     // one reason per failing check or capture, in script order
    QList<int> lines;         // the script line of each
};

// Judges the checks, then takes the captures into captures (a capture that
// cannot be taken fails like a check, and its old value is dropped). A
// value taken again goes into the room of the one before.
COutcome Judge(const CStepChecks& step, const ResponseChecks::CAnswer& answer, ScriptVariables& captures);
// The downtime checks of a CheckAlive wait.
COutcome JudgeWait(const CStepChecks& step, std::int64_t nDownMs, bool bStopped);

// The request target with the captured values in its {{name}} (names the
// script's Capture lines take; any other placeholder stays as written): the
// target itself when it has none, else buffer (the worker's, its room kept)
// filled with it. The capture names without a value yet go to missing.
const QString& TargetWithCaptures(const QString& strTarget, const QStringList& captureNames,
                                  const ScriptVariables& captures, QString& buffer, QStringList& missing);

// "[CHECK] 127.0.0.1:80 (line 4) - expected field pan == 30 ± 1, got 12".
QString CheckLine(const QString& strTarget, int nLine, const QString& strReason);
// Why a request that uses a capture not yet taken is not sent.
QString NoCaptureReason(const QStringList& missing);

}  // namespace StepChecks
