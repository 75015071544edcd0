#include "CLogFindBar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>

#include <algorithm>

namespace {

// Left of this the radio buttons stand (they end at x = 240).
constexpr int kLeftmost = 250;
constexpr int kHeight = 26;

}  // namespace

CLogFindBar::CLogFindBar(QWidget* pClient, QPlainTextEdit* pLog) : QWidget(pClient), m_pLog(pLog)
{
    setObjectName(QStringLiteral("findBar"));
    hide();
}

void CLogFindBar::Build()
{
    // Built when first opened: until then the window has no captions of the
    // bar's to fit its font to.
    if (m_pText != nullptr)
        return;
    m_pText = new QLineEdit(this);
    m_pText->setObjectName(QStringLiteral("findText"));
    m_pText->setPlaceholderText(QStringLiteral("Find in the log"));
    m_pText->installEventFilter(this);
    m_pNext = new QPushButton(QStringLiteral("Next"), this);
    m_pNext->setObjectName(QStringLiteral("findNext"));
    m_pNext->setToolTip(QStringLiteral("Next match (Enter)"));
    m_pPrevious = new QPushButton(QStringLiteral("Previous"), this);
    m_pPrevious->setObjectName(QStringLiteral("findPrevious"));
    m_pPrevious->setToolTip(QStringLiteral("Match before (Shift+Enter)"));
    m_pMatchCase = new QCheckBox(QStringLiteral("Match case"), this);
    m_pMatchCase->setObjectName(QStringLiteral("findMatchCase"));
    m_pStatus = new QLabel(this);
    m_pStatus->setObjectName(QStringLiteral("findStatus"));
    auto* pClose = new QPushButton(QStringLiteral("x"), this);
    pClose->setObjectName(QStringLiteral("findClose"));
    pClose->setToolTip(QStringLiteral("Close (Escape)"));
    pClose->setFixedWidth(24);
    for (QPushButton* pButton : {m_pNext, m_pPrevious, pClose}) {
        pButton->setAutoDefault(false);
        pButton->setFocusPolicy(Qt::NoFocus);
    }
    auto* pLayout = new QHBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->setSpacing(4);
    pLayout->addWidget(m_pStatus);
    pLayout->addWidget(m_pText, 1);
    pLayout->addWidget(m_pNext);
    pLayout->addWidget(m_pPrevious);
    pLayout->addWidget(m_pMatchCase);
    pLayout->addWidget(pClose);
    connect(m_pNext, &QPushButton::clicked, this, [this] { Find(true); });
    connect(m_pPrevious, &QPushButton::clicked, this, [this] { Find(false); });
    connect(pClose, &QPushButton::clicked, this, [this] { Close(); });
}

void CLogFindBar::Open()
{
    Build();
    Reposition();
    show();
    raise();
    m_pText->setFocus(Qt::ShortcutFocusReason);
    m_pText->selectAll();
}

void CLogFindBar::Reposition()
{
    if (m_pText == nullptr)
        return;
    const QRect log = m_pLog->geometry();
    const int nRight = log.right();
    const int nWidth = std::min(sizeHint().width() + 120, std::max(0, nRight + 1 - kLeftmost));
    setGeometry(nRight + 1 - nWidth, log.top() - kHeight - 2, nWidth, kHeight);
    raise();
}

void CLogFindBar::Close()
{
    hide();
    m_pLog->setExtraSelections({});
}

QString CLogFindBar::Status() const { return m_pStatus != nullptr ? m_pStatus->text() : QString(); }

bool CLogFindBar::Find(bool bForward)
{
    Build();
    const QString strText = m_pText->text();
    m_pStatus->clear();
    if (strText.isEmpty())
        return false;
    QTextDocument::FindFlags flags;
    if (!bForward)
        flags |= QTextDocument::FindBackward;
    if (m_pMatchCase->isChecked())
        flags |= QTextDocument::FindCaseSensitively;
    QTextDocument* pDocument = m_pLog->document();
    // From the selection, the last match: forward after it, backward before it.
    QTextCursor found = pDocument->find(strText, m_pLog->textCursor(), flags);
    if (found.isNull()) {
        QTextCursor from(pDocument);
        from.movePosition(bForward ? QTextCursor::Start : QTextCursor::End);
        found = pDocument->find(strText, from, flags);
        if (found.isNull()) {
            m_pStatus->setText(QStringLiteral("Not found"));
            return false;
        }
        m_pStatus->setText(bForward ? QStringLiteral("From the start") : QStringLiteral("From the end"));
    }
    m_pLog->setTextCursor(found);
    m_pLog->ensureCursorVisible();
    // A disabled log box ("Click Disable") draws no selection: the match is
    // marked as well.
    QTextEdit::ExtraSelection mark;
    mark.cursor = found;
    mark.format.setBackground(QColor(255, 220, 0));
    m_pLog->setExtraSelections({mark});
    return true;
}

bool CLogFindBar::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pWatched == m_pText && pEvent->type() == QEvent::KeyPress) {
        const auto* pKey = static_cast<QKeyEvent*>(pEvent);
        if (pKey->key() == Qt::Key_Return || pKey->key() == Qt::Key_Enter) {
            Find(!(pKey->modifiers() & Qt::ShiftModifier));
            return true;
        }
        if (pKey->key() == Qt::Key_Escape) {
            Close();
            return true;
        }
    }
    return QWidget::eventFilter(pWatched, pEvent);
}
