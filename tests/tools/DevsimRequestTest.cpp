#include "HttpRequest.h"
#include "PtzState.h"

#include <gtest/gtest.h>

using devsim::ParseLimits;
using devsim::ParseRequest;
using devsim::ParseStatus;
using devsim::PtzState;

TEST(DevsimRequest, ReadsGetWithHostAndKeepAlive)
{
    const QByteArray wire = "GET /httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0 HTTP/1.1\r\n"
                            "Host: 127.0.0.1\r\nConnection: keep-alive\r\n\r\n";
    const auto result = ParseRequest(wire);
    ASSERT_EQ(result.status, ParseStatus::Complete);
    EXPECT_EQ(result.consumed, wire.size());
    EXPECT_EQ(result.request.method, "GET");
    EXPECT_EQ(result.request.target, "/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0");
    EXPECT_EQ(result.request.path(), "/httpapi/SendPTZ");
    EXPECT_EQ(result.request.query(), "action=sendptz&PTZ_GETPOSITION=0");
    EXPECT_EQ(result.request.header("host"), "127.0.0.1");
    EXPECT_FALSE(result.request.wantsClose());
}

TEST(DevsimRequest, HeaderValueWithoutBlankAfterColon)
{
    const auto result = ParseRequest("GET / HTTP/1.1\r\nHost: h\r\nAuthorization:Digest a=\"b\"\r\n\r\n");
    ASSERT_EQ(result.status, ParseStatus::Complete);
    EXPECT_EQ(result.request.header("Authorization"), "Digest a=\"b\"");
}

TEST(DevsimRequest, IncompleteUntilEmptyLine)
{
    EXPECT_EQ(ParseRequest("GET / HTTP/1.1\r\nHost: h\r\n").status, ParseStatus::Incomplete);
    EXPECT_EQ(ParseRequest("GET / HTT").status, ParseStatus::Incomplete);
    EXPECT_EQ(ParseRequest("").status, ParseStatus::Incomplete);
}

TEST(DevsimRequest, BareLineFeedsAndPipelinedRequests)
{
    const QByteArray first = "GET /a HTTP/1.1\nHost: h\n\n";
    const QByteArray wire = first + "GET /b HTTP/1.1\r\nHost: h\r\n\r\n";
    const auto result = ParseRequest(wire);
    ASSERT_EQ(result.status, ParseStatus::Complete);
    EXPECT_EQ(result.request.target, "/a");
    EXPECT_EQ(result.consumed, first.size());
    const auto second = ParseRequest(wire.mid(result.consumed));
    ASSERT_EQ(second.status, ParseStatus::Complete);
    EXPECT_EQ(second.request.target, "/b");
}

TEST(DevsimRequest, ConnectionRules)
{
    EXPECT_TRUE(ParseRequest("GET / HTTP/1.1\r\nHost: h\r\nConnection: Close\r\n\r\n").request.wantsClose());
    EXPECT_TRUE(ParseRequest("GET / HTTP/1.0\r\n\r\n").request.wantsClose());
    EXPECT_FALSE(ParseRequest("GET / HTTP/1.0\r\nConnection: keep-alive\r\n\r\n").request.wantsClose());
}

TEST(DevsimRequest, RefusesGarbage)
{
    for (const QByteArray& wire : {QByteArray("garbage\r\n\r\n"), QByteArray("GET /\r\n\r\n"),
             QByteArray("GET / HTTP/1.1 x\r\nHost: h\r\n\r\n"),
             QByteArray("GET noslash HTTP/1.1\r\nHost: h\r\n\r\n"),
             QByteArray("GET / HTTP/2.0\r\nHost: h\r\n\r\n"),
             QByteArray("GET / HTTP/1.1\r\n\r\n"), // 1.1 without Host
             QByteArray("GET / HTTP/1.1\r\nHost: h\r\nno colon here\r\n\r\n"),
             QByteArray("GET / HTTP/1.1\r\nHost: h\r\n folded\r\n\r\n"),
             QByteArray("GET / HTTP/1.1\r\nHost: h\r\nBad Name: x\r\n\r\n"),
             QByteArray("GET / HTTP/1.1\r\nHost: h\x01\r\n\r\n"),
             QByteArray("GET / HTTP/1.1\r\nHost: h\r\nContent-Length: 5\r\n\r\nhello"),
             QByteArray("GET / HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n"),
             QByteArray("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\n\n", 13)}) {
        const auto result = ParseRequest(wire);
        EXPECT_EQ(result.status, ParseStatus::Bad) << wire.toStdString();
        EXPECT_FALSE(result.error.isEmpty());
    }
}

