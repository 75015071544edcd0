#include "../platform/TextBoxContract.h"

#include "platform/CMemoryTextBox.h"
#include "ui/CQtTextBox.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>

#include <cmath>

namespace {

// A Qt box that owns its edit, for tests.
struct COwnedEdit {
    std::unique_ptr<QPlainTextEdit> m_pOwnedEdit = std::make_unique<QPlainTextEdit>();
};

class COwningQtTextBox : private COwnedEdit, public CQtTextBox {
public:
    COwningQtTextBox() : CQtTextBox(m_pOwnedEdit.get()) {}
    QPlainTextEdit* EditWidget() { return m_pOwnedEdit.get(); }
};

// WCAG's relative luminance of a colour and contrast ratio of two.
double Luminance(const QColor& colour)
{
    const auto Channel = [](double dValue) {
        return dValue <= 0.03928 ? dValue / 12.92 : std::pow((dValue + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * Channel(colour.redF()) + 0.7152 * Channel(colour.greenF()) + 0.0722 * Channel(colour.blueF());
}

double Contrast(const QColor& a, const QColor& b)
{
    const double dA = Luminance(a);
    const double dB = Luminance(b);
    return (std::max(dA, dB) + 0.05) / (std::min(dA, dB) + 0.05);
}

// A read-only edit as the window's log is: selectable, not editable.
void MakeLogLike(QPlainTextEdit& edit)
{
    edit.setReadOnly(true);
    edit.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Qt, TextBoxContract,
                         ::testing::Values(TextBoxFactory([] { return std::make_unique<COwningQtTextBox>(); })),
                         [](const ::testing::TestParamInfo<TextBoxFactory>&) { return std::string("PlainTextEdit"); });

TEST(QtTextBox, TheLimitIsTheMemoryBoxLimit)
{
    COwningQtTextBox box;
    EXPECT_EQ(box.GetLimitText(), CMemoryTextBox::kDefaultLimitText);
}

TEST(QtTextBox, PositionsCountEveryBreakAsTwoCharacters)
{
    COwningQtTextBox box;
    box.SetWindowText(QStringLiteral("ab\r\ncd\r\nef"));
    EXPECT_EQ(box.GetTextLength(), 10);
    box.SetSel(4, 4);  // before "c"
    box.ReplaceSel(QStringLiteral("X"));
    EXPECT_EQ(box.GetWindowText(), QStringLiteral("ab\r\nXcd\r\nef"));
    int nStart = 0;
    int nEnd = 0;
    box.GetSel(nStart, nEnd);
    EXPECT_EQ(nStart, 5);
    EXPECT_EQ(nEnd, 5);
    box.SetSel(9, 11);  // "ef" begins at 9
    box.GetSel(nStart, nEnd);
    EXPECT_EQ(nStart, 9);
    EXPECT_EQ(nEnd, 11);
    box.ReplaceSel(QStringLiteral("gh"));
    EXPECT_EQ(box.GetWindowText(), QStringLiteral("ab\r\nXcd\r\ngh"));
    EXPECT_EQ(box.EditWidget()->toPlainText(), QStringLiteral("ab\nXcd\ngh")) << "the edit shows three lines";
}

TEST(QtTextBox, APositionInsideABreakStaysAtTheEndOfItsLine)
{
    COwningQtTextBox box;
    box.SetWindowText(QStringLiteral("ab\r\ncd"));
    box.SetSel(3, 3);  // between CR and LF
    box.ReplaceSel(QStringLiteral("!"));
    EXPECT_EQ(box.GetWindowText(), QStringLiteral("ab!\r\ncd"));
}

TEST(QtTextBox, LoneCrAndLfBecomeBreaks)
{
    COwningQtTextBox box;
    box.SetWindowText(QStringLiteral("a\nb\rc\r\nd"));
    EXPECT_EQ(box.GetLineCount(), 4);
    EXPECT_EQ(box.GetWindowText(), QStringLiteral("a\r\nb\r\nc\r\nd"));
    EXPECT_EQ(box.GetTextLength(), 10);
}

TEST(QtTextBox, UserTypingIsSeenByTheOperations)
{
    COwningQtTextBox box;
    QTextCursor cursor = box.EditWidget()->textCursor();
    cursor.insertText(QStringLiteral("Sleep(10)"));
    cursor.insertBlock();
    cursor.insertText(QStringLiteral("End"));
    EXPECT_EQ(box.GetLineCount(), 2);
    QString strLine;
    EXPECT_EQ(box.GetLine(1, strLine, 2048), 3);
    EXPECT_EQ(strLine, QStringLiteral("End"));
    EXPECT_EQ(box.GetWindowText(), QStringLiteral("Sleep(10)\r\nEnd"));
}

TEST(QtTextBox, NoBreakSpacesSurviveGetText)
{
    COwningQtTextBox box;
    const QString strText = QStringLiteral("a") + QChar(0x00A0) + QStringLiteral("b");
    box.SetWindowText(strText);
    EXPECT_EQ(box.GetWindowText(), strText);
}

TEST(QtTextBox, ManyLinesKeepTheirPositions)
{
    COwningQtTextBox box;
    QString strText;
    for (int i = 0; i < 5000; ++i)
        strText += QStringLiteral("line %1\r\n").arg(i, 4, 10, QLatin1Char('0'));
    box.SetWindowText(strText);
    ASSERT_EQ(box.GetLineCount(), 5001);
    ASSERT_EQ(box.GetTextLength(), strText.size());
    // Each line is 11 characters with its break: line 3000 starts at 33000.
    box.SetSel(33000, 33004);
    box.ReplaceSel(QStringLiteral("LINE"));
    QString strLine;
    box.GetLine(3000, strLine, 2048);
    EXPECT_EQ(strLine, QStringLiteral("LINE 3000"));
}

TEST(QtTextBox, ADisabledReadOnlyBoxDrawsItsTextReadableAndTakesNoClick)
{
    QPlainTextEdit edit;
    MakeLogLike(edit);
    QPlainTextEdit command;  // an editable box greys its text when disabled
    CQtTextBox box(&edit);
    CQtTextBox commandBox(&command);
    box.SetWindowText(QStringLiteral("first line\r\nsecond line"));
    box.EnableWindow(false);
    commandBox.EnableWindow(false);
    ASSERT_FALSE(box.IsWindowEnabled());

    // The colours the edit paints with in its state.
    const QPalette palette = edit.palette();
    ASSERT_EQ(palette.currentColorGroup(), QPalette::Disabled);
    const double dContrast = Contrast(palette.color(QPalette::Text), palette.color(QPalette::Base));
    EXPECT_GE(dContrast, 4.5) << "text " << qPrintable(palette.color(QPalette::Text).name()) << " on "
                              << qPrintable(palette.color(QPalette::Base).name());
    EXPECT_EQ(palette.color(QPalette::Disabled, QPalette::Text), palette.color(QPalette::Active, QPalette::Text));
    EXPECT_NE(command.palette().color(QPalette::Disabled, QPalette::Text),
              command.palette().color(QPalette::Active, QPalette::Text));

    // Still no caret, no click, no typing.
    edit.resize(300, 120);
    edit.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));
    QTest::mouseClick(edit.viewport(), Qt::LeftButton, {}, QPoint(40, 5));
    QTest::keyClicks(&edit, QStringLiteral("typed"));
    EXPECT_FALSE(edit.hasFocus());
    EXPECT_EQ(edit.textCursor().position(), 0);
    EXPECT_EQ(box.GetWindowText(), QStringLiteral("first line\r\nsecond line"));
}

TEST(QtTextBox, MovingToTheEndByKeyboardMakesTheViewFollowAgain)
{
    QPlainTextEdit edit;
    MakeLogLike(edit);
    CQtTextBox box(&edit);
    edit.resize(300, 200);
    edit.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));
    const auto Append = [&](const QString& strText, int nCount) {
        for (int i = 0; i < nCount; ++i)
            box.AppendText(strText.arg(i) + QStringLiteral("\r\n"));
    };
    QScrollBar* pBar = edit.verticalScrollBar();
    Append(QStringLiteral("first %1"), 100);
    ASSERT_GT(pBar->maximum(), 50);
    ASSERT_EQ(pBar->value(), pBar->maximum());

    for (const QKeyCombination key : {QKeyCombination(Qt::ControlModifier, Qt::Key_End),
                                      QKeyCombination(Qt::ControlModifier, Qt::Key_End),
                                      QKeyCombination(Qt::NoModifier, Qt::Key_End)}) {
        // Scrolled up, the view keeps its place.
        pBar->setValue(10);
        Append(QStringLiteral("up %1"), 5);
        ASSERT_EQ(pBar->value(), 10);
        if (key.key() == Qt::Key_End && key.keyboardModifiers() == Qt::NoModifier) {
            // The caret at the start of the last line: End takes it to the end.
            box.AppendText(QStringLiteral("last"));
            QTextCursor cursor = edit.textCursor();
            cursor.movePosition(QTextCursor::End);
            cursor.movePosition(QTextCursor::StartOfLine);
            edit.setTextCursor(cursor);
            pBar->setValue(10);
        }
        QTest::keyClick(&edit, key.key(), key.keyboardModifiers());
        const int nMaximum = pBar->maximum();
        Append(QStringLiteral("more %1"), 20);
        EXPECT_GE(pBar->maximum(), nMaximum + 19);
        EXPECT_EQ(pBar->value(), pBar->maximum()) << QKeySequence(key).toString().toStdString();
    }
}
