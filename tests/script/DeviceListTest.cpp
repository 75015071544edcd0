#include "script/DeviceList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>

namespace {

using namespace std::string_view_literals;

// A list as one line per device: "LINE NAME id=.. password=.. | col=value ..."
// (columns sorted), or "error: PROBLEM".
QString Describe(const QByteArray& content)
{
    SDeviceList list;
    QString strProblem;
    if (!ParseDeviceList(content, &list, &strProblem))
        return QStringLiteral("error: ") + strProblem;
    QStringList lines{list.columns.join(QLatin1Char(','))};
    for (const SDevice& device : list.devices) {
        QString strLine = QStringLiteral("%1 %2").arg(device.nLine).arg(device.strName);
        if (device.id)
            strLine += QStringLiteral(" id=") + *device.id;
        if (device.password)
            strLine += QStringLiteral(" password=") + *device.password;
        QStringList keys = device.variables.keys();
        std::sort(keys.begin(), keys.end());
        strLine += QStringLiteral(" |");
        for (const QString& strKey : keys)
            strLine += QStringLiteral(" %1=%2").arg(strKey, device.variables.value(strKey));
        lines << strLine;
    }
    return lines.join(QLatin1Char('\n'));
}

struct DeviceListCase {
    std::string_view content;  // "..."sv where it holds a NUL byte
    const char* szExpected;
};

const DeviceListCase kCases[] = {
    // The first value names a device without a "name" column; LF or CR LF; the BOM skipped.
    {"\xEF\xBB\xBFhost,port\r\n127.0.1.1,80\r\n127.0.1.2,81",
     "host,port\n2 127.0.1.1 | host=127.0.1.1 port=80\n3 127.0.1.2 | host=127.0.1.2 port=81"},
    {"host, name ,id,password\n10.0.0.1,cam-1,admin,pw\n",
     "host,name,id,password\n2 cam-1 id=admin password=pw | host=10.0.0.1 id=admin name=cam-1 password=pw"},
    // Quoted values: commas, doubled quotes, line breaks (the row keeps its first line).
    {"name,note\n\"a,b\",\"say \"\"hi\"\"\"\nc,\"two\nlines\"\nd,\"\"\n",
     "name,note\n2 a,b | name=a,b note=say \"hi\"\n3 c | name=c note=two\nlines\n5 d | name=d note="},
    // Comments and blank lines skipped, before and after the header; spaces in values kept.
    {"# devices\n\nname,x\n  \n# off,1\nb, 2 \n", "name,x\n6 b | name=b x= 2 "},
    {"name\n\"#1\"\n", "name\n2 #1 | name=#1"},
    {"name,x\na\n", "error: line 2: 1 value, the header has 2 columns"},
    {"name,x\na,1\n\nb,2,3\n", "error: line 4: 3 values, the header has 2 columns"},
    {"name,x\na,\"open\nb,2\n", "error: line 2: a quoted value is not closed"},
    {"name,x\na,\"q\"z\n", "error: line 2: text after a quoted value's closing quote"},
    {"name,my host\n", "error: line 1: the column 'my host' is not a variable name (a letter or _, then letters, "
                       "digits, _ or -)"},
    {"name,x,x\n", "error: line 1: the column 'x' comes twice"},
    {"x,name\n1,\n", "error: line 2: the device has no name"},
    {"name\na\nb\na\n", "error: line 4: the name 'a' is used by line 2 already"},
    {"# only a comment\n\n", "error: no header row"},
    {"name\n", "name"},
    // What the file must not hold: a NUL byte, bytes that are not UTF-8, a stray quote.
    {"name,x\na,1\nb,2\0z\n"sv, "error: line 3: a NUL byte"},
    {"name,x\n# caf\xC3\xA9\na,caf\xE9\n", "error: line 3: not UTF-8 text"},
    {"name,x\na,\"q\"\nb,say \"hi\"\n",
     "error: line 3: a quote inside a value that does not start with one (quote the whole value and double the "
     "quote: \"say \"\"hi\"\"\")"},
    // Names: no control character, one line; a log file name within 255 bytes.
    {"name,x\na,1\n\"b\nc\",2\n", "error: line 3: the device name holds a control character (U+000A)"},
    {"name\ncam\x1B]0;x\x07\n", "error: line 2: the device name holds a control character (U+001B)"},
    {"name\n\"\tcam\"\n", "error: line 2: the device name holds a control character (U+0009)"},
    {"id,name\n1,\xC2\x9B\n", "error: line 2: the device name holds a control character (U+009B)"},
    {"name\ne\x1B\n\n", "error: line 2: the device name holds a control character (U+001B)"},
};

TEST(DeviceList, ParsesRowsOrNamesTheBadLine)
{
    for (const DeviceListCase& c : kCases)
        EXPECT_EQ(Describe(QByteArray(c.content.data(), qsizetype(c.content.size()))), QString::fromUtf8(c.szExpected))
            << c.content;
    // 33 bytes of "[yyyymmdd_hhmmss]_Velkor_Log_" and ".txt" around the name's part.
    const QByteArray longest(255 - 33, 'n');
    EXPECT_EQ(Describe("name\n" + longest + "\n"), QStringLiteral("name\n2 ") + longest + QStringLiteral(" | name=") + longest);
    EXPECT_EQ(Describe("name\na\n" + longest + "m\n"),
              QStringLiteral("error: line 3: the device name is too long: its log file name would have 256 bytes, more "
                             "than the 255 a file name may have"));
}

TEST(DeviceList, NamesAsFileNameParts)
{
    EXPECT_EQ(DeviceFileNamePart(QStringLiteral("cam-1_a.b")), QStringLiteral("cam-1_a.b"));
    EXPECT_EQ(DeviceFileNamePart(QStringLiteral("../x y/ü:*")), QStringLiteral("_._x_y____"));
}

}  // namespace
