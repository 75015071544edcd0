#pragma once

#include "CScript.h"

#include <QString>
#include <QStringList>

#include <functional>

// The parser's part for Expect, Capture and Require lines: each is read
// before any keyword is looked for, and its record goes to the step of the
// request or CheckAlive line above it (only Expect, Capture and empty lines
// may come between) or, for Require, to the script. A malformed line gets a
// "<Syntax error>" line and fails the parse.
class CStepChecksReader {
public:
    using ErrorSink = std::function<void(const QString&)>;

    CStepChecksReader(CScript& script, ErrorSink sink) : m_script(script), m_sink(std::move(sink)) {}

    // True when the line is an Expect, Capture or Require line (taken, right
    // or wrong); nLine counts from 1.
    bool Take(const QString& strLine, int nLine);
    // After any other line: the step its checks would go to (the index of
    // its HTTP command or CheckAlive step), or -1.
    void StepLine(int nStep);
    // After the last line: a capture used in a host or port is an error.
    void Finish();

    bool Failed() const { return m_nErrors > 0; }

private:
    void Error(const QString& strKind, int nLine, const QString& strWhy);
    CStepChecks& ChecksOf(CCommandItem& item);

    CScript& m_script;
    ErrorSink m_sink;
    int m_nStep = -1;
    int m_nErrors = 0;
};
