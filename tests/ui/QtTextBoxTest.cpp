#include "../platform/TextBoxContract.h"

#include "platform/CMemoryTextBox.h"
#include "ui/CQtTextBox.h"

#include <QPlainTextEdit>

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
