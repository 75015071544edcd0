#include "WindowKeys.h"

#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QWidget>

QPushButton* AddCloseKeys(QWidget& window)
{
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        auto* pShortcut = new QShortcut(keys, &window);
        pShortcut->setContext(Qt::WindowShortcut);
        QObject::connect(pShortcut, &QShortcut::activated, &window, &QWidget::close);
    }
    auto* pClose = new QPushButton(QStringLiteral("Close"));
    pClose->setObjectName(QStringLiteral("close"));
    pClose->setToolTip(QStringLiteral("Close this window (Escape, Ctrl+W)"));
    pClose->setAutoDefault(false);
    QObject::connect(pClose, &QPushButton::clicked, &window, &QWidget::close);
    return pClose;
}
