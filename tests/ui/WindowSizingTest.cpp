// The window at real desktops: other font sizes and screens smaller than
// the window; and the placing table and the screen fit as arithmetic alone.
#include "DlgFixture.h"

#include "ui/CAboutDlg.h"
#include "ui/CCommandDlg.h"
#include "ui/CResultsWindow.h"
#include "log/CLogWriter.h"
#include "ui/CScreenFit.h"
#include "ui/CTlsOptionsMenu.h"
#include "ui/DialogLayout.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStyle>
#include <QTemporaryDir>

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
        for (const auto& placement : DialogLayout::Placements(client.width(), client.height())) {
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

namespace {

QRect PlacedAt(int nWidth, int nHeight, int nId)
{
    for (const DialogLayout::SPlacement& placement : DialogLayout::Placements(nWidth, nHeight)) {
        if (placement.nId == nId)
            return placement.rect;
    }
    ADD_FAILURE() << nId << " is not in the table";
    return {};
}

}  // namespace

TEST(DialogLayout, TheTableAtTheStartSizeInPlacingOrder)
{
    // 1008 x 912: a = (912 - 20) / 3 = 297.
    const std::vector<std::pair<int, QRect>> expected{
        {1008, {0, 0, 998, 20}},     {1005, {10, 20, 988, 347}},  {1006, {25, 40, 968, 20}},
        {1000, {25, 60, 963, 297}},  {1016, {10, 377, 988, 357}}, {1023, {30, 397, 100, 20}},
        {1024, {140, 397, 100, 20}}, {1001, {25, 427, 963, 267}}, {1017, {10, 734, 250, 160}},
        {1031, {25, 754, 70, 25}},   {1029, {100, 754, 150, 25}}, {1032, {25, 784, 70, 25}},
        {1030, {100, 784, 150, 25}}, {1002, {25, 819, 100, 30}},  {1009, {135, 819, 100, 30}},
        {1004, {25, 854, 100, 30}},  {1003, {135, 854, 100, 30}}, {1018, {270, 734, 300, 100}},
        {1012, {280, 754, 150, 30}}, {1011, {440, 754, 100, 30}}, {1014, {280, 794, 280, 30}},
        {2, {848, 872, 150, 30}},    {1026, {580, 734, 400, 60}}, {1027, {590, 754, 250, 30}},
        {1025, {860, 754, 50, 25}},  {1028, {920, 754, 50, 30}}};
    const auto placements = DialogLayout::Placements(1008, 912);
    ASSERT_EQ(placements.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(placements[i].nId, expected[i].first) << "row " << i;
        EXPECT_EQ(placements[i].rect, expected[i].second) << expected[i].first;
    }
    std::vector<int> order;
    for (const auto& [nId, rect] : expected)
        order.push_back(nId);
    EXPECT_EQ(DialogLayout::PlacingOrder(), order);
}

TEST(DialogLayout, NarrowLowAndEmptyClientAreas)
{
    struct SCase {
        int nWidth;
        int nHeight;
        int nId;
        QRect rect;
    };
    const SCase cases[] = {
        // 990 wide still holds the panel in one row ...
        {990, 912, 1026, {580, 734, 400, 60}},
        {990, 912, 1000, {25, 60, 945, 297}},
        // ... 989 does not: the threshold group goes under the options
        // group, and the panel keeps its height ...
        {989, 912, 1000, {25, 60, 944, 297}},
        {989, 912, 1026, {270, 834, 400, 60}},
        {989, 912, 1027, {280, 854, 250, 30}},
        {989, 912, 2, {829, 872, 150, 30}},
        // ... down to 840; 839 puts it under the credentials, and the boxes
        // give up height for the taller panel (a = 266), the band under the
        // log box first, to the log box.
        {839, 912, 1000, {25, 60, 794, 266}},
        {839, 912, 1001, {25, 396, 794, 266}},
        {839, 912, 1026, {10, 842, 400, 60}},
        {839, 912, 1027, {20, 862, 250, 30}},
        {839, 912, 1025, {290, 862, 50, 25}},
        {839, 912, 1028, {350, 862, 50, 30}},
        {839, 912, 1017, {10, 672, 250, 160}},
        {839, 912, 2, {679, 872, 150, 30}},
        // Scale 2 on 1920 x 1080 under a panel: a = (470 - 150 - 160) / 2.
        {960, 470, 1000, {25, 60, 915, 80}},
        {960, 470, 1001, {25, 210, 915, 80}},
        {960, 470, 1017, {10, 300, 250, 160}},
        // The smallest client area: a = (440 - 150 - 230) / 2 = 30.
        {580, 440, 1000, {25, 60, 535, 30}},
        {580, 440, 1001, {25, 160, 535, 30}},
        {580, 440, 1026, {10, 370, 400, 60}},
        {580, 440, 2, {420, 400, 150, 30}},
        // Wide and low: the boxes shrink for the panel from 440 on ...
        {1008, 440, 1000, {25, 60, 963, 65}},
        {1008, 440, 1017, {10, 270, 250, 160}},
        {1008, 440, 1001, {25, 195, 963, 65}},
        // A box squeezed by a few pixels gives up as much of the band.
        {1008, 880, 1001, {25, 415, 963, 256}},
        // ... but a lower area (a minimised window) keeps a third each.
        {1008, 439, 1000, {25, 60, 963, 139}},
        // An empty client area: a = -6, and the negative sizes are passed on.
        {0, 0, 1000, {25, 60, -45, -6}},
        {0, 0, 1001, {25, 124, -45, -36}},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(PlacedAt(c.nWidth, c.nHeight, c.nId), c.rect) << c.nWidth << " x " << c.nHeight << ": " << c.nId;
    const auto empty = DialogLayout::Placements(0, 0);
    ASSERT_EQ(empty.size(), 26u);
    EXPECT_EQ(empty[0].nId, 1008);
    EXPECT_EQ(empty[3].nId, 1000);
    EXPECT_EQ(empty[25].nId, 1028);
}

TEST(SmallScreenFit, TheClientLimitAndThePlaceInsideTheArea)
{
    const QSize full(1008, 912);
    const QSize smallest(580, 440);
    EXPECT_EQ(CScreenFit::ClientLimit(QSize(1920, 1080), QSize(16, 60), full, smallest), QSize(1008, 912));
    EXPECT_EQ(CScreenFit::ClientLimit(QSize(1366, 720), QSize(16, 60), full, smallest), QSize(1008, 660));
    EXPECT_EQ(CScreenFit::ClientLimit(QSize(800, 600), QSize(16, 60), full, smallest), QSize(784, 540));
    EXPECT_EQ(CScreenFit::ClientLimit(QSize(500, 400), QSize(0, 30), full, smallest), QSize(580, 440));

    const QRect area(100, 50, 800, 600);  // right edge 899, bottom edge 649
    EXPECT_EQ(CScreenFit::PlaceInside(area, QRect(850, 60, 200, 100)), QPoint(700, 60));
    EXPECT_EQ(CScreenFit::PlaceInside(area, QRect(0, 700, 200, 100)), QPoint(100, 550));
    EXPECT_EQ(CScreenFit::PlaceInside(area, QRect(300, 200, 200, 100)), QPoint(300, 200));
    EXPECT_EQ(CScreenFit::PlaceInside(area, QRect(300, 200, 900, 700)), QPoint(100, 50))
        << "too large: its top left goes to the area's";
}

// What the window keeps between starts comes back in the next one; the
// password never leaves. The settings live in a file of the test's own.
TEST_F(SmallScreen, SettingsComeBackInTheNextWindowButNeverThePassword)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QSettings settings(dir.filePath(QStringLiteral("velkor.ini")), QSettings::IniFormat);
    m_pDlg->setGeometry(40, 50, 1300, 1000);
    m_pDlg->ResultsWindow().setGeometry(1150, 60, 1100, 900);
    Ctl<QLineEdit>(1025)->setText(QStringLiteral("750"));
    Ctl<QLineEdit>(1029)->setText(QStringLiteral("operator"));
    Ctl<QLineEdit>(1030)->setText(QStringLiteral("s3cret-word"));
    Ctl<QCheckBox>(1012)->click();
    m_pDlg->LogWriter().SetLogFolder(dir.path());
    m_pDlg->TlsOptionsMenu().SetJobs(7);
    m_pDlg->StoreSettings(settings);
    settings.setValue(QStringLiteral("run/maxPasses"), QStringLiteral("3"));  // as the dialog would leave it
    QFile file(settings.fileName());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("s3cret")) << "the password is not kept";

    CVelkorDlg next;
    next.RestoreSettings(settings);
    EXPECT_EQ(next.size(), QSize(1300, 1000));
    EXPECT_EQ(next.ResultsWindow().size(), QSize(1100, 900));
    EXPECT_EQ(qobject_cast<QLineEdit*>(next.Control(1025))->text(), QStringLiteral("750"));
    EXPECT_EQ(qobject_cast<QLineEdit*>(next.Control(1029))->text(), QStringLiteral("operator"));
    EXPECT_NE(qobject_cast<QLineEdit*>(next.Control(1030))->text(), QStringLiteral("s3cret-word"));
    EXPECT_TRUE(qobject_cast<QCheckBox*>(next.Control(1012))->isChecked());
    EXPECT_EQ(next.LogWriter().LogFolder(), dir.path());
    EXPECT_EQ(next.TlsOptionsMenu().Jobs(), 7);
    EXPECT_EQ(next.TlsOptionsMenu().RunLimits().strPasses, QStringLiteral("3"));
    // Limits the run-limits dialog would refuse are not taken.
    settings.setValue(QStringLiteral("run/maxPasses"), QStringLiteral("many"));
    CVelkorDlg third;
    third.RestoreSettings(settings);
    EXPECT_EQ(third.TlsOptionsMenu().RunLimits().strPasses, QString());
    EXPECT_EQ(third.TlsOptionsMenu().Jobs(), 7);
}
