#pragma once

// Log texts as tests compare them: without the "[hh:mm:ss.zzz] " stamp that
// starts every line, and with the figures that depend on timing masked.

#include <QRegularExpression>
#include <QString>

inline QString WithoutStamps(QString strText)
{
    static const QRegularExpression stamp(QStringLiteral("(?m)^\\[\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d\\] "));
    return strText.remove(stamp);
}

// "Response time : 12 ms" and the two totals read "... : T ms".
inline QString WithTimesMasked(QString strText)
{
    static const QRegularExpression time(QStringLiteral("(time(?:\\(.*\\))? +: )\\d+ ms"));
    return strText.replace(time, QStringLiteral("\\1T ms"));
}
