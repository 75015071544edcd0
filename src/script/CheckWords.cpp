#include "CheckWords.h"

#include <cmath>

namespace CheckWords {

bool SplitWords(const QString& strLine, std::vector<CWord>& words, QString& strError)
{
    qsizetype i = 0;
    const qsizetype n = strLine.size();
    while (i < n) {
        const QChar c = strLine[i];
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            ++i;
        } else if (c == QLatin1Char('"')) {
            CWord word;
            word.bQuoted = true;
            ++i;
            bool bClosed = false;
            while (i < n) {
                const QChar d = strLine[i++];
                if (d == QLatin1Char('"')) {
                    bClosed = true;
                    break;
                }
                // \" is a quote; any other backslash stays (a regular
                // expression keeps its \d).
                if (d == QLatin1Char('\\') && i < n && strLine[i] == QLatin1Char('"'))
                    word.strText += strLine[i++];
                else
                    word.strText += d;
            }
            if (!bClosed) {
                strError = QStringLiteral("a string is not closed with '\"'");
                return false;
            }
            words.push_back(word);
        } else if (c == QChar(0x00B1)) {
            words.push_back({QStringLiteral("±"), false});
            ++i;
        } else {
            CWord word;
            while (i < n && strLine[i] != QLatin1Char(' ') && strLine[i] != QLatin1Char('\t') &&
                   strLine[i] != QChar(0x00B1) && strLine[i] != QLatin1Char('"'))
                word.strText += strLine[i++];
            words.push_back(word);
        }
    }
    return true;
}

bool ReadNumber(const QString& strText, double& dValue)
{
    bool bOk = false;
    dValue = strText.toDouble(&bOk);
    return bOk && std::isfinite(dValue);
}

bool ReadMs(const QString& strText, double& dMs)
{
    if (strText.endsWith(QLatin1String("ms")))
        return ReadNumber(strText.chopped(2), dMs);
    if (strText.endsWith(QLatin1Char('s'))) {
        if (!ReadNumber(strText.chopped(1), dMs))
            return false;
        dMs *= 1000;
        return true;
    }
    return ReadNumber(strText, dMs);
}

bool IsStatusClass(const QString& strText)
{
    return strText.size() == 3 && strText[0] >= QLatin1Char('1') && strText[0] <= QLatin1Char('5') &&
           strText.mid(1) == QLatin1String("xx");
}

bool IsStatus(const QString& strText)
{
    double d = 0;
    return IsStatusClass(strText) ||
           (ReadNumber(strText, d) && d == std::floor(d) && d >= 100 && d <= 999 && !strText.contains(QLatin1Char('.')));
}

bool ReadOp(const QString& strWord, ECheckOp& op)
{
    static const struct {
        const char* szWord;
        ECheckOp op;
    } kOps[] = {{"==", ECheckOp::Eq}, {"!=", ECheckOp::Ne},        {"<", ECheckOp::Lt},
                {"<=", ECheckOp::Le}, {">", ECheckOp::Gt},         {">=", ECheckOp::Ge},
                {"contains", ECheckOp::Contains}, {"matches", ECheckOp::Matches}, {"exists", ECheckOp::Exists},
                {"in", ECheckOp::In}};
    for (const auto& entry : kOps) {
        if (strWord == QLatin1String(entry.szWord)) {
            op = entry.op;
            return true;
        }
    }
    return false;
}

bool IsOrder(ECheckOp op) { return op == ECheckOp::Lt || op == ECheckOp::Le || op == ECheckOp::Gt || op == ECheckOp::Ge; }

}  // namespace CheckWords
