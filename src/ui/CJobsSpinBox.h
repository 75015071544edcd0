#pragma once

#include <QSpinBox>

// The Jobs dialog's number: 1 to the maximum, or "all" (the value 0), which
// can be typed as well as reached with the arrows (any case, letter by
// letter).
class CJobsSpinBox : public QSpinBox {
public:
    explicit CJobsSpinBox(int nMost, QWidget* pParent = nullptr);

protected:
    QValidator::State validate(QString& strText, int& nPos) const override;
    int valueFromText(const QString& strText) const override;
};
