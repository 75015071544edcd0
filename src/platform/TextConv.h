#pragma once

#include <QByteArray>
#include <QString>

// 8-bit conversions used for what goes on the wire.
//
// Wide to 8-bit: characters 0-255 become the byte of the same value; the
// conversion stops at the first character above 255, and after nMaxBytes
// bytes (no limit when negative).
QByteArray WideToLatin1(const QString& strText, int nMaxBytes = -1);

// 8-bit to wide: every byte becomes the character of the same value, up to
// the first NUL byte.
QString Latin1ToWide(const QByteArray& bytes);

// The decimal number at the start of a text: leading white space skipped, an
// optional sign, then the digits up to the first other character; 0 without
// digits; a value beyond the 32-bit range gives the nearest limit.
int ReadLeadingInt(const QString& strText);
