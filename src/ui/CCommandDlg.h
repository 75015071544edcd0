#pragma once

#include <QDialog>

class QPlainTextEdit;

// The command help window: a fixed, read-only description of the script
// commands. Each "Show command" opens one more; a closed one is released.
class CCommandDlg : public QDialog {
    Q_OBJECT

public:
    explicit CCommandDlg(QWidget* pParent = nullptr);

    // The help text, CR LF line breaks.
    static QString HelpText();

    QPlainTextEdit* HelpEdit() const { return m_editHelp; }

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;

private:
    QPlainTextEdit* m_editHelp = nullptr;
};
