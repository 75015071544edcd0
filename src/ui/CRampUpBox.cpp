#include "CRampUpBox.h"

#include <QSettings>

namespace {

const QString kKey = QStringLiteral("run/rampUpS");

}  // namespace

CRampUpBox::CRampUpBox(QWidget* pParent) : QSpinBox(pParent)
{
    setObjectName(QStringLiteral("rampUpBox"));
    setRange(0, kMostSeconds);
    setSuffix(QStringLiteral(" s"));
    setSpecialValueText(QStringLiteral("0 s (all at once)"));
    setToolTip(QStringLiteral("Seconds over which the devices start, evenly, in the list's order\n"
                              "(as many at once as Options > Jobs lets); 0: all at once"));
}

void CRampUpBox::Store(QSettings& settings) const { settings.setValue(kKey, value()); }

void CRampUpBox::Restore(const QSettings& settings)
{
    bool bOk = false;
    const int nSeconds = settings.value(kKey).toInt(&bOk);
    setValue(bOk && nSeconds >= 0 && nSeconds <= kMostSeconds ? nSeconds : 0);
}
