#pragma once

// The contract every text box implementation passes. A test binary includes
// this header once and instantiates the suite with its own factory:
//   INSTANTIATE_TEST_SUITE_P(Memory, TextBoxContract, ::testing::Values(factory));

#include "platform/ITextBox.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using TextBoxFactory = std::function<std::unique_ptr<ITextBox>()>;

class TextBoxContract : public ::testing::TestWithParam<TextBoxFactory> {
protected:
    void SetUp() override { m_box = GetParam()(); }
    QString Line(int nIndex, int nCapacity = 2048)
    {
        QString strLine;
        m_box->GetLine(nIndex, strLine, nCapacity);
        return strLine;
    }
    std::unique_ptr<ITextBox> m_box;
};

TEST_P(TextBoxContract, LinesAreSeparatedByCrLf)
{
    EXPECT_EQ(m_box->GetLineCount(), 1) << "an empty text has one line";
    EXPECT_EQ(m_box->GetTextLength(), 0);

    m_box->SetWindowText(QStringLiteral("a\r\nb\r\n"));
    EXPECT_EQ(m_box->GetLineCount(), 3);
    EXPECT_EQ(m_box->GetTextLength(), 6) << "a break counts two";
    EXPECT_EQ(Line(0), QStringLiteral("a"));
    EXPECT_EQ(Line(1), QStringLiteral("b"));
    QString strLast = QStringLiteral("junk");
    EXPECT_EQ(m_box->GetLine(2, strLast, 2048), 0);
    EXPECT_TRUE(strLast.isEmpty());

    m_box->SetWindowText(QStringLiteral("\r\n\r\nx"));
    EXPECT_EQ(m_box->GetLineCount(), 3);
    EXPECT_EQ(Line(0), QString());
    EXPECT_EQ(Line(2), QStringLiteral("x"));
}

TEST_P(TextBoxContract, GetLineCutsAtTheCapacity)
{
    m_box->SetWindowText(QString(3000, QLatin1Char('x')) + QStringLiteral("\r\nshort"));
    QString strLine;
    EXPECT_EQ(m_box->GetLine(0, strLine, 2048), 2048);
    EXPECT_EQ(strLine, QString(2048, QLatin1Char('x')));
    EXPECT_EQ(m_box->GetLine(1, strLine, 255), 5);
    EXPECT_EQ(strLine, QStringLiteral("short"));
    EXPECT_EQ(m_box->GetLine(1, strLine, 3), 3);
    EXPECT_EQ(strLine, QStringLiteral("sho"));
    EXPECT_EQ(m_box->GetLine(7, strLine, 255), 0) << "an index past the end gives nothing";
}

TEST_P(TextBoxContract, ReplaceInsertsAtTheCaretAndMovesIt)
{
    m_box->SetWindowText(QStringLiteral("abcdef"));
    m_box->SetSel(3, 3);
    m_box->ReplaceSel(QStringLiteral("XY"));
    EXPECT_EQ(m_box->GetWindowText(), QStringLiteral("abcXYdef"));
    int nStart = -5;
    int nEnd = -5;
    m_box->GetSel(nStart, nEnd);
    EXPECT_EQ(nStart, 5);
    EXPECT_EQ(nEnd, 5);
    m_box->ReplaceSel(QStringLiteral("\r\n"));
    EXPECT_EQ(m_box->GetWindowText(), QStringLiteral("abcXY\r\ndef"));
    EXPECT_EQ(m_box->GetLineCount(), 2);
}

TEST_P(TextBoxContract, ReplaceReplacesASelection)
{
    m_box->SetWindowText(QStringLiteral("abcdef"));
    m_box->SetSel(1, 4);
    m_box->ReplaceSel(QStringLiteral("-"));
    EXPECT_EQ(m_box->GetWindowText(), QStringLiteral("a-ef"));

    m_box->SetSel(0, -1);
    int nStart = 0;
    int nEnd = 0;
    m_box->GetSel(nStart, nEnd);
    EXPECT_EQ(nStart, 0);
    EXPECT_EQ(nEnd, 4) << "an end of -1 selects to the end";
}

TEST_P(TextBoxContract, SetSelMinusOneDropsTheSelectionAndKeepsTheCaret)
{
    m_box->SetWindowText(QStringLiteral("0123456789"));
    m_box->SetSel(2, 6);  // caret at 6
    m_box->SetSel(-1, 0);
    int nStart = 0;
    int nEnd = 0;
    m_box->GetSel(nStart, nEnd);
    EXPECT_EQ(nStart, 6);
    EXPECT_EQ(nEnd, 6);
    m_box->ReplaceSel(QStringLiteral("|"));
    EXPECT_EQ(m_box->GetWindowText(), QStringLiteral("012345|6789"))
        << "the selected text stays and the insertion goes to the caret";
}

