#include "TextBoxContract.h"

#include "platform/CMemoryTextBox.h"

INSTANTIATE_TEST_SUITE_P(Memory, TextBoxContract,
                         ::testing::Values(TextBoxFactory([] { return std::make_unique<CMemoryTextBox>(); })));

TEST(MemoryTextBox, ManyLinesAreIndexedOnce)
{
    CMemoryTextBox box;
    QString strText;
    for (int i = 0; i < 20000; ++i)
        strText += QStringLiteral("line %1\r\n").arg(i);
    box.SetWindowText(strText);
    ASSERT_EQ(box.GetLineCount(), 20001);
    QString strLine;
    for (int i = 0; i < 20000; ++i) {
        box.GetLine(i, strLine, 2048);
        ASSERT_EQ(strLine, QStringLiteral("line %1").arg(i));
    }
}
