#include "DialogControls.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

QPushButton* MakeButton(QWidget* pParent, int nId, const QString& strCaption)
{
    auto* pButton = MakeControl<QPushButton>(pParent, nId);
    pButton->setText(strCaption);
    // Enter on a button that has the focus clicks it.
    pButton->setAutoDefault(true);
    return pButton;
}

QLabel* MakeStatic(QWidget* pParent, int nId, const QString& strCaption, Qt::Alignment alignment)
{
    auto* pLabel = MakeControl<QLabel>(pParent, nId);
    pLabel->setText(strCaption);
    pLabel->setTextFormat(Qt::PlainText);
    pLabel->setAlignment(alignment);
    return pLabel;
}

QGroupBox* MakeGroup(QWidget* pParent, int nId, const QString& strCaption)
{
    auto* pGroup = MakeControl<QGroupBox>(pParent, nId);
    pGroup->setTitle(strCaption);
    return pGroup;
}

QPlainTextEdit* MakeMultiLineEdit(QWidget* pParent, int nId)
{
    auto* pEdit = MakeControl<QPlainTextEdit>(pParent, nId);
    pEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    pEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    pEdit->setTabChangesFocus(true);
    return pEdit;
}

QLineEdit* MakeLineEdit(QWidget* pParent, int nId)
{
    return MakeControl<QLineEdit>(pParent, nId);
}

QAction* AddCommand(QMenu* pMenu, int nId, const QString& strText, const QKeySequence& shortcut)
{
    QAction* pAction = pMenu->addAction(strText);
    pAction->setObjectName(QString::number(nId));
    pAction->setShortcut(shortcut);
    return pAction;
}
