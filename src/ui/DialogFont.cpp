#include "DialogFont.h"

#include <QAbstractButton>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QWidget>

namespace {

constexpr int kMaxShrink = 2;

// The width a control asks for to show its caption with the style's
// margins around it; 0 for a control without a caption.
int CaptionWidth(const QWidget* pControl)
{
    if (const auto* pButton = qobject_cast<const QPushButton*>(pControl)) {
        if (pButton->text().isEmpty())
            return 0;
        // Not the size hint: some styles give every push button a least
        // width that says nothing about its caption.
        const QStyle* pStyle = pButton->style();
        const int nDefaultFrame =
            pButton->autoDefault() ? 2 * pStyle->pixelMetric(QStyle::PM_ButtonDefaultIndicator) : 0;
        return pButton->fontMetrics().size(Qt::TextShowMnemonic, pButton->text()).width() +
               pStyle->pixelMetric(QStyle::PM_ButtonMargin) + 2 * pStyle->pixelMetric(QStyle::PM_DefaultFrameWidth) +
               nDefaultFrame;
    }
    if (const auto* pButton = qobject_cast<const QAbstractButton*>(pControl))
        return pButton->text().isEmpty() ? 0 : pButton->sizeHint().width();
    if (const auto* pLabel = qobject_cast<const QLabel*>(pControl))
        return pLabel->text().isEmpty() ? 0 : pLabel->sizeHint().width();
    return 0;
}

}  // namespace

int TemplatePixelSize(int nPointSize) { return (nPointSize * 96 + 36) / 72; }

QFont DialogFont(int nPixelSize)
{
    // Faces with the widths the positions were drawn for come first; any
    // other system gets its own sans.
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Arial")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(nPixelSize);
    font.setWeight(QFont::Normal);
    font.setStyle(QFont::StyleNormal);
    return font;
}

bool CaptionsFit(const QWidget* pDialog)
{
    for (const QWidget* pControl : pDialog->findChildren<QWidget*>()) {
        if (!pControl->isHidden() && CaptionWidth(pControl) > pControl->width())
            return false;
    }
    return true;
}

void ApplyDialogFont(QWidget* pDialog, int nPointSize)
{
    const int nPixelSize = TemplatePixelSize(nPointSize);
    for (int nSize = nPixelSize; nSize >= nPixelSize - kMaxShrink; --nSize) {
        pDialog->setFont(DialogFont(nSize));
        if (CaptionsFit(pDialog))
            return;
    }
}
