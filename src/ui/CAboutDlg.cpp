#include "CAboutDlg.h"

#include "CAppIcon.h"
#include "DialogFont.h"
#include "DialogUnits.h"

#include <QLabel>
#include <QPushButton>

namespace {
// Shell font of 9 points.
constexpr int kBaseX = 7;
constexpr int kBaseY = 15;

QRect Du(int nX, int nY, int nWidth, int nHeight) { return DialogUnitsToPixels(nX, nY, nWidth, nHeight, kBaseX, kBaseY); }
}  // namespace

QString CAboutDlg::MenuText() { return QStringLiteral("Velkor 정보(&A)..."); }

CAboutDlg::CAboutDlg(QWidget* pParent) : QDialog(pParent)
{
    setObjectName(QStringLiteral("100"));
    setWindowTitle(QStringLiteral("Velkor 정보"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(Du(0, 0, 170, 62).size());

    auto* pIcon = new QLabel(this);
    pIcon->setObjectName(QStringLiteral("icon"));
    pIcon->setPixmap(CAppIcon::Pixmap(32));
    pIcon->setGeometry(Du(14, 14, 21, 20));

    auto* pName = new QLabel(QStringLiteral("Velkor, 버전 1.0"), this);
    pName->setObjectName(QStringLiteral("name"));
    pName->setTextFormat(Qt::PlainText);  // no prefix processing
    pName->setGeometry(Du(42, 14, 114, 8).adjusted(0, -2, 0, 2));

    auto* pNotice = new QLabel(QStringLiteral("Copyright (C) 2013"), this);
    pNotice->setObjectName(QStringLiteral("notice"));
    pNotice->setTextFormat(Qt::PlainText);
    pNotice->setGeometry(Du(42, 26, 114, 8).adjusted(0, -2, 0, 2));

    auto* pOk = new QPushButton(QStringLiteral("확인"), this);
    pOk->setObjectName(QStringLiteral("1"));
    pOk->setDefault(true);
    pOk->setGeometry(Du(113, 41, 50, 14));
    connect(pOk, &QPushButton::clicked, this, &QDialog::accept);
    ApplyDialogFont(this, 9);
}
