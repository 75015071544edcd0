#include "CJobsSpinBox.h"

#include <algorithm>

namespace {

const QString kAll = QStringLiteral("all");

}  // namespace

CJobsSpinBox::CJobsSpinBox(int nMost, QWidget* pParent) : QSpinBox(pParent)
{
    setRange(0, nMost);
    setSpecialValueText(kAll);
}

QValidator::State CJobsSpinBox::validate(QString& strText, int& nPos) const
{
    const QString strTrimmed = strText.trimmed();
    if (!strTrimmed.isEmpty() && kAll.startsWith(strTrimmed, Qt::CaseInsensitive)) {
        if (strTrimmed.size() < kAll.size())
            return QValidator::Intermediate;
        strText = kAll;
        nPos = std::min<int>(nPos, int(kAll.size()));
        return QValidator::Acceptable;
    }
    return QSpinBox::validate(strText, nPos);
}

int CJobsSpinBox::valueFromText(const QString& strText) const
{
    if (strText.trimmed().compare(kAll, Qt::CaseInsensitive) == 0)
        return 0;
    return QSpinBox::valueFromText(strText);
}
