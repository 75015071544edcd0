#pragma once

#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QPointer>

class QWidget;

// Shows a window of its own (the results window, the Devices window) beside
// the main window, inside the screen's available area with the frames the
// desktop draws counted: to the main window's right when both fit, else to
// its left, else the main window moves over as far as the pair needs. When
// the two are too wide for the area, the main window narrows (down to the
// smallest its CScreenFit allows) and then this one (down to its least
// width); over the main window only when even that does not fit, and then
// right of the part of it that its CScreenFit keeps uncovered (the run
// buttons). Placed by the
// frame's corner, then, once the desktop has framed the window, placed again
// by the frame it has (some desktops put the window itself where its frame
// was asked to go). The window calls OnMoved() and OnShown() from its
// moveEvent and showEvent.
class CBesidePlacer : public QObject {
public:
    explicit CBesidePlacer(QWidget& window);

    // Shows, raises and activates the window; placed when it was hidden.
    void ShowBeside(QWidget* pMain);
    void OnMoved() { CheckPlacement(); }
    void OnShown();

private:
    void Place();
    void CheckPlacement();

    static constexpr int kPlacingCheckMs = 50;
    static constexpr int kMostPlacingChecks = 60;
    static constexpr int kSettleMs = 250;
    static constexpr int kSettleChecks = 8;

    QWidget& m_window;
    QPointer<QWidget> m_pPlacedBeside;
    QMargins m_placedFrame;    // the frame Place() counted
    QPoint m_placedAt;         // where Place() put the frame's corner
    bool m_bPlacing = false;   // shown, not yet framed
    int m_nPlacingChecks = 0;
};
