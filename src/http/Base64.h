#pragma once

#include <QByteArray>

// Base64 with the standard alphabet (RFC 4648, section 4): padded with '=',
// no line breaks.
QByteArray Base64Encode(const QByteArray& data);

// The credentials text of a Basic request: Base64 of "user:password".
QByteArray Base64EncodeCredentials(const QByteArray& user, const QByteArray& password);