TEST(DevsimRequest, CapsTheHeaderBlock)
{
    ParseLimits limits;
    limits.maxHeaderBytes = 1024;
    // No end yet, but already over the cap: refused without waiting for more.
    const QByteArray endless = "GET / HTTP/1.1\r\nHost: h\r\nX-Fill: " + QByteArray(2000, 'a');
    EXPECT_EQ(ParseRequest(endless, limits).status, ParseStatus::Bad);
    // Complete, but over the cap.
    EXPECT_EQ(ParseRequest(endless + "\r\n\r\n", limits).status, ParseStatus::Bad);
    // Just under the cap is fine.
    QByteArray fits = "GET / HTTP/1.1\r\nHost: h\r\nX-Fill: ";
    fits += QByteArray(1024 - fits.size() - 4, 'a') + "\r\n\r\n";
    ASSERT_EQ(fits.size(), 1024);
    EXPECT_EQ(ParseRequest(fits, limits).status, ParseStatus::Complete);

    limits.maxHeaderCount = 3;
    EXPECT_EQ(ParseRequest("GET / HTTP/1.1\r\nHost: h\r\na: 1\r\nb: 2\r\n\r\n", limits).status,
        ParseStatus::Complete);
    EXPECT_EQ(ParseRequest("GET / HTTP/1.1\r\nHost: h\r\na: 1\r\nb: 2\r\nc: 3\r\n\r\n", limits).status,
        ParseStatus::Bad);
}

TEST(DevsimRequest, SplitQueryDecodesAndKeepsOrder)
{
    const auto pairs = devsim::SplitQuery("action=sendptz&PTZ_MOVE=right%2C5&&flag&x=a=b");
    ASSERT_EQ(pairs.size(), 4);
    EXPECT_EQ(pairs[0], (QPair<QByteArray, QByteArray>("action", "sendptz")));
    EXPECT_EQ(pairs[1], (QPair<QByteArray, QByteArray>("PTZ_MOVE", "right,5")));
    EXPECT_EQ(pairs[2], (QPair<QByteArray, QByteArray>("flag", "")));
    EXPECT_EQ(pairs[3], (QPair<QByteArray, QByteArray>("x", "a=b")));
}

TEST(DevsimPtz, MovesEachAxis)
{
    PtzState ptz;
    EXPECT_EQ(ptz.PositionText(), "pan=0 tilt=0 zoom=1");
    EXPECT_TRUE(ptz.Move("right", 5));
    EXPECT_TRUE(ptz.Move("left", 2));
    EXPECT_TRUE(ptz.Move("up", 7));
    EXPECT_TRUE(ptz.Move("down", 10));
    EXPECT_TRUE(ptz.Move("zoomin", 4));
    EXPECT_TRUE(ptz.Move("zoomout", 1));
    EXPECT_EQ(ptz.pan(), 3);
    EXPECT_EQ(ptz.tilt(), -3);
    EXPECT_EQ(ptz.zoom(), 4);
    EXPECT_EQ(ptz.PositionText(), "pan=3 tilt=-3 zoom=4");
    EXPECT_TRUE(ptz.Move("stop", 9));
    EXPECT_EQ(ptz.PositionText(), "pan=3 tilt=-3 zoom=4");
    EXPECT_TRUE(ptz.Move("home", 0));
    EXPECT_EQ(ptz.PositionText(), "pan=0 tilt=0 zoom=1");
}

TEST(DevsimPtz, StopsAtLimitsAndRefusesNonsense)
{
    PtzState ptz;
    EXPECT_TRUE(ptz.Move("left", 2147483647));
    EXPECT_EQ(ptz.pan(), PtzState::kPanMin);
    EXPECT_TRUE(ptz.Move("right", 2147483647));
    EXPECT_EQ(ptz.pan(), PtzState::kPanMax);
    EXPECT_TRUE(ptz.Move("up", 1000));
    EXPECT_EQ(ptz.tilt(), PtzState::kTiltMax);
    EXPECT_TRUE(ptz.Move("zoomout", 3));
    EXPECT_EQ(ptz.zoom(), PtzState::kZoomMin);
    EXPECT_TRUE(ptz.Move("zoomin", 500));
    EXPECT_EQ(ptz.zoom(), PtzState::kZoomMax);

    const QByteArray before = ptz.PositionText();
    EXPECT_FALSE(ptz.Move("sideways", 1));
    EXPECT_FALSE(ptz.Move("right", -1));
    EXPECT_FALSE(ptz.Move("", 1));
    EXPECT_EQ(ptz.PositionText(), before);
}

TEST(DevsimPtz, Presets)
{
    PtzState ptz;
    ptz.Move("right", 30);
    ptz.Move("zoomin", 2);
    EXPECT_TRUE(ptz.SetPreset(4));
    ptz.Home();
    EXPECT_FALSE(ptz.GotoPreset(5));
    EXPECT_EQ(ptz.PositionText(), "pan=0 tilt=0 zoom=1");
    EXPECT_TRUE(ptz.GotoPreset(4));
    EXPECT_EQ(ptz.PositionText(), "pan=30 tilt=0 zoom=3");
    EXPECT_FALSE(ptz.SetPreset(0));
    EXPECT_FALSE(ptz.SetPreset(256));
    EXPECT_TRUE(ptz.SetPreset(255));
}
