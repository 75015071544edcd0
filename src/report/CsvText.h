#pragma once

#include <QString>
#include <QStringList>

// One CSV record (RFC 4180): the fields joined by commas, a field with a
// comma, a quote or a line break in quotes (its quotes doubled), and a CRLF
// line end.
inline QString CsvRecord(const QStringList& fields)
{
    QString strRecord;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const QString& strField = fields[i];
        if (i > 0)
            strRecord += QLatin1Char(',');
        if (strField.contains(QLatin1Char(',')) || strField.contains(QLatin1Char('"')) ||
            strField.contains(QLatin1Char('\n')) || strField.contains(QLatin1Char('\r'))) {
            QString strQuoted = strField;
            strQuoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
            strRecord += QLatin1Char('"') + strQuoted + QLatin1Char('"');
        } else {
            strRecord += strField;
        }
    }
    return strRecord + QLatin1String("\r\n");
}