TEST_P(TextBoxContract, SetTextReplacesEverything)
{
    m_box->SetWindowText(QStringLiteral("one\r\ntwo"));
    m_box->SetSel(-1, 0);
    m_box->ReplaceSel(QStringLiteral("zero "));
    EXPECT_EQ(m_box->GetWindowText(), QStringLiteral("zero one\r\ntwo")) << "set text leaves the caret at 0";
    m_box->SetWindowText(QString());
    EXPECT_EQ(m_box->GetWindowText(), QString());
    EXPECT_EQ(m_box->GetTextLength(), 0);
    EXPECT_EQ(m_box->GetLineCount(), 1);
}

TEST_P(TextBoxContract, PositionsBeyondTheTextAreClamped)
{
    m_box->SetWindowText(QStringLiteral("ab"));
    m_box->SetSel(50, 50);
    m_box->ReplaceSel(QStringLiteral("c"));
    EXPECT_EQ(m_box->GetWindowText(), QStringLiteral("abc"));
}

TEST_P(TextBoxContract, ADisabledBoxStillTakesEveryOperation)
{
    EXPECT_GT(m_box->GetLimitText(), 0);
    m_box->SetWindowText(QStringLiteral("ab"));
    m_box->SetSel(1, 1);
    m_box->EnableWindow(false);
    EXPECT_FALSE(m_box->IsWindowEnabled());
    m_box->ReplaceSel(QStringLiteral("X"));
    EXPECT_EQ(m_box->GetWindowText(), QStringLiteral("aXb")) << "the caret survives disabling";
    m_box->EnableWindow(true);
    EXPECT_TRUE(m_box->IsWindowEnabled());
}

TEST_P(TextBoxContract, LoneCrAndLoneLfAreLineBreaksToo)
{
    m_box->SetWindowText(QStringLiteral("a\rb\nc\r\nd"));
    EXPECT_EQ(m_box->GetLineCount(), 4);
    EXPECT_EQ(Line(1), QStringLiteral("b"));
    EXPECT_EQ(m_box->GetWindowText(), QStringLiteral("a\r\nb\r\nc\r\nd"));
    EXPECT_EQ(m_box->GetTextLength(), 10) << "each break counts two";

    m_box->SetSel(1, 1);
    m_box->ReplaceSel(QStringLiteral("\n-\r"));
    EXPECT_EQ(m_box->GetWindowText(), QStringLiteral("a\r\n-\r\n\r\nb\r\nc\r\nd"));
    int nStart = 0;
    int nEnd = 0;
    m_box->GetSel(nStart, nEnd);
    EXPECT_EQ(nEnd, 6) << "the caret ends after the inserted text with its breaks";

    // A position between the CR and the LF of a break is the end of its line,
    // so no insertion splits a break.
    m_box->SetWindowText(QStringLiteral("ab\r\ncd"));
    m_box->SetSel(3, 3);
    m_box->ReplaceSel(QStringLiteral("!"));
    EXPECT_EQ(m_box->GetWindowText(), QStringLiteral("ab!\r\ncd"));
    m_box->AppendText(QStringLiteral("\re\n"));
    EXPECT_EQ(m_box->GetWindowText(), QStringLiteral("ab!\r\ncd\r\ne\r\n"));
}

TEST_P(TextBoxContract, AppendGoesToTheEndAndKeepsTheCaretAndTheSelection)
{
    m_box->SetWindowText(QStringLiteral("first line\r\n"));
    m_box->SetSel(1, 4);  // the user selected "irs"
    m_box->AppendText(QStringLiteral("[12:21:37.421] NEW\r\n"));
    EXPECT_EQ(m_box->GetWindowText(), QStringLiteral("first line\r\n[12:21:37.421] NEW\r\n"));
    int nStart = 0;
    int nEnd = 0;
    m_box->GetSel(nStart, nEnd);
    EXPECT_EQ(nStart, 1);
    EXPECT_EQ(nEnd, 4);

    const int nLength = m_box->GetTextLength();
    m_box->SetSel(6, nLength);  // a selection up to the very end does not grow
    m_box->AppendText(QStringLiteral("more\r\n"));
    m_box->GetSel(nStart, nEnd);
    EXPECT_EQ(nStart, 6);
    EXPECT_EQ(nEnd, nLength);
    EXPECT_EQ(m_box->GetLineCount(), 4);
}
