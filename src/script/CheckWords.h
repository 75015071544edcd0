#pragma once

#include "CheckLines.h"

#include <QString>

#include <vector>

// The words of an Expect, Capture or Require line, and the plain values
// they hold: what CheckLines reads its records from.
namespace CheckWords {

// A line's words: blanks and tabs part them, a "..." string is one word
// (\" inside it is a quote), and "±" stands alone. bQuoted tells a string.
struct CWord {
    QString strText;
    bool bQuoted = false;
};

bool SplitWords(const QString& strLine, std::vector<CWord>& words, QString& strError);
bool ReadNumber(const QString& strText, double& dValue);
// A time: "250", "250ms", "60s", "1.5s", in ms.
bool ReadMs(const QString& strText, double& dMs);
bool IsStatusClass(const QString& strText);
bool IsStatus(const QString& strText);
bool ReadOp(const QString& strWord, ECheckOp& op);
bool IsOrder(ECheckOp op);

}  // namespace CheckWords
