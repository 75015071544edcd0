#pragma once

#include <QDialog>
#include <QString>

class QDialogButtonBox;
class QLabel;
class QLineEdit;
struct CRunSettings;

// The run limits of the window's next runs as typed in Options > Run
// limits...: a duration ("90s", "10m", "8h", seconds) and a pass count;
// empty: no limit.
struct CRunLimits {
    QString strDuration;
    QString strPasses;

    // Puts the limits into the run's settings; false when a text is not one
    // CRunSettings takes (the dialog accepts none such).
    bool Apply(CRunSettings& settings) const;
};

// The small dialog that edits CRunLimits; OK stays disabled while a box
// holds something that is not a limit, and a line says why.
class CRunLimitsDlg : public QDialog {
public:
    CRunLimitsDlg(QWidget* pParent, const CRunLimits& limits);

    CRunLimits Limits() const;

private:
    void Check();

    QLineEdit* m_pDuration = nullptr;
    QLineEdit* m_pPasses = nullptr;
    QLabel* m_pProblem = nullptr;
    QDialogButtonBox* m_pButtons = nullptr;
};
