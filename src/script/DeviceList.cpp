#include "DeviceList.h"

#include "log/CLogWriter.h"
#include "log/ControlPictures.h"

#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QStringDecoder>

#include <climits>

namespace {

// The text of the file, or a problem naming the line of the first NUL byte or
// of the first bytes that are not UTF-8. Lines are split at LF, which no UTF-8
// sequence holds, so each is decoded on its own.
bool DecodeText(const QByteArray& content, QString* pText, QString* pProblem)
{
    QString strText;
    int nLine = 1;
    for (qsizetype nStart = 0; nStart <= content.size(); ++nLine) {
        qsizetype nEnd = content.indexOf('\n', nStart);
        if (nEnd < 0)
            nEnd = content.size();
        const QByteArrayView line(content.constData() + nStart, nEnd - nStart);
        if (line.contains('\0')) {
            *pProblem = QStringLiteral("line %1: a NUL byte").arg(nLine);
            return false;
        }
        // A byte order mark is kept here; the caller drops the one at the start.
        QStringDecoder decoder(QStringDecoder::Utf8,
                               QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
        strText += decoder.decode(line);
        if (decoder.hasError()) {
            *pProblem = QStringLiteral("line %1: not UTF-8 text").arg(nLine);
            return false;
        }
        if (nEnd < content.size())
            strText += QLatin1Char('\n');
        nStart = nEnd + 1;
    }
    *pText = std::move(strText);
    return true;
}

// The first control character of a text, as "U+001B".
QString FirstControlCharacter(const QString& strText)
{
    for (const QChar ch : strText)
        if (HoldsControlCharacter(QStringView(&ch, 1)))
            return QStringLiteral("U+%1").arg(ch.unicode(), 4, 16, QLatin1Char('0')).toUpper();
    return QString();
}

// The size in bytes of the auto-save file name a device gets.
qsizetype LogFileNameBytes(const QString& strName)
{
    const QString strFile = CLogWriter::MakeLogFileName(QDateTime(QDate(2000, 1, 1), QTime(0, 0)));
    return QFile::encodeName(strFile).size() + 1 + QFile::encodeName(DeviceFileNamePart(strName)).size();
}

// One record of the file: its fields and the line it starts on.
struct SRecord {
    QStringList fields;
    int nLine = 0;
};

// Splits CSV text into records, skipping blank lines and '#' lines.
bool SplitRecords(const QString& strText, std::vector<SRecord>* pRecords, QString* pProblem)
{
    int nLine = 1;
    qsizetype i = 0;
    const qsizetype n = strText.size();
    auto atLineEnd = [&strText, n](qsizetype nAt) {
        return nAt >= n || strText[nAt] == QLatin1Char('\n') ||
               (strText[nAt] == QLatin1Char('\r') && (nAt + 1 >= n || strText[nAt + 1] == QLatin1Char('\n')));
    };
    // Steps over the line end at i, counting the line.
    auto skipLineEnd = [&] {
        if (i < n && strText[i] == QLatin1Char('\r'))
            ++i;
        if (i < n && strText[i] == QLatin1Char('\n'))
            ++i;
        ++nLine;
    };
    while (i < n) {
        // A skipped line: blank (spaces only) or a comment.
        qsizetype nEnd = i;
        while (!atLineEnd(nEnd))
            ++nEnd;
        const QStringView line = QStringView(strText).mid(i, nEnd - i);
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#'))) {
            i = nEnd;
            skipLineEnd();
            continue;
        }

        SRecord record;
        record.nLine = nLine;
        for (;;) {
            QString strField;
            if (i < n && strText[i] == QLatin1Char('"')) {
                const int nQuoteLine = nLine;
                ++i;
                for (;;) {
                    if (i >= n) {
                        *pProblem = QStringLiteral("line %1: a quoted value is not closed").arg(nQuoteLine);
                        return false;
                    }
                    const QChar ch = strText[i];
                    if (ch == QLatin1Char('"')) {
                        if (i + 1 < n && strText[i + 1] == QLatin1Char('"')) {
                            strField += ch;
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    if (ch == QLatin1Char('\n'))
                        ++nLine;
                    strField += ch;
                    ++i;
                }
                if (!atLineEnd(i) && strText[i] != QLatin1Char(',')) {
                    *pProblem = QStringLiteral("line %1: text after a quoted value's closing quote").arg(nLine);
                    return false;
                }
            } else {
                while (!atLineEnd(i) && strText[i] != QLatin1Char(',')) {
                    if (strText[i] == QLatin1Char('"')) {
                        *pProblem = QStringLiteral("line %1: a quote inside a value that does not start with one (quote "
                                                   "the whole value and double the quote: \"say \"\"hi\"\"\")")
                                        .arg(nLine);
                        return false;
                    }
                    strField += strText[i++];
                }
            }
            record.fields << strField;
            if (atLineEnd(i))
                break;
            ++i;  // the comma
        }
        pRecords->push_back(std::move(record));
        if (i < n)
            skipLineEnd();
    }
    return true;
}

}  // namespace

bool ParseDeviceList(const QByteArray& content, SDeviceList* pList, QString* pProblem)
{
    QString strText;
    if (!DecodeText(content, &strText, pProblem))
        return false;
    if (strText.startsWith(QChar(0xFEFF)))
        strText.remove(0, 1);
    std::vector<SRecord> records;
    if (!SplitRecords(strText, &records, pProblem))
        return false;
    if (records.empty()) {
        *pProblem = QStringLiteral("no header row");
        return false;
    }

    const SRecord& header = records.front();
    QStringList columns;
    for (const QString& strColumn : header.fields) {
        const QString strName = strColumn.trimmed();
        if (!IsVariableName(strName)) {
            *pProblem = QStringLiteral("line %1: the column '%2' is not a variable name (a letter or _, then letters, "
                                       "digits, _ or -)")
                            .arg(QString::number(header.nLine), ShowControlCharacters(strName));
            return false;
        }
        if (columns.contains(strName)) {
            *pProblem = QStringLiteral("line %1: the column '%2' comes twice").arg(QString::number(header.nLine), strName);
            return false;
        }
        columns << strName;
    }
    const qsizetype nNameColumn = columns.indexOf(QStringLiteral("name"));

    SDeviceList list;
    list.columns = columns;
    QHash<QString, int> nameLines;
    for (std::size_t r = 1; r < records.size(); ++r) {
        const SRecord& record = records[r];
        if (record.fields.size() != columns.size()) {
            const QString strValues = record.fields.size() == 1
                                          ? QStringLiteral("1 value")
                                          : QStringLiteral("%1 values").arg(record.fields.size());
            *pProblem = QStringLiteral("line %1: %2, the header has %3 columns")
                            .arg(QString::number(record.nLine), strValues, QString::number(columns.size()));
            return false;
        }
        SDevice device;
        device.nLine = record.nLine;
        for (qsizetype c = 0; c < columns.size(); ++c)
            device.variables.insert(columns[c], record.fields[c]);
        device.strName = record.fields[nNameColumn >= 0 ? nNameColumn : 0];
        if (device.strName.trimmed().isEmpty()) {
            *pProblem = QStringLiteral("line %1: the device has no name").arg(record.nLine);
            return false;
        }
        // A name starts every log line of its device and names its log file.
        if (const QString strControl = FirstControlCharacter(device.strName); !strControl.isEmpty()) {
            *pProblem = QStringLiteral("line %1: the device name holds a control character (%2)")
                            .arg(QString::number(record.nLine), strControl);
            return false;
        }
        if (const qsizetype nBytes = LogFileNameBytes(device.strName); nBytes > NAME_MAX) {
            *pProblem = QStringLiteral("line %1: the device name is too long: its log file name would have %2 bytes, "
                                       "more than the %3 a file name may have")
                            .arg(QString::number(record.nLine), QString::number(nBytes), QString::number(NAME_MAX));
            return false;
        }
        if (const auto it = nameLines.constFind(device.strName); it != nameLines.constEnd()) {
            *pProblem = QStringLiteral("line %1: the name '%2' is used by line %3 already")
                            .arg(QString::number(record.nLine), device.strName, QString::number(it.value()));
            return false;
        }
        nameLines.insert(device.strName, record.nLine);
        if (const auto it = device.variables.constFind(QStringLiteral("id")); it != device.variables.constEnd())
            device.id = it.value();
        if (const auto it = device.variables.constFind(QStringLiteral("password")); it != device.variables.constEnd())
            device.password = it.value();
        list.devices.push_back(std::move(device));
    }
    *pList = std::move(list);
    return true;
}

bool ReadDeviceList(const QString& strPath, SDeviceList* pList, QString* pProblem, QByteArray* pContent)
{
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly)) {
        *pProblem = QStringLiteral("the device list %1 cannot be read: %2").arg(strPath, file.errorString());
        return false;
    }
    QString strProblem;
    const QByteArray content = file.readAll();
    if (pContent)
        *pContent = content;
    if (!ParseDeviceList(content, pList, &strProblem)) {
        *pProblem = QStringLiteral("the device list %1: %2").arg(strPath, strProblem);
        return false;
    }
    if (pList->devices.empty()) {
        *pProblem = QStringLiteral("the device list %1 lists no device").arg(strPath);
        return false;
    }
    return true;
}

QString DeviceFileNamePart(const QString& strName)
{
    QString strPart = strName;
    for (qsizetype i = 0; i < strPart.size(); ++i) {
        const char16_t ch = strPart[i].unicode();
        const bool bKept = (ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z') || (ch >= u'0' && ch <= u'9') ||
                           ch == u'-' || ch == u'_' || (ch == u'.' && i > 0);
        if (!bKept)
            strPart[i] = QLatin1Char('_');
    }
    return strPart;
}
