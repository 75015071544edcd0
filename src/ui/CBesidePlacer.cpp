#include "CBesidePlacer.h"

#include "CScreenFit.h"

#include <QScreen>
#include <QWidget>
#include <QTimer>
#include <QWindow>

#include <algorithm>

CBesidePlacer::CBesidePlacer(QWidget& window) : QObject(&window), m_window(window) {}

void CBesidePlacer::ShowBeside(QWidget* pMain)
{
    if (m_window.isVisible()) {
        if (m_window.isMinimized())
            m_window.showNormal();
        m_window.raise();
        m_window.activateWindow();
        return;
    }
    m_pPlacedBeside = pMain;
    Place();
    m_bPlacing = true;
    m_nPlacingChecks = 0;
    m_window.show();
    m_window.raise();
    m_window.activateWindow();
}

void CBesidePlacer::OnShown()
{
    if (m_bPlacing)
        QTimer::singleShot(kPlacingCheckMs, this, [this] { CheckPlacement(); });
}

void CBesidePlacer::Place()
{
    QWidget* pMain = m_pPlacedBeside;
    const QScreen* pScreen = pMain ? pMain->screen() : m_window.screen();
    const QRect area = pScreen->availableGeometry();
    // The frame the desktop draws around this window; until it has, the
    // main window's is the best guess.
    m_window.winId();
    QMargins frame = CScreenFit::FrameMargins(m_window);
    if (frame.isNull() && pMain != nullptr) {
        pMain->winId();
        frame = CScreenFit::FrameMargins(*pMain);
    }
    m_placedFrame = frame;
    const QSize frameSize(frame.left() + frame.right(), frame.top() + frame.bottom());
    QRect main = pMain ? CScreenFit::FrameOf(*pMain) : QRect(area.topLeft(), QSize(0, 0));
    // The window's least size grows with what the last run put in it.
    QSize client = m_window.size().expandedTo(m_window.minimumSizeHint());
    if (pMain)
        client.setHeight(std::max(main.height() - frameSize.height(), 600));
    client = client.boundedTo(area.size() - frameSize).expandedTo(m_window.minimumSize());
    const int nLeast = m_window.minimumSizeHint().expandedTo(m_window.minimumSize()).width() + frameSize.width();
    CScreenFit* pFit = pMain ? CScreenFit::Of(*pMain) : nullptr;
    if (pFit != nullptr && main.width() + client.width() + frameSize.width() > area.width() &&
        pFit->SmallestFrameWidth() + nLeast <= area.width()) {
        // Too wide for both side by side: the main window narrows (down to
        // its smallest), then this one (down to its least), so that neither
        // covers the other.
        const int nMain = std::max(pFit->SmallestFrameWidth(), area.width() - client.width() - frameSize.width());
        client.setWidth(std::min(client.width(), area.width() - nMain - frameSize.width()));
        if (nMain < main.width()) {
            pFit->NarrowTo(nMain);
            main = CScreenFit::FrameOf(*pMain);
        }
    }
    QSize outer = client + frameSize;

    QPoint at(main.right() + 1, main.top());
    if (pMain != nullptr && main.width() + outer.width() <= area.width()) {
        // Side by side: to the right of the main window, else to its left,
        // else the main window moves over as far as the pair needs.
        if (at.x() + outer.width() > area.right() + 1) {
            if (main.left() - outer.width() >= area.left()) {
                at.setX(main.left() - outer.width());
            } else {
                // A border's width of slack: a framed window moved on some
                // desktops lands that much to the right.
                const int nMainLeft =
                    std::max(area.left(), area.right() + 1 - outer.width() - main.width() -
                                              (pMain->geometry().left() - main.left()));
                CScreenFit::MoveFrameTo(*pMain, QPoint(nMainLeft, main.top()));
                at.setX(area.right() + 1 - outer.width());
            }
        }
    } else if (pFit != nullptr && pFit->UncoveredLeft() > 0) {
        // Over the main window, leaving its run buttons (at its left) free.
        const int nFree = std::min(main.left() + pFit->UncoveredLeft() + frame.left(), area.right() + 1 - nLeast);
        outer.setWidth(std::max(nLeast, std::min(outer.width(), area.right() + 1 - nFree)));
        client.setWidth(outer.width() - frameSize.width());
        at.setX(std::max(nFree, area.right() + 1 - outer.width()));
    } else {
        at.setX(main.left());  // over the main window
    }
    // Placed by its frame's corner (the native window's own: the widget's
    // move() would count a guessed frame on top of the desktop's).
    m_window.resize(client);
    m_window.winId();
    m_placedAt = CScreenFit::PlaceInside(area, QRect(at, outer));
    m_window.windowHandle()->setFramePosition(m_placedAt);
}

void CBesidePlacer::CheckPlacement()
{
    // Placed with a guess at the frame: once the desktop has framed the
    // window, placed again with the frame it has.
    if (!m_bPlacing || !m_window.isVisible())
        return;
    const QMargins frame = CScreenFit::FrameMargins(m_window);
    if (frame.isNull()) {
        // Not framed yet; a desktop may frame it without moving it.
        if (++m_nPlacingChecks < kMostPlacingChecks)
            QTimer::singleShot(kPlacingCheckMs, this, [this] { CheckPlacement(); });
        return;
    }
    m_bPlacing = false;
    // A desktop that is slow to settle the pair can still leave this window
    // taller than the screen or out of it (its size taken while the main
    // window's frame was not yet known): placed again while it is new.
    for (int nCheck = 1; nCheck <= kSettleChecks; ++nCheck)
        QTimer::singleShot(nCheck * kSettleMs, this, [this] {
            if (m_bPlacing || !m_window.isVisible() || m_window.screen() == nullptr)
                return;
            if (m_window.screen()->availableGeometry().contains(CScreenFit::FrameOf(m_window)))
                return;
            // Put where asked but by the window, not its frame: moved by
            // its frame as the first check does; else (or placed with
            // another frame than the one it has) placed anew.
            const QMargins margins = CScreenFit::FrameMargins(m_window);
            if (!margins.isNull() && margins == m_placedFrame &&
                m_window.windowHandle()->framePosition() != m_placedAt)
                m_window.windowHandle()->setPosition(m_placedAt + QPoint(margins.left(), margins.top()));
            else
                Place();
        });
    if (frame != m_placedFrame)
        Place();
    // Some desktops put the window itself, not its frame, where its frame
    // was asked to go: the frame then sticks out above. The window itself
    // goes where the frame leaves room for it.
    else if (m_window.windowHandle()->framePosition() != m_placedAt)
        m_window.windowHandle()->setPosition(m_placedAt + QPoint(frame.left(), frame.top()));
}
