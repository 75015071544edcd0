#include "CCommandDlg.h"

#include "CQtTextBox.h"
#include "DialogFont.h"
#include "DialogUnits.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {
// Shell font of 8 points.
constexpr int kBaseX = 6;
constexpr int kBaseY = 13;

QRect Du(int nX, int nY, int nWidth, int nHeight) { return DialogUnitsToPixels(nX, nY, nWidth, nHeight, kBaseX, kBaseY); }

struct SHelpEntry {
    const char16_t* pszHeading;
    const char16_t* pszCommand;
    const char16_t* pszDescription;
};

// "Desciption" is the spelling the users know from the first and third entry.
const SHelpEntry kHelpEntries[] = {
    {u"< Http api command >\r\n",
     u"Command : http://192.168.10.100/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0\r\n",
     u"Desciption : Send normal Http api command\r\n\r\n"},
    {u"< Sleep >\r\n", u"Command : Sleep(sleepTime)\r\n",
     u"Description : Wait about sleepTime and send a next command\r\n\r\n"},
    {u"< While >\r\n", u"Command : While(repeatCount) ..... End   \r\n",
     u"Desciption : Repeat to send commands about repeatCount\r\n"
     u"/*repeatCount == 0, repeat infinity*/ /*repeatCount > 0, repeat as repeatCount*/\r\n\r\n"},
    {u"< CheckAlive >\r\n", u"Command : CheckAlive(192.168.10.100:80)\r\n",
     u"Description : Wait until device is connected\r\n\r\n"},
};
}  // namespace

QString CCommandDlg::HelpText()
{
    QString strText;
    for (const SHelpEntry& entry : kHelpEntries) {
        strText += QString::fromUtf16(entry.pszHeading);
        strText += QString::fromUtf16(entry.pszCommand);
        strText += QString::fromUtf16(entry.pszDescription);
    }
    return strText;
}

CCommandDlg::CCommandDlg(QWidget* pParent) : QDialog(pParent)
{
    setObjectName(QStringLiteral("130"));
    setWindowTitle(QStringLiteral("Command"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(Du(0, 0, 452, 183).size());

    auto* pOk = new QPushButton(QStringLiteral("Ok"), this);
    pOk->setObjectName(QStringLiteral("1"));
    pOk->setDefault(true);
    pOk->setVisible(false);
    pOk->setGeometry(Du(309, 162, 50, 14));
    connect(pOk, &QPushButton::clicked, this, &QDialog::accept);

    auto* pClose = new QPushButton(QStringLiteral("Close"), this);
    pClose->setObjectName(QStringLiteral("2"));
    pClose->setGeometry(Du(395, 162, 50, 14));
    connect(pClose, &QPushButton::clicked, this, &QDialog::reject);

    m_editHelp = new QPlainTextEdit(this);
    m_editHelp->setObjectName(QStringLiteral("1000"));
    m_editHelp->setGeometry(Du(7, 7, 438, 147));
    m_editHelp->setReadOnly(true);
    m_editHelp->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_editHelp->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_editHelp->setTabChangesFocus(true);
    CQtTextBox(m_editHelp).SetWindowText(HelpText());
    // The lines under a request (Expect, Capture, Require) are told in the
    // documentation; the help text itself stays as it is.
    m_editHelp->setToolTip(QStringLiteral("Checks on the answers (Expect, Capture, Require lines under a request): "
                                          "see docs/checks.md"));
    ApplyDialogFont(this, 8);

    // A closed help window is not shown again; release it.
    connect(this, &QDialog::finished, this, &QObject::deleteLater);
}

void CCommandDlg::keyPressEvent(QKeyEvent* pEvent)
{
    // Enter that no focused button took presses the hidden default "Ok",
    // which closes the window. Qt's dialog skips a hidden default button.
    const bool bEnter = pEvent->key() == Qt::Key_Return || pEvent->key() == Qt::Key_Enter;
    if (bEnter && (pEvent->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        accept();
        return;
    }
    QDialog::keyPressEvent(pEvent);
}
