#pragma once

#include <QString>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// Ctrl+F in the main window: finds text in the log box. A small bar in the
// band right of "Click Enable" / "Click Disable", above the log box, so that
// no control of the window moves (on a window too narrow for that, over the
// log box's top right corner): the text, "Next", "Previous" and "Match
// case"; Enter finds the next match, Shift+Enter the one before, Escape
// closes the bar. The search goes on at the end (or the start) of the log
// and works while a run appends lines: the match found is selected and
// shown, and the lines that come in after it do not move the view.
class CLogFindBar : public QWidget {
public:
    // pClient: the window's client area, the bar's parent; pLog: the log box.
    CLogFindBar(QWidget* pClient, QPlainTextEdit* pLog);

    // Shows the bar with its text selected and focused.
    void Open();
    // Next (forward) or previous match of the bar's text; false when the log
    // has none.
    bool Find(bool bForward);
    // Hides the bar and the mark of the match.
    void Close();
    // Puts the bar above the log box's top right corner; after the window
    // placed its controls.
    void Reposition();

    // Null until the bar was first opened.
    QLineEdit* TextBox() const { return m_pText; }
    QCheckBox* MatchCase() const { return m_pMatchCase; }
    // What the bar says of the last search: empty, "Not found" or
    // "From the start" / "From the end" when it went round.
    QString Status() const;

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    void Build();

    QPlainTextEdit* m_pLog;
    QLineEdit* m_pText = nullptr;
    QPushButton* m_pNext = nullptr;
    QPushButton* m_pPrevious = nullptr;
    QCheckBox* m_pMatchCase = nullptr;
    QLabel* m_pStatus = nullptr;
};
