#include "CLogFindBar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTextDocument>

#include <algorithm>

namespace {

// Left of this the radio buttons stand (they end at x = 240).
constexpr int kLeftmost = 250;
constexpr int kHeight = 26;
// What the text box gets beyond its least width.
constexpr int kRoomForText = 120;

}  // namespace

CLogFindBar::CLogFindBar(QWidget* pClient, QPlainTextEdit* pLog) : QWidget(pClient), m_pLog(pLog)
{
    setObjectName(QStringLiteral("findBar"));
    // Over the log box on a narrow window: the box's text must not show through.
    setAutoFillBackground(true);
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
    const int nWanted = sizeHint().width() + kRoomForText;
    const int nBand = std::max(0, nRight + 1 - kLeftmost);
    if (nBand >= nWanted) {
        setGeometry(nRight + 1 - nWanted, log.top() - kHeight - 2, nWanted, kHeight);
    } else {
        // A narrow window: over the log box's top right corner instead,
        // clear of its scroll bar, for as long as the bar is open.
        const int nScrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4;
        const int nWidth = std::min(nWanted, std::max(0, log.width() - nScrollBar - 4));
        setGeometry(nRight + 1 - nScrollBar - nWidth, log.top() + 2, nWidth, kHeight);
    }
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
    // Over the log box, the bar would hide a match on the box's top lines.
    if (geometry().intersects(m_pLog->geometry()) && m_pLog->cursorRect().top() < kHeight + 4) {
        QScrollBar* pScroll = m_pLog->verticalScrollBar();
        pScroll->setValue(pScroll->value() - 2);
    }
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
