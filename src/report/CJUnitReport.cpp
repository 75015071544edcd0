#include "CJUnitReport.h"
#include "CFleetReport.h"

#include "CReportFile.h"
#include "CXmlWriter.h"
#include "JUnitCases.h"

#include <QIODevice>
#include <QStringList>

#include <algorithm>
#include <compare>
#include <map>
#include <utility>

namespace {

using namespace JUnitCases;

void WriteProperty(CXmlWriter& xml, const QString& strName, const QString& strValue)
{
    xml.writeStartElement(QStringLiteral("property"));
    xml.writeAttribute(QStringLiteral("name"), strName);
    xml.writeAttribute(QStringLiteral("value"), strValue);
    xml.writeEndElement();
}

void WriteSuiteAttributes(CXmlWriter& xml, std::size_t nTests, std::size_t nFailures, const QString& strTime)
{
    xml.writeAttribute(QStringLiteral("tests"), QString::number(nTests));
    xml.writeAttribute(QStringLiteral("failures"), QString::number(nFailures));
    xml.writeAttribute(QStringLiteral("errors"), QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("time"), strTime);
}

void WriteTestcase(CXmlWriter& xml, const CCase& testcase)
{
    xml.writeStartElement(QStringLiteral("testcase"));
    xml.writeAttribute(QStringLiteral("name"), CJUnitReport::XmlSafe(testcase.strName));
    xml.writeAttribute(QStringLiteral("classname"), CJUnitReport::XmlSafe(testcase.strClassname));
    xml.writeAttribute(QStringLiteral("time"), Seconds(testcase.nTimeMs));
    if (testcase.bFailed) {
        xml.writeStartElement(QStringLiteral("failure"));
        xml.writeAttribute(QStringLiteral("message"), CJUnitReport::XmlSafe(testcase.strFailureMessage));
        xml.writeAttribute(QStringLiteral("type"), testcase.strFailureType);
        xml.writeCharacters(CJUnitReport::XmlSafe(testcase.strFailureText));
        xml.writeEndElement();
    }
    xml.writeEndElement();
}

}  // namespace

QString CJUnitReport::XmlSafe(const QString& str)
{
    // Most texts hold nothing to replace: they are shared, not copied.
    if (std::none_of(str.begin(), str.end(), [](QChar ch) {
            const char16_t c = ch.unicode();
            return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0xFFFE || c == 0xFFFF ||
                   QChar::isSurrogate(c);
        }))
        return str;
    QString strOut;
    strOut.reserve(str.size());
    for (qsizetype i = 0; i < str.size(); ++i) {
        const char16_t ch = str[i].unicode();
        if (QChar::isHighSurrogate(ch) && i + 1 < str.size() && QChar::isLowSurrogate(str[i + 1].unicode())) {
            strOut += str[i];
            strOut += str[++i];
        } else if ((ch < 0x20 && ch != '\t' && ch != '\n' && ch != '\r') || ch == 0xFFFE || ch == 0xFFFF ||
                   QChar::isSurrogate(ch)) {
            strOut += QStringLiteral("\\x%1").arg(static_cast<uint>(ch), 2, 16, QLatin1Char('0'));
        } else {
            strOut += str[i];
        }
    }
    return strOut;
}

namespace {

// The cases of a run, how many fail and its time.
struct CSuite {
    std::vector<CCase> vecCases;
    std::size_t nFailures = 0;
    std::int64_t nMs = 0;
};

CSuite SuiteOf(const CRecordedRun& run, CJUnitReport::ECases cases)
{
    CSuite suite;
    suite.vecCases = cases == CJUnitReport::ECases::PerRequest ? RequestCases(run) : LineCases(run);
    for (CCase& testcase : CheckAliveCases(run))
        suite.vecCases.push_back(std::move(testcase));
    suite.nFailures = static_cast<std::size_t>(std::count_if(
        suite.vecCases.begin(), suite.vecCases.end(), [](const CCase& testcase) { return testcase.bFailed; }));
    std::int64_t nSumMs = 0;
    for (const CRecordedRequest& request : run.vecRequests)
        nSumMs += std::max<std::int64_t>(request.nTimeMs, 0);
    suite.nMs = run.bEnded ? run.end.nApplicationMs : nSumMs;
    return suite;
}

// One <testsuite>: a run alone, or a device of a fleet.
void WriteSuite(CXmlWriter& xml, const CRecordedRun& run, const CSuite& suite, const QString& strName)
{
    xml.writeStartElement(QStringLiteral("testsuite"));
    xml.writeAttribute(QStringLiteral("name"), strName);
    WriteSuiteAttributes(xml, suite.vecCases.size(), suite.nFailures, Seconds(suite.nMs));
    xml.writeAttribute(QStringLiteral("skipped"), QStringLiteral("0"));
    if (run.bStarted && run.start.startedAt.isValid())
        xml.writeAttribute(QStringLiteral("timestamp"), run.start.startedAt.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));

