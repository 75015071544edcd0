// The window at real desktops: other font sizes and screens smaller than
// the window.
#include "DlgFixture.h"

#include "ui/CAboutDlg.h"
#include "ui/CCommandDlg.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

namespace {

// The width a control needs for its caption; 0 for a control without one.
int CaptionWidth(const QWidget* pControl, QString& strCaption)
{
    if (const auto* pButton = qobject_cast<const QPushButton*>(pControl)) {
        // The caption with the style's margins (the size hint would add the
        // least width some styles give every push button).
        strCaption = pButton->text();
        const QStyle* pStyle = pButton->style();
        return pButton->fontMetrics().size(Qt::TextShowMnemonic, strCaption).width() +
               pStyle->pixelMetric(QStyle::PM_ButtonMargin) + 2 * pStyle->pixelMetric(QStyle::PM_DefaultFrameWidth) +
               (pButton->autoDefault() ? 2 * pStyle->pixelMetric(QStyle::PM_ButtonDefaultIndicator) : 0);
    }
    if (const auto* pButton = qobject_cast<const QAbstractButton*>(pControl)) {
        strCaption = pButton->text();
        return pButton->sizeHint().width();
    }
    if (const auto* pLabel = qobject_cast<const QLabel*>(pControl)) {
        strCaption = pLabel->text();
        return pLabel->sizeHint().width();
    }
    if (const auto* pGroup = qobject_cast<const QGroupBox*>(pControl)) {
        strCaption = pGroup->title();
        return pGroup->minimumSizeHint().width();
    }
    return 0;
}

// Every caption shown in pDialog fits the width of its control.
void ExpectCaptionsFit(const QWidget* pDialog, int nDesktopPoints)
{
    int nCaptions = 0;
    for (const QWidget* pControl : pDialog->findChildren<QWidget*>()) {
        QString strCaption;
        const int nNeeded = CaptionWidth(pControl, strCaption);
        if (pControl->isHidden() || strCaption.isEmpty())
            continue;
        ++nCaptions;
        EXPECT_LE(nNeeded, pControl->width()) << pDialog->objectName().toStdString() << " \""
                                              << strCaption.toStdString() << "\" at a desktop font of "
                                              << nDesktopPoints << " pt";
    }
    EXPECT_GT(nCaptions, 0);
}

// Controls of the table that may not overlap: all but the group boxes.
bool IsGroupBox(const QWidget* pControl) { return qobject_cast<const QGroupBox*>(pControl) != nullptr; }

}  // namespace

TEST(DialogFont, EveryCaptionFitsAtDesktopFontsOf9To12Points)
{
    const QFont desktopFont = QApplication::font();
    for (int nPoints = 9; nPoints <= 12; ++nPoints) {
        QFont font = desktopFont;
        font.setPointSize(nPoints);
        QApplication::setFont(font);
        {
            CVelkorDlg dlg;
            ExpectCaptionsFit(&dlg, nPoints);
            EXPECT_EQ(dlg.Control(1004)->width(), 100) << "the table's widths hold";
            CCommandDlg help;
            ExpectCaptionsFit(&help, nPoints);
            CAboutDlg about;
            ExpectCaptionsFit(&about, nPoints);
        }
    }
    QApplication::setFont(desktopFont);
}

using SmallScreen = DlgFixture;

TEST_F(SmallScreen, TheWindowFitsAndKeepsEveryControlWholeAndApart)
{
    const QSize menuAndFrame = m_pDlg->frameGeometry().size() - m_pDlg->ClientArea()->size();
    for (const QSize area : {QSize(1366, 720), QSize(800, 600)}) {
        m_pDlg->FitToScreenArea(QRect(QPoint(0, 0), area));
        const QSize window = m_pDlg->frameGeometry().size();
        EXPECT_EQ(window.height(), area.height()) << "a window taller than the screen shrinks to it";
        EXPECT_EQ(window.width(), std::min(area.width(), 1008 + menuAndFrame.width()));
        // The area is now the smallest the window can be.
        m_pDlg->resize(300, 200);
        const QSize client = m_pDlg->ClientArea()->size();
        EXPECT_EQ(client, area.boundedTo(QSize(1008 + menuAndFrame.width(), area.height())) - menuAndFrame)
            << area.width() << " x " << area.height();

        QList<const QWidget*> controls;
        for (const auto& placement : CVelkorDlg::Placements(client.width(), client.height())) {
            const QWidget* pControl = m_pDlg->Control(placement.nId);
            const QRect rect = pControl->geometry();
            EXPECT_TRUE(QRect(QPoint(0, 0), client).contains(rect)) << placement.nId << " is cut off";
            if (qobject_cast<const QAbstractButton*>(pControl) != nullptr) {
                EXPECT_TRUE(rect.width() >= pControl->sizeHint().width() &&
                            rect.height() >= pControl->sizeHint().height())
                    << placement.nId << " is clipped";
            }
            for (const QWidget* pOther : controls) {
                EXPECT_TRUE(IsGroupBox(pControl) != IsGroupBox(pOther) || !rect.intersects(pOther->geometry()))
                    << placement.nId << " overlaps " << pOther->objectName().toStdString();
            }
            controls << pControl;
        }
        for (int nBox : {1000, 1001}) {
            const QWidget* pBox = m_pDlg->Control(nBox);
            EXPECT_GE(pBox->height(), 3 * pBox->fontMetrics().lineSpacing()) << nBox << " still shows 3 lines";
        }
    }
}
