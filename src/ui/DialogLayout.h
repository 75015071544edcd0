#pragma once

#include <QRect>

#include <vector>

// Where the main window's controls go on its client area (below the menu
// bar), in pixels, as a function of the client area's size only. A control
// is named by its dialog id (1002 is "Send", 2 is "Close").
namespace DialogLayout {

// Client area size that the window opens with and cannot go below (the
// client area of a 1024 x 950 frame), unless the screen is smaller.
constexpr int kMinClientWidth = 1008;
constexpr int kMinClientHeight = 912;
// The smallest client area that still shows every control whole: the
// window's lower limit on a screen smaller than the window.
constexpr int kSmallestClientWidth = 580;
constexpr int kSmallestClientHeight = 440;

struct SPlacement {
    int nId;
    QRect rect;
};

// Where each control goes on a client area of nWidth x nHeight, in placing
// order. On an area under 20 pixels high some sizes are negative.
std::vector<SPlacement> Placements(int nWidth, int nHeight);

// The control ids in placing order, whatever the size.
std::vector<int> PlacingOrder();

}  // namespace DialogLayout
