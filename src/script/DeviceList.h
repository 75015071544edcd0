#pragma once

#include "script/Placeholders.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// One device of a device list: a row of the CSV file.
struct SDevice {
    QString strName;                  // the column "name", else the row's first value
    ScriptVariables variables;        // every column of the row, by its header
    std::optional<QString> id;        // the column "id", when the list has one
    std::optional<QString> password;  // the column "password", likewise
    int nLine = 0;                    // the file line the row starts on
    int nRow = 0;                     // its data row, counted from 1 (set by the runner)
};

// A device list: CSV (RFC 4180) in UTF-8, a header row naming the columns,
// then one row per device. A byte order mark is skipped; lines end with CR LF
// or LF; a quoted field may hold commas, doubled quotes and line breaks. Blank
// lines and lines starting with '#' are skipped. Every header is a variable
// name, used once; every row has as many values as the header has columns;
// names are not empty and differ, hold no control character and leave the
// device's log file name within NAME_MAX bytes. The file holds no NUL byte,
// is UTF-8 throughout, and a quote stands only around a whole value.
struct SDeviceList {
    QStringList columns;
    std::vector<SDevice> devices;
};

// Reads a device list from its bytes. False, with a message naming the line,
// when it is not one.
bool ParseDeviceList(const QByteArray& content, SDeviceList* pList, QString* pProblem);

// Reads a device list file. False, with a message naming the file (and the
// line), when it cannot be read or is not a device list, or lists no device.
// pContent, when given, gets the bytes read (the list read once, so a pipe
// works too).
bool ReadDeviceList(const QString& strPath, SDeviceList* pList, QString* pProblem, QByteArray* pContent = nullptr);

// A device name as a part of a file name: every character but ASCII letters,
// digits, '-', '_' and '.' becomes '_', and a leading '.' too.
QString DeviceFileNamePart(const QString& strName);
