#pragma once

#include <QKeySequence>
#include <QString>
#include <Qt>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QWidget;

// Controls and menu commands of a dialog, each carrying its dialog id as its
// object name (the decimal id: "1002").
template <typename T>
T* MakeControl(QWidget* pParent, int nId)
{
    auto* pControl = new T(pParent);
    pControl->setObjectName(QString::number(nId));
    return pControl;
}

// A button that Enter clicks while it has the focus.
QPushButton* MakeButton(QWidget* pParent, int nId, const QString& strCaption);
QLabel* MakeStatic(QWidget* pParent, int nId, const QString& strCaption, Qt::Alignment alignment);
QGroupBox* MakeGroup(QWidget* pParent, int nId, const QString& strCaption);
// A script or log box: both scroll bars always, Tab moves the focus on.
QPlainTextEdit* MakeMultiLineEdit(QWidget* pParent, int nId);
QLineEdit* MakeLineEdit(QWidget* pParent, int nId);
QAction* AddCommand(QMenu* pMenu, int nId, const QString& strText, const QKeySequence& shortcut = {});
