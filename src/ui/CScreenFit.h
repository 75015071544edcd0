#pragma once

#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <memory>

class QWidget;

// Keeps a window on its screen: on a screen's available area (frame
// included) smaller than the window, the client area's lower limit becomes
// what the area leaves, and a window larger than the area shrinks to it and
// moves into it. The client area's minimum size is the window's limit.
class CScreenFit {
public:
    // fullClient: the client area the window cannot go below where the
    // screen has room; smallestClient: the least it may go to on a screen
    // that has not.
    CScreenFit(QWidget& window, QWidget& client, QSize fullClient, QSize smallestClient);
    ~CScreenFit();

    void FitToArea(const QRect& area);
    // The fit of window, when it has one (the main window's).
    static CScreenFit* Of(const QWidget& window);
    // Makes room beside the window: its width (frame included) goes down to
    // nFrameWidth, but not below what its smallest client area needs. The
    // window keeps the lower limit until it is fitted to a screen again.
    void NarrowTo(int nFrameWidth);
    // The least width (frame included) NarrowTo can give the window.
    int SmallestFrameWidth() const;
    // The part of the window, from its left edge, that a window placed over
    // it should leave uncovered (its run buttons); 0: none.
    void SetUncoveredLeft(int nWidth) { m_nUncoveredLeft = nWidth; }
    int UncoveredLeft() const { return m_nUncoveredLeft; }
    void FitToCurrentScreen();
    // From the window's showEvent and moveEvent, after its base class.
    void OnShown();
    void OnMoved();

    // The client area's lower limit on area, with around the size the
    // window adds around its client area (menu bar and frame).
    static QSize ClientLimit(QSize area, QSize around, QSize fullClient, QSize smallestClient);
    // Where a window shown at frame goes so that it lies in area, moved as
    // little as it can be (its top left stays in the area).
    static QPoint PlaceInside(const QRect& area, const QRect& frame);
    // The frame the desktop has drawn around window; null until it has.
    // A window the desktop has not framed yet can report a frame made of
    // its own old and new sizes (no border, a negative right and bottom):
    // that is no frame either.
    static QMargins FrameMargins(const QWidget& window);
    // The size window's frame adds around it: the desktop's once it has
    // framed the window, before that an estimate from the style.
    static QSize FrameSize(const QWidget& window);
    // The window's frame on the screen, as the desktop has drawn it.
    static QRect FrameOf(QWidget& window);
    // Moves the window so that its frame's corner is at framePosition. A
    // framed window is moved by its own corner, framed by the frame it has:
    // some desktops (openbox) take a frame's corner asked for as the
    // window's own, which would put the frame out of place by its title bar.
    static void MoveFrameTo(QWidget& window, QPoint framePosition);

private:
    QWidget& m_window;
    QWidget& m_client;
    QSize m_fullClient;
    QSize m_smallestClient;
    int m_nUncoveredLeft = 0;
    QSize m_frameSize;  // frame around the window when last fitted to its screen
    // The window's move to another screen; it ends with this object, which
    // goes before the window does.
    QMetaObject::Connection m_screenWatch;
    bool m_bScreenWatched = false;
    // Fitted once more when the desktop has first framed the shown window
    // (it may not move it then); the checks until it has end with this
    // object.
    void CheckFramed();
    bool m_bFramedFit = false;
    int m_nFrameChecks = 0;
    std::unique_ptr<QObject> m_pChecks;
};
