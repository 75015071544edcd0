// MD5, hexadecimal text and Base64, against their RFCs and Qt.
#include "HttpTestSupport.h"

#include "http/Base64.h"
#include "http/Hex.h"
#include "http/Md5.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

TEST(Md5, Rfc1321TestSuite)
{
    EXPECT_EQ(MD5HexString(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(MD5HexString("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(MD5HexString("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(MD5HexString("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(MD5HexString("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(MD5HexString("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(MD5HexString("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5, MatchesQtOnRandomInputsOfEveryLengthAroundTheBlocks)
{
    QRandomGenerator random(20240611);
    for (int nLength = 0; nLength < 300; ++nLength) {
        QByteArray data(nLength, '\0');
        for (char& c : data)
            c = static_cast<char>(random.bounded(256));
        ASSERT_EQ(MD5HexString(data), QtMd5Hex(data)) << "length " << nLength;
    }
    for (int i = 0; i < 20; ++i) {
        QByteArray data(static_cast<int>(random.bounded(100000)), '\0');
        for (char& c : data)
            c = static_cast<char>(random.bounded(256));
        ASSERT_EQ(MD5HexString(data), QtMd5Hex(data));
    }
}

TEST(Md5, PiecewiseUpdatesGiveTheSameDigest)
{
    const QByteArray data(1000, 'k');
    CMd5 md5;
    for (int nOffset = 0, nStep = 1; nOffset < data.size(); nOffset += nStep, nStep = nStep * 3 % 97 + 1)
        md5.Update(data.constData() + nOffset, static_cast<std::size_t>(std::min(nStep, int(data.size()) - nOffset)));
    const auto digest = md5.Final();
    EXPECT_EQ(ToLowerHex(digest.data(), digest.size()), QtMd5Hex(data));
    const auto empty = md5.Final();
    EXPECT_EQ(ToLowerHex(empty.data(), empty.size()), "d41d8cd98f00b204e9800998ecf8427e") << "Final starts afresh";
}

TEST(Hex, LowerCaseTwoDigitsPerByte)
{
    const std::uint8_t bytes[] = {0x00, 0x0a, 0xff, 0x10, 0xC3};
    EXPECT_EQ(ToLowerHex(bytes, sizeof bytes), "000aff10c3");
    EXPECT_EQ(ToLowerHex(bytes, 0), "");
}

TEST(Base64, Rfc4648Vectors)
{
    EXPECT_EQ(Base64Encode(""), "");
    EXPECT_EQ(Base64Encode("f"), "Zg==");
    EXPECT_EQ(Base64Encode("fo"), "Zm8=");
    EXPECT_EQ(Base64Encode("foo"), "Zm9v");
    EXPECT_EQ(Base64Encode("foob"), "Zm9vYg==");
    EXPECT_EQ(Base64Encode("fooba"), "Zm9vYmE=");
    EXPECT_EQ(Base64Encode("foobar"), "Zm9vYmFy");
}

TEST(Base64, WholeAlphabetAndNoLineBreaks)
{
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(static_cast<char>(i));
    const QByteArray text = Base64Encode(all + all + all);
    EXPECT_EQ(text, (all + all + all).toBase64());
    EXPECT_FALSE(text.contains('\n'));
    QRandomGenerator random(7);
    for (int nLength = 0; nLength < 200; ++nLength) {
        QByteArray data(nLength, '\0');
        for (char& c : data)
            c = static_cast<char>(random.bounded(256));
        ASSERT_EQ(Base64Encode(data), data.toBase64());
    }
}

TEST(Base64, Credentials)
{
    EXPECT_EQ(Base64EncodeCredentials("admin", "4719"), "YWRtaW46NDcxOQ==");
    EXPECT_EQ(Base64EncodeCredentials("", ""), "Og==");
    EXPECT_EQ(Base64EncodeCredentials("Aladdin", "open sesame"), "QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
    const QByteArray longUser(500, 'u');
    EXPECT_EQ(Base64EncodeCredentials(longUser, "p"), (longUser + ":p").toBase64()) << "any length";
}
