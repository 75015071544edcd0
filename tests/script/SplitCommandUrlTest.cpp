#include "script/SplitCommandUrl.h"

#include <gtest/gtest.h>

namespace {

struct SplitCase {
    const char* line;
    const char* host;
    const char* port;
    const char* uri;
};

const char* const kFirst = "http://192.168.10.100/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0";

class SplitCommandUrlCases : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandUrlCases, SplitsIntoHostPortAndTarget)
{
    const SplitCase& c = GetParam();
    QString strHost = QStringLiteral("old");
    QString strPort = QStringLiteral("old");
    QString strUri = QStringLiteral("old");
    ASSERT_EQ(SplitCommandUrl(QString::fromUtf8(c.line), strHost, strPort, strUri), 0);
    EXPECT_EQ(strHost, QString::fromUtf8(c.host));
    EXPECT_EQ(strPort, QString::fromUtf8(c.port));
    EXPECT_EQ(strUri, QString::fromUtf8(c.uri));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SplitCommandUrlCases,
    ::testing::Values(
        SplitCase{kFirst, "192.168.10.100", "80", "/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0"},
        SplitCase{"http://192.168.10.100:8080/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0", "192.168.10.100",
                  "8080", "/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0"},
        SplitCase{"http://192.168.10.100/cgi/httpapi/SendPTZ", "192.168.10.100", "80", "/httpapi/SendPTZ"},
        SplitCase{"http://192.168.10.100:/httpapi/SendPTZ", "192.168.10.100", "", "/httpapi/SendPTZ"},
        SplitCase{"http://192.168.10.100httpapi", "", "80", "0httpapi"},
        SplitCase{" http://192.168.10.100/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0", "", "80",
                  "/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0"},
        SplitCase{"http://192.168.10.100/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0  ", "192.168.10.100",
                  "80", "/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0  "},
        SplitCase{"httpapi http://host/x", " http", "", "httpapi http://host/x"},
        SplitCase{"http://cam.local:81:82/httpapi/a", "cam.local", "81:82", "/httpapi/a"}));

TEST(SplitCommandUrl, RejectsLinesThatAreNoHttpCommand)
{
    const char* const lines[] = {
        "HTTPS://192.168.10.100/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0",
        "https://192.168.10.100/SendPTZ",
        "HTTP://192.168.10.100/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0",
        "http://192.168.10.100/HttpApi/SendPTZ",
        "http://192.168.10.100/SendPTZ",
        "",
        "Sleep(100)",
    };
    for (const char* line : lines) {
        QString strHost = QStringLiteral("h");
        QString strPort = QStringLiteral("p");
        QString strUri = QStringLiteral("u");
        EXPECT_EQ(SplitCommandUrl(QString::fromUtf8(line), strHost, strPort, strUri), -1) << line;
        EXPECT_EQ(strHost, QStringLiteral("h")) << "outputs stay as they were";
        EXPECT_EQ(strPort, QStringLiteral("p"));
        EXPECT_EQ(strUri, QStringLiteral("u"));
    }
}

struct SchemeCase {
    const char* line;
    bool https;
    const char* host;
    const char* port;
    const char* uri;
};

TEST(SplitCommandUrl, HttpsLinesSplitAsHttpLinesDoWithPort443)
{
    const SchemeCase cases[] = {
        {"https://192.168.10.100/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0", true, "192.168.10.100", "443",
         "/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0"},
        {"https://cam.local:8443/cgi/httpapi/SendPTZ", true, "cam.local", "8443", "/httpapi/SendPTZ"},
        {"https://192.168.10.100:/httpapi/SendPTZ", true, "192.168.10.100", "", "/httpapi/SendPTZ"},
        // Eight characters are dropped whatever they are, as seven are for http.
        {" https://192.168.10.100/httpapi/x", true, "", "443", "/httpapi/x"},
        // The scheme written first decides.
        {"https://a/httpapi/x?next=http://b/", true, "a", "443", "/httpapi/x?next=http://b/"},
        {"http://a/httpapi/x?next=https://b/", false, "a", "80", "/httpapi/x?next=https://b/"},
        {kFirst, false, "192.168.10.100", "80", "/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0"},
    };
    for (const SchemeCase& c : cases) {
        QString strHost;
        QString strPort;
        QString strUri;
        bool bHttps = !c.https;
        ASSERT_EQ(SplitCommandUrl(QString::fromUtf8(c.line), strHost, strPort, strUri, &bHttps), 0) << c.line;
        EXPECT_EQ(bHttps, c.https) << c.line;
        EXPECT_EQ(strHost, QString::fromUtf8(c.host)) << c.line;
        EXPECT_EQ(strPort, QString::fromUtf8(c.port)) << c.line;
        EXPECT_EQ(strUri, QString::fromUtf8(c.uri)) << c.line;
    }
}

}  // namespace
