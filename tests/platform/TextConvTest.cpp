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
