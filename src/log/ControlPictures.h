#pragma once

#include <QString>
#include <QStringView>

// Text from a device (a body, a challenge, a certificate's name) may hold
// terminal controls: ESC sequences that clear the screen, set the window's
// title or recolour it, BEL, backspace. Every text meant for a console, the
// log box or a log file goes through ShowControlCharacters first.
//
// Each C0 control character but TAB (U+0000 to U+001F, CR and LF too) becomes
// its Unicode control picture (U+2400 + its code: ESC is "␛", CR "␍", LF
// "␊"), and DEL becomes "␡" (U+2421). Nothing else changes, so a backslash or
// a caret the device sent reads as itself. The line's own end is added after.
QString ShowControlCharacters(const QString& strText);

// True when the text holds a control character: C0 (TAB too), DEL or C1
// (U+0080 to U+009F).
bool HoldsControlCharacter(QStringView text);
