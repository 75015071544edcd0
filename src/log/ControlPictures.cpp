#include "ControlPictures.h"

namespace {

constexpr char16_t kTab = u'\t';
constexpr char16_t kDel = 0x7F;
constexpr char16_t kPictureOfNul = 0x2400;
constexpr char16_t kPictureOfDel = 0x2421;

bool IsShownAsPicture(char16_t ch) { return (ch < 0x20 && ch != kTab) || ch == kDel; }

}  // namespace

QString ShowControlCharacters(const QString& strText)
{
    qsizetype nFirst = 0;
    while (nFirst < strText.size() && !IsShownAsPicture(strText[nFirst].unicode()))
        ++nFirst;
    if (nFirst == strText.size())
        return strText;  // the usual case: nothing copied
    QString strShown = strText;
    for (qsizetype i = nFirst; i < strShown.size(); ++i) {
        const char16_t ch = strShown[i].unicode();
        if (ch == kDel)
            strShown[i] = QChar(kPictureOfDel);
        else if (IsShownAsPicture(ch))
            strShown[i] = QChar(char16_t(kPictureOfNul + ch));
    }
    return strShown;
}

bool HoldsControlCharacter(QStringView text)
{
    for (const QChar ch : text) {
        const char16_t code = ch.unicode();
        if (code < 0x20 || (code >= kDel && code <= 0x9F))
            return true;
    }
    return false;
}
