#pragma once

#include "GuiTestUtil.h"

#include "engine/CRunEngine.h"
#include "ui/CVelkorDlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <memory>

// A shown main window and helpers to reach its controls by id.
class DlgFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_pDlg = std::make_unique<CVelkorDlg>();
        m_pDlg->show();
        m_pDlg->activateWindow();
        QApplication::setActiveWindow(m_pDlg.get());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pDlg.get()));
    }
    void TearDown() override { m_pDlg.reset(); }

    template <typename T>
    T* Ctl(int nId) const
    {
        T* pControl = qobject_cast<T*>(m_pDlg->Control(nId));
        EXPECT_NE(pControl, nullptr) << "control " << nId;
        return pControl;
    }
    bool Enabled(int nId) const { return m_pDlg->Control(nId)->isEnabled(); }
    QString Log() const { return m_pDlg->LogBox().GetWindowText(); }
    bool WaitForLog(const QString& strText, int nTimeoutMs = 20000)
    {
        return WaitFor([&] { return Log().contains(strText); }, nTimeoutMs);
    }
    // Waits until the run has ended and everything it logged is shown.
    bool WaitForRunEnd(int nTimeoutMs = 20000)
    {
        const bool bEnded = WaitFor([&] { return !m_pDlg->Engine().IsRunning(); }, nTimeoutMs);
        m_pDlg->FlushPendingLog();
        return bEnded;
    }

    std::unique_ptr<CVelkorDlg> m_pDlg;
};
