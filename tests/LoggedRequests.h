#pragma once

// The requests of a run as its log lines tell them, and the figures of those
// lines, for checking the run's result records and reports against the log.

#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <vector>

// The figure in a response-time or total line, in milliseconds.
inline qint64 FigureMs(const QString& strLine)
{
    static const QRegularExpression figure(QStringLiteral(" : (-?\\d+) ms"));
    const QRegularExpressionMatch match = figure.match(strLine);
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

struct CLoggedRequest {
    QString strUrl;       // as the send line shows it
    bool bSent = true;    // false for a "[NOT SENT]" line
    qint64 nTimeMs = 0;   // the response time line's figure
    bool bTooMuch = false;
    bool bTimeout = false;
    bool bData = false;   // a response data line other than the time-out's
    int nPass = 0;        // the While Count line that followed it; 0 without one

    // "ok", "slow", "timeout", "failed" or "not-sent".
    QString Outcome() const
    {
        if (!bSent)
            return QStringLiteral("not-sent");
        if (bTimeout)
            return QStringLiteral("timeout");
        if (!bData)
            return QStringLiteral("failed");
        return bTooMuch ? QStringLiteral("slow") : QStringLiteral("ok");
    }
};

// lines: the log's texts without their stamps, one per entry.
inline std::vector<CLoggedRequest> ReadLoggedRequests(const QStringList& lines)
{
    static const QRegularExpression figure(QStringLiteral("^Response time : (\\d+) ms"));
    std::vector<CLoggedRequest> requests;
    for (const QString& strLine : lines) {
        if (strLine.startsWith(QLatin1String("[SEND] "))) {
            requests.push_back({strLine.mid(7)});
            continue;
        }
        if (strLine.startsWith(QLatin1String("[NOT SENT] "))) {
            requests.push_back({strLine.mid(11).section(QStringLiteral(" - "), 0, 0), false});
            continue;
        }
        if (requests.empty())
            continue;
        CLoggedRequest& last = requests.back();
        if (const QRegularExpressionMatch match = figure.match(strLine); match.hasMatch()) {
            last.nTimeMs = match.captured(1).toLongLong();
            last.bTooMuch = strLine.endsWith(QLatin1String("(Too much!)"));
        } else if (strLine.startsWith(QLatin1String("Response data : NONE (reason : timeout"))) {
            last.bTimeout = true;
        } else if (strLine.startsWith(QLatin1String("Response data : "))) {
            last.bData = true;
        } else if (strLine.startsWith(QLatin1String("==== While Count : "))) {
            last.nPass = strLine.section(QLatin1Char(' '), 4, 4).toInt();
        }
    }
    return requests;
}
