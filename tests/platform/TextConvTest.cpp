#include "platform/TextConv.h"

#include <gtest/gtest.h>

#include <climits>

TEST(ReadLeadingInt, ReadsTheNumberAtTheStart)
{
    EXPECT_EQ(ReadLeadingInt(QStringLiteral("300")), 300);
    EXPECT_EQ(ReadLeadingInt(QStringLiteral("  \t\r\n42abc")), 42);
    EXPECT_EQ(ReadLeadingInt(QStringLiteral("-17")), -17);
    EXPECT_EQ(ReadLeadingInt(QStringLiteral("+8")), 8);
    EXPECT_EQ(ReadLeadingInt(QStringLiteral("100ms")), 100);
    EXPECT_EQ(ReadLeadingInt(QStringLiteral("080")), 80);
}

TEST(ReadLeadingInt, GivesZeroWithoutDigits)
{
    EXPECT_EQ(ReadLeadingInt(QString()), 0);
    EXPECT_EQ(ReadLeadingInt(QStringLiteral("abc")), 0);
    EXPECT_EQ(ReadLeadingInt(QStringLiteral("-")), 0);
    EXPECT_EQ(ReadLeadingInt(QStringLiteral("- 5")), 0);
    EXPECT_EQ(ReadLeadingInt(QStringLiteral("\u00a05")), 0) << "only ASCII white space is skipped";
}

TEST(ReadLeadingInt, SaturatesAtThe32BitLimits)
{
    EXPECT_EQ(ReadLeadingInt(QStringLiteral("2147483647")), INT_MAX);
    EXPECT_EQ(ReadLeadingInt(QStringLiteral("2147483648")), INT_MAX);
    EXPECT_EQ(ReadLeadingInt(QStringLiteral("99999999999999999999999")), INT_MAX);
    EXPECT_EQ(ReadLeadingInt(QStringLiteral("-2147483648")), INT_MIN);
    EXPECT_EQ(ReadLeadingInt(QStringLiteral("-99999999999999999999")), INT_MIN);
}

TEST(Latin1Conversion, StopsAtTheFirstCharacterAbove255)
{
    EXPECT_EQ(WideToLatin1(QStringLiteral("admin")), QByteArray("admin"));
    EXPECT_EQ(WideToLatin1(QString::fromUtf8("caf\xc3\xa9")), QByteArray("caf\xe9"));
    EXPECT_EQ(WideToLatin1(QString::fromUtf8("ab\xea\xb0\x80" "cd")), QByteArray("ab"));
    EXPECT_EQ(WideToLatin1(QStringLiteral("abcdef"), 4), QByteArray("abcd"));
    EXPECT_EQ(WideToLatin1(QStringLiteral("abc"), 0), QByteArray());
}

TEST(Latin1Conversion, WidensEachByteUpToNul)
{
    EXPECT_EQ(Latin1ToWide(QByteArray("a\xff" "b", 3)), QString::fromUtf8("a\xc3\xbf" "b"));
    EXPECT_EQ(Latin1ToWide(QByteArray("ab\0cd", 5)), QStringLiteral("ab"));
}

TEST(RequestTarget, PercentEncodesCharactersAbove255AsUtf8)
{
    EXPECT_EQ(WideToRequestTarget(QString::fromUtf8("/httpapi/a?n=caf\xc3\xa9")), QByteArray("/httpapi/a?n=caf\xe9"));
    EXPECT_EQ(WideToRequestTarget(QString::fromUtf8("/a?p=\xe2\x82\xac" "1&q=\xea\xb0\x80")),
              QByteArray("/a?p=%E2%82%AC1&q=%EA%B0%80"));
    EXPECT_EQ(WideToRequestTarget(QString::fromUtf8("x\xc4\x80y\xf0\x9f\x98\x80z")),
              QByteArray("x%C4%80y%F0%9F%98%80z"))
        << "U+0100 and a character beyond the 16-bit range";
    EXPECT_EQ(WideToRequestTarget(QString(QChar(0xD800)) + QLatin1Char('x')), QByteArray("%EF%BF%BDx"));
    // A blank or a control character would end or break the request line.
    EXPECT_EQ(WideToRequestTarget(QStringLiteral("/httpapi/Send PTZ?a=b\tc\x7f")),
              QByteArray("/httpapi/Send%20PTZ?a=b%09c%7F"));
}

TEST(DeviceText, Utf8WhenValidElseOneCharacterPerByte)
{
    EXPECT_EQ(Utf8OrLatin1ToWide("plain ascii"), QStringLiteral("plain ascii"));
    EXPECT_EQ(Utf8OrLatin1ToWide("caf\xc3\xa9 \xea\xb0\x80"), QString::fromUtf8("caf\xc3\xa9 \xea\xb0\x80"));
    EXPECT_EQ(Utf8OrLatin1ToWide("caf\xe9 \xc3\xa9"), QString::fromUtf8("caf\xc3\xa9 \xc3\x83\xc2\xa9"))
        << "one invalid byte makes the whole text Latin-1";
    EXPECT_EQ(Utf8OrLatin1ToWide("\xed\xa0\x80"), QString::fromUtf8("\xc3\xad\xc2\xa0\xc2\x80")) << "a surrogate";
    EXPECT_EQ(Utf8OrLatin1ToWide("ab\xe2\x82"), QString::fromUtf8("ab\xc3\xa2\xc2\x82"));
    EXPECT_EQ(Utf8OrLatin1ToWide("\xc3\xa9" "ab\xe2\x82", true), QString::fromUtf8("\xc3\xa9" "ab"))
        << "cut at the buffer's end inside a character";
    EXPECT_EQ(Utf8OrLatin1ToWide("a\xe9" "b\xe2\x82", true), QString::fromUtf8("a\xc3\xa9" "b\xc3\xa2\xc2\x82"))
        << "not UTF-8 before the cut either";
}