    xml.writeStartElement(QStringLiteral("properties"));
    WriteProperty(xml, QStringLiteral("threshold_ms"), QString::number(run.start.nThresholdMs));
    WriteProperty(xml, QStringLiteral("partial"), run.IsPartial() ? QStringLiteral("true") : QStringLiteral("false"));
    WriteProperty(xml, QStringLiteral("stopped"),
                  run.bEnded && run.end.bStopped ? QStringLiteral("true") : QStringLiteral("false"));
    if (run.bEnded && run.end.nWhileRepeat >= 0)
        WriteProperty(xml, QStringLiteral("while_repeat"), QString::number(run.end.nWhileRepeat));
    xml.writeEndElement();

    for (const CCase& testcase : suite.vecCases)
        WriteTestcase(xml, testcase);

    if (run.IsPartial())
        xml.writeTextElement(QStringLiteral("system-err"),
                             QStringLiteral("Partial report: the run was cut short before its end."));
    xml.writeEndElement();  // testsuite
}

// The document up to the <testsuites> element's attributes.
void StartSuites(CXmlWriter& xml, const QString& strName, std::size_t nTests, std::size_t nFailures, std::int64_t nMs)
{
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("testsuites"));
    xml.writeAttribute(QStringLiteral("name"), strName);
    WriteSuiteAttributes(xml, nTests, nFailures, Seconds(nMs));
}

// A device whose run was cut short (a signal ended it, or kept it from
// starting) fails: its cases cover only what ran.
CCase CutShortCase(const CRecordedDevice& device, const QString& strScript)
{
    CCase testcase;
    testcase.strName = QStringLiteral("run");
    testcase.strClassname = strScript.isEmpty() ? QStringLiteral("velkor") : strScript;
    testcase.bFailed = true;
    testcase.strFailureType = QStringLiteral("partial");
    testcase.strFailureMessage = device.state == CRecordedDevice::EState::NotRun
                                     ? QStringLiteral("the run was cut short before this device started")
                                     : QStringLiteral("the run was cut short before this device's end");
    return testcase;
}

}  // namespace

bool CJUnitReport::Write(QIODevice& device, const CRecordedRun& run, ECases cases)
{
    const CSuite suite = SuiteOf(run, cases);
    const QString strName = XmlSafe(ScriptName(run));

    CXmlWriter xml(&device);
    StartSuites(xml, strName, suite.vecCases.size(), suite.nFailures, suite.nMs);
    WriteSuite(xml, run, suite, strName);
    xml.writeEndElement();  // testsuites
    xml.writeEndDocument();
    return !xml.hasError();
}

bool CJUnitReport::WriteFleet(QIODevice& device, const CRecordedFleet& fleet, ECases cases)
{
    std::vector<CSuite> suites;
    std::size_t nTests = 0;
    std::size_t nFailures = 0;
    std::int64_t nMs = 0;
    for (const CRecordedDevice& one : fleet.devices) {
        CSuite suite = SuiteOf(one.run, cases);
        // A device with no cases of its own still fails in the report.
        const auto addFailing = [&](const QString& strName, const QString& strType, const QString& strMessage) {
            CCase testcase;
            testcase.strName = strName;
            testcase.strClassname = fleet.strScript.isEmpty() ? QStringLiteral("velkor") : fleet.strScript;
            testcase.bFailed = true;
            testcase.strFailureType = strType;
            testcase.strFailureMessage = strMessage;
            suite.vecCases.push_back(testcase);
            ++suite.nFailures;
        };
        if (one.state == CRecordedDevice::EState::ScriptError)
            addFailing(QStringLiteral("script"), QStringLiteral("script-error"),
                       QStringLiteral("a placeholder of the script has no value for this device"));
        else if (one.state == CRecordedDevice::EState::NotRun)
            addFailing(QStringLiteral("run"), QStringLiteral("not-run"),
                       QStringLiteral("the device never ran: the fleet was stopped before its turn"));
        if (one.IsCutShort()) {
            suite.vecCases.push_back(CutShortCase(one, fleet.strScript));
            ++suite.nFailures;
        }
        // A CI view that shows the cases without their suite still tells
        // the devices apart.
        for (CCase& testcase : suite.vecCases)
            testcase.strName = QStringLiteral("[%1] %2").arg(one.strName, testcase.strName);
        nTests += suite.vecCases.size();
        nFailures += suite.nFailures;
        nMs = std::max(nMs, suite.nMs);
        suites.push_back(std::move(suite));
    }
    const QString strName = XmlSafe(fleet.strScript.isEmpty() ? QStringLiteral("velkor") : fleet.strScript);

    CXmlWriter xml(&device);
    StartSuites(xml, strName, nTests, nFailures, nMs);
    for (std::size_t i = 0; i < fleet.devices.size(); ++i)
        WriteSuite(xml, fleet.devices[i].run, suites[i], XmlSafe(fleet.devices[i].strName));
    xml.writeEndElement();  // testsuites
    xml.writeEndDocument();
    return !xml.hasError();
}

bool CJUnitReport::SaveFleet(const QString& strPath, const CRecordedFleet& fleet, ECases cases, QString* pError)
{
    return CReportFile::Write(
        strPath, [&](QIODevice& device) { return WriteFleet(device, fleet, cases); }, pError);
}

bool CJUnitReport::Save(const QString& strPath, const CRecordedRun& run, ECases cases, QString* pError)
{
    return CReportFile::Write(
        strPath, [&](QIODevice& device) { return Write(device, run, cases); }, pError);
}
