#include "engine/ResponseChecks.h"

#include <gtest/gtest.h>

namespace {

using namespace ResponseChecks;

const QByteArray kHead = QByteArrayLiteral("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nX-Mode:  auto \r\n"
                                           "Content-Length: 28\r\n\r\n");
const QByteArray kBody = QByteArrayLiteral("pan=12\r\ntilt=-3.5\r\nmode=\"home\"\n");
const QByteArray kJson = QByteArrayLiteral("{\"ptz\":{\"pan\":12,\"list\":[\"a\",\"b/c\"]},\"a/b\":true}");

CCheck Check(const QString& strLine)
{
    const CCheckLineRead read = ReadCheckLine(QStringLiteral("Expect ") + strLine);
    EXPECT_EQ(read.strError, QString()) << strLine.toStdString();
    return read.check;
}

// Each check kind against one scripted answer: the reason, empty when it holds.
TEST(ResponseChecks, EachKindAgainstOneAnswer)
{
    const CAnswer answer(200, kHead + kBody, true, 180);
    const CAnswer json(200, kHead + kJson, true, 180);
    const CAnswer blanks(200, kHead + "pan=5 tilt=0 zoom=1", true, 180);
    const struct {
        const CAnswer& answer;
        const char* szCheck;
        const char* szReason;
    } kRows[] = {
        {answer, "status 200", ""},
        {answer, "status 2xx", ""},
        {answer, "status in 204 3xx", "expected status in 204 3xx, got 200"},
        {answer, "status != 200", "expected status != 200, got 200"},
        {answer, "header content-type contains \"text\"", ""},
        {answer, "header X-Mode == auto", ""},
        {answer, "header X-Missing", "expected header X-Missing, got no header X-Missing"},
        {answer, "header X-Missing not exists", ""},
        {answer, "header X-Mode matches \"^au\"", ""},
        {answer, "body contains \"pan=\"", ""},
        {answer, "body not contains \"Error\"", ""},
        {answer, "body contains \"Error\"",
         "expected body contains \"Error\", got a body of 31 bytes: pan=12\\r\\ntilt=-3.5\\r\\nmode=\"home\"\\n"},
        {answer, "body matches \"tilt=-?\\d\"", ""},
        {answer, "body is empty", "expected body is empty, got pan=12\\r\\ntilt=-3.5\\r\\nmode=\"home\"\\n"},
        {answer, "body size == 31", ""},
        {answer, "field pan == 12", ""},
        {answer, "field pan == 30 ± 1", "expected field pan == 30 ± 1, got 12"},
        {answer, "field pan == 30 +- 1", "expected field pan == 30 ± 1, got 12"},
        {answer, "field pan == 13 ± 1", ""},
        {answer, "field tilt < -3", ""},
        {answer, "field mode == home", ""},
        {answer, "field mode > 3", "expected field mode > 3, got home, not a number"},
        {answer, "field zoom == 1", "expected field zoom == 1, got no field zoom"},
        {blanks, "field tilt == 0", ""},
        {blanks, "field zoom >= 2", "expected field zoom >= 2, got 1"},
        {answer, "time < 250", ""},
        {answer, "time < 150ms", "expected time < 150ms, got 180"},
        {json, "json /ptz/pan == 12", ""},
        {json, "json /ptz/list/1 == \"b/c\"", ""},
        {json, "json /a~1b == true", ""},
        {json, "json /ptz/tilt exists", "expected json /ptz/tilt exists, got no JSON value at /ptz/tilt"},
        {answer, "json /pan == 1",
         "expected json /pan == 1, got the body is no JSON (illegal value)"},
    };
    for (const auto& row : kRows)
        EXPECT_EQ(Judge(Check(QString::fromUtf8(row.szCheck)), row.answer).toStdString(), row.szReason)
            << row.szCheck;
}

// A body longer than the part kept fails every check that needs it.
TEST(ResponseChecks, ACutBodyFailsTheChecksThatNeedIt)
{
    const CAnswer cut(200, kHead + kBody, false, 10);
    const char* const kReason = ", but the body is longer than the 1 MiB a check reads";
    EXPECT_EQ(Judge(Check(QStringLiteral("body not contains \"Error\"")), cut).toStdString(),
              std::string("expected body not contains \"Error\"") + kReason);
    EXPECT_EQ(Judge(Check(QStringLiteral("field pan == 12")), cut).toStdString(),
              std::string("expected field pan == 12") + kReason);
    EXPECT_EQ(Judge(Check(QStringLiteral("body size == 28")), cut), QString()) << "Content-Length tells the size";
    EXPECT_EQ(Judge(Check(QStringLiteral("status 200")), cut), QString());
}

// A catastrophic pattern on a large body ends, with a reason, and "not"
// does not turn the give-up into a pass.
TEST(ResponseChecks, ACatastrophicRegexEndsWithAReason)
{
    const CAnswer answer(200, kHead + QByteArray(kCheckBodyLimit - 1, 'a') + 'b', true, 10);
    const QString strReason = Judge(Check(QStringLiteral("body not matches \"^(a+)+$\"")), answer);
    EXPECT_EQ(strReason.toStdString(),
              "expected body not matches \"^(a+)+$\", but the regular expression gave up after 1000000 steps");
}

TEST(ResponseChecks, CapturesAndDowntime)
{
    const CAnswer answer(200, kHead + kBody, true, 10);
    QString strWhy;
    auto take = [&](const char* szLine) {
        const CCheckLineRead read = ReadCheckLine(QString::fromUtf8(szLine));
        EXPECT_EQ(read.strError, QString()) << szLine;
        return Capture(read.capture, answer, strWhy);
    };
    EXPECT_EQ(take("Capture pan = field pan"), QStringLiteral("12"));
    EXPECT_EQ(take("Capture t = body matches \"tilt=([-0-9.]+)\""), QStringLiteral("-3.5"));
    EXPECT_EQ(take("Capture m = header X-Mode"), QStringLiteral("auto"));
    EXPECT_EQ(take("Capture s = status"), QStringLiteral("200"));
    EXPECT_EQ(take("Capture z = field zoom"), std::nullopt);
    EXPECT_EQ(strWhy, QStringLiteral("no field zoom"));

    const CCheck downtime = ReadCheckLine(QStringLiteral("Expect downtime < 60s")).check;
    EXPECT_EQ(JudgeDowntime(downtime, 41000, false), QString());
    EXPECT_EQ(JudgeDowntime(downtime, 73012, false), QStringLiteral("expected downtime < 60s, got 73012 ms"));
    EXPECT_EQ(JudgeDowntime(downtime, 5000, true),
              QStringLiteral("expected downtime < 60s, but the device had not come back when the wait ended after "
                             "5000 ms"));
}

}  // namespace
