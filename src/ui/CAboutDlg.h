#pragma once

#include <QDialog>

// The about box.
class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* pParent = nullptr);

    // The text of the menu item that opens the box.
    static QString MenuText();
};
