#include "CScreenFit.h"

#include <QGuiApplication>
#include <QHash>
#include <QLayout>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace {

// The windows' fits; window thread only.
QHash<const QWidget*, CScreenFit*>& Fits()
{
    static QHash<const QWidget*, CScreenFit*> fits;
    return fits;
}

}  // namespace

CScreenFit::CScreenFit(QWidget& window, QWidget& client, QSize fullClient, QSize smallestClient)
    : m_window(window), m_client(client), m_fullClient(fullClient), m_smallestClient(smallestClient),
      m_pChecks(std::make_unique<QObject>())
{
    Fits().insert(&m_window, this);
}

CScreenFit::~CScreenFit()
{
    QObject::disconnect(m_screenWatch);
    Fits().remove(&m_window);
}

CScreenFit* CScreenFit::Of(const QWidget& window) { return Fits().value(&window, nullptr); }

int CScreenFit::SmallestFrameWidth() const
{
    return m_smallestClient.width() + (m_window.minimumSizeHint().width() - m_client.minimumWidth()) +
           FrameSize(m_window).width();
}

void CScreenFit::NarrowTo(int nFrameWidth)
{
    // What the window adds to its client area's width, its frame apart.
    const int nAround = m_window.minimumSizeHint().width() - m_client.minimumWidth();
    const int nClient = std::max(m_smallestClient.width(), nFrameWidth - nAround - FrameSize(m_window).width());
    if (nClient >= m_client.width())
        return;
    m_client.setMinimumWidth(std::min(m_client.minimumWidth(), nClient));
    m_window.layout()->activate();
    m_window.resize(nClient + nAround, m_window.height());
}

QSize CScreenFit::ClientLimit(QSize area, QSize around, QSize fullClient, QSize smallestClient)
{
    return (area - around).boundedTo(fullClient).expandedTo(smallestClient);
}

QPoint CScreenFit::PlaceInside(const QRect& area, const QRect& frame)
{
    return {std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width())),
            std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height()))};
}

void CScreenFit::FitToArea(const QRect& area)
{
    // What the window adds around the client area: the menu bar, and the
    // frame the desktop puts around the window (until it has, the size the
    // style gives a title bar and border).
    const QSize frame = FrameSize(m_window);
    const QSize around = m_window.minimumSizeHint() - m_client.minimumSize() + frame;
    m_frameSize = frame;
    m_client.setMinimumSize(ClientLimit(area.size(), around, m_fullClient, m_smallestClient));
    m_window.layout()->activate();  // the window's own minimum follows at once
    const QSize largest = area.size() - frame;
    if (m_window.width() > largest.width() || m_window.height() > largest.height())
        m_window.resize(m_window.size().boundedTo(largest).expandedTo(m_window.minimumSizeHint()));
    if (m_window.isVisible() && !area.contains(FrameOf(m_window)))
        MoveFrameTo(m_window, PlaceInside(area, FrameOf(m_window)));
}

QMargins CScreenFit::FrameMargins(const QWidget& window)
{
    const QWindow* pHandle = window.windowHandle();
    if (pHandle == nullptr)
        return {};
    const QMargins frame = pHandle->frameMargins();
    if (frame.left() < 0 || frame.top() < 0 || frame.right() < 0 || frame.bottom() < 0)
        return {};
    return frame;
}

QRect CScreenFit::FrameOf(QWidget& window)
{
    return FrameMargins(window).isNull() ? window.geometry() : window.windowHandle()->frameGeometry();
}

void CScreenFit::MoveFrameTo(QWidget& window, QPoint framePosition)
{
    QWindow* pHandle = window.windowHandle();
    const QMargins frame = FrameMargins(window);
    if (pHandle != nullptr && !frame.isNull())
        pHandle->setPosition(framePosition + QPoint(frame.left(), frame.top()));
    else
        window.move(framePosition);
}

QSize CScreenFit::FrameSize(const QWidget& window)
{
    const QMargins margins = FrameMargins(window);
    const QSize frame(margins.left() + margins.right(), margins.top() + margins.bottom());
    // Platforms without a window manager (offscreen) never frame a window.
    if (!margins.isNull() || QGuiApplication::platformName() == QLatin1String("offscreen"))
        return frame;
    const int nBorder = window.style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, &window);
    return {2 * nBorder, window.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &window) + 2 * nBorder};
}

void CScreenFit::FitToCurrentScreen()
{
    if (QScreen* pScreen = m_window.screen())
        FitToArea(pScreen->availableGeometry());
}

void CScreenFit::OnShown()
{
    if (!m_bScreenWatched && m_window.windowHandle() != nullptr) {
        m_bScreenWatched = true;
        m_screenWatch = QObject::connect(m_window.windowHandle(), &QWindow::screenChanged, &m_window,
                                         [this] { FitToCurrentScreen(); });
    }
    FitToCurrentScreen();
    CheckFramed();
}

void CScreenFit::CheckFramed()
{
    constexpr int kCheckMs = 50;
    constexpr int kMostChecks = 60;
    constexpr int kSettleMs = 250;
    constexpr int kSettleChecks = 8;
    const QWindow* pHandle = m_window.windowHandle();
    if (m_bFramedFit || pHandle == nullptr || !m_window.isVisible() ||
        QGuiApplication::platformName() == QLatin1String("offscreen"))
        return;
    if (FrameMargins(m_window).isNull()) {
        if (++m_nFrameChecks < kMostChecks)
            QTimer::singleShot(kCheckMs, m_pChecks.get(), [this] { CheckFramed(); });
        return;
    }
    m_bFramedFit = true;
    FitToCurrentScreen();
    // A desktop that is slow to settle a new window can still put its frame
    // where the fit did not ask (its title bar above the screen): look again
    // a few times while the window is new.
    for (int nCheck = 1; nCheck <= kSettleChecks; ++nCheck)
        QTimer::singleShot(nCheck * kSettleMs, m_pChecks.get(), [this] {
            if (!m_window.isVisible())
                return;
            if (const QScreen* pScreen = m_window.screen();
                pScreen != nullptr && !pScreen->availableGeometry().contains(FrameOf(m_window)))
                FitToCurrentScreen();
        });
}

void CScreenFit::OnMoved()
{
    // Some desktops frame a window only after showing it; fit it again once
    // the frame is known.
    if (m_window.isVisible() && FrameSize(m_window) != m_frameSize)
        FitToCurrentScreen();
}
