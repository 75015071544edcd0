#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// Lines written under a request (or a CheckAlive) that say what its answer
// must be, what to keep of it, and lines that say what the whole run must
// reach:
//
//   Expect status 200                  Expect field pan == 30 ± 1   (or +- 1)
//   Expect header "Content-Type" contains "text"
//   Expect body not contains "Error"   Expect json /pan >= 10
//   Expect time < 250                  Expect downtime < 60s  (under CheckAlive)
//   Capture pan = field pan            Require p99 < 300 per url
//
// A line is one of these when its first word is "Expect", "Capture" or
// "Require"; it is read before any keyword is looked for, so its text may
// hold any word.

enum class ECheckSubject { Status, Header, Body, BodySize, Field, Json, Time, Downtime };
enum class ECheckOp { Eq, Ne, Lt, Le, Gt, Ge, Contains, Matches, Exists, Empty, In };

// One "Expect" line.
struct CCheck {
    ECheckSubject subject = ECheckSubject::Status;
    QString strName;            // header or field name, JSON Pointer
    ECheckOp op = ECheckOp::Eq;
    bool bNot = false;          // "not" before the comparison
    bool bNumeric = false;      // the expected value is a number
    double dValue = 0;          // the number (ms for time and downtime)
    double dTolerance = 0;      // after "±" or "+-"; 0 without one
    QString strValue;           // the expected text; "2xx" for a status class
    QStringList listValues;     // "in": the statuses or classes listed
    QRegularExpression regex;   // "matches": compiled, bounded (see ResponseChecks)
    QString strText;            // the check as written after "Expect"
    int nLine = 0;              // script line, counted from 1
};

// One "Capture NAME = SOURCE" line: SOURCE is "field F", "header H",
// "json /pointer", "status", or "body matches "RE"" (group 1 when the
// expression has one, else the whole match).
struct CCapture {
    QString strName;
    ECheckSubject source = ECheckSubject::Field;
    QString strSubject;         // field or header name, JSON Pointer
    QRegularExpression regex;   // for a body match
    QString strText;            // as written after "Capture"
    int nLine = 0;
};

enum class ERequireMetric { P50, P95, P99, Max, Errors, Rps, Count };

// One "Require" line or --require: a figure of the run (or of each URL).
struct CRequirement {
    ERequireMetric metric = ERequireMetric::P99;
    ECheckOp op = ECheckOp::Lt;  // ==, !=, <, <=, >, >=
    double dValue = 0;
    bool bPerUrl = false;        // "per url": every URL on its own
    QString strUrlPart;          // "for TEXT": every URL holding TEXT, on its own
    QString strText;             // as written after "Require"
    int nLine = 0;               // 0 for --require
};

// The checks and captures of one step.
struct CStepChecks {
    std::vector<CCheck> checks;
    std::vector<CCapture> captures;
};

enum class ECheckLine { None, Check, Capture, Requirement };

// What one line is; for a check, capture or requirement line the record is
// filled, or strError says what is wrong with it.
struct CCheckLineRead {
    ECheckLine kind = ECheckLine::None;
    CCheck check;
    CCapture capture;
    CRequirement requirement;
    QString strError;
};

CCheckLineRead ReadCheckLine(const QString& strLine);

// The text after "Require" (or of --require). Empty on success, else why not.
QString ReadRequirement(const QString& strText, CRequirement& requirement);

// The most of a regular expression's work on one subject: the expression
// stops with a reason instead (see ResponseChecks).
constexpr int kRegexMatchLimit = 1000000;
// A pattern as the checks compile it: bounded in work by kRegexMatchLimit.
QRegularExpression BoundedRegex(const QString& strPattern);

// The names of the captures a script's lines define, for the placeholders
// that stay until run time.
QStringList CaptureNames(const QStringList& lines);
