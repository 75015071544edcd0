#pragma once

#include <QByteArray>
#include <QString>

// 8-bit conversions used for what goes on the wire.
//
// Wide to 8-bit: characters 0-255 become the byte of the same value; the
// conversion stops at the first character above 255, and after nMaxBytes
// bytes (no limit when negative).
QByteArray WideToLatin1(const QString& strText, int nMaxBytes = -1);

// True when the text holds a character above U+00FF: it then has no 8-bit
// form of one byte per character.
bool NeedsUtf8(const QString& strText);

// Credentials for the wire: one byte per character (as WideToLatin1), or
// when bUtf8 the UTF-8 bytes, at most nMaxBytes and never cut inside a
// character.
QByteArray CredentialBytes(const QString& strText, int nMaxBytes, bool bUtf8);

// 8-bit to wide: every byte becomes the character of the same value, up to
// the first NUL byte.
QString Latin1ToWide(const QByteArray& bytes);

// A request target for the wire: characters 0-255 become the byte of the same
// value, except blanks and control characters (U+0000-U+0020, U+007F), which
// are written "%XX" ("%20" for a blank); every other character goes as its
// UTF-8 bytes, each written "%XX" (U+20AC gives "%E2%82%AC"; a lone surrogate
// counts as U+FFFD).
QByteArray WideToRequestTarget(const QString& strTarget);

// Text from a device: UTF-8 when the bytes are valid UTF-8, otherwise one
// character per byte. bCut says that the bytes were cut at a buffer's end, so
// that a UTF-8 sequence broken off there is dropped instead of making the
// whole text Latin-1.
QString Utf8OrLatin1ToWide(const QByteArray& bytes, bool bCut = false);

// The decimal number at the start of a text: leading white space skipped, an
// optional sign, then the digits up to the first other character; 0 without
// digits; a value beyond the 32-bit range gives the nearest limit.
int ReadLeadingInt(const QString& strText);
