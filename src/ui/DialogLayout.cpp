#include "DialogLayout.h"

#include <algorithm>

namespace DialogLayout {

namespace {

constexpr int kIdCancel = 2;

// The bottom panel: its rows need this width, else the threshold sentence
// goes to a second row, left, under the credentials.
constexpr int kPanelWidth = 990;
constexpr int kPanelHeight = 160;
constexpr int kNarrowPanelHeight = 230;
// From this width the threshold group fits under the options group, left
// of "Close" (270 + 400 + 10 + 150 + 10).
constexpr int kTwoColumnsWidth = 840;

}  // namespace

std::vector<SPlacement> Placements(int W, int H)
{
    const bool bNarrow = W < kPanelWidth;
    // Narrow but wide enough for the threshold group under the options
    // group, clear of "Close": the panel keeps its one-row height.
    const bool bTwoColumns = bNarrow && W >= kTwoColumnsWidth;
    const int nPanelHeight = bNarrow && !bTwoColumns ? kNarrowPanelHeight : kPanelHeight;
    int a = (H - 20) / 3;  // truncated toward zero
    // The band under the log box, inside its group.
    int nLogBand = 40;
    // A client area lower than the table was made for (a small screen):
    // the two boxes give up height so that the panel, 10 px above the
    // bottom edge, stays whole. Only a minimised window is lower still.
    // The band under the log box goes first, down to 10 px, to the log.
    if (H >= kSmallestClientHeight) {
        const int nShared = (H - 150 - nPanelHeight) / 2;
        if (nShared < a) {
            nLogBand = 40 - std::min(30, a - nShared);
            a = nShared;
        }
    }
    const int nLogGain = 40 - nLogBand;
    std::vector<SPlacement> placements{
        {1008, {0, 0, W - 10, 20}},
        {1005, {10, 20, W - 20, a + 50}},
        {1006, {25, 40, W - 40, 20}},
        {1000, {25, 60, W - 45, a}},
        {1016, {10, a + 80, W - 20, a + 60}},
        {1023, {30, a + 100, 100, 20}},
        {1024, {140, a + 100, 100, 20}},
        {1001, {25, a + 130, W - 45, a - 30 + nLogGain}},
        {1017, {10, 2 * a + 140, 250, 160}},
        {1031, {25, 2 * a + 160, 70, 25}},
        {1029, {100, 2 * a + 160, 150, 25}},
        {1032, {25, 2 * a + 190, 70, 25}},
        {1030, {100, 2 * a + 190, 150, 25}},
        {1002, {25, 2 * a + 225, 100, 30}},
        {1009, {135, 2 * a + 225, 100, 30}},
        {1004, {25, 2 * a + 260, 100, 30}},
        {1003, {135, 2 * a + 260, 100, 30}},
        {1018, {270, 2 * a + 140, 300, 100}},
        {1012, {280, 2 * a + 160, 150, 30}},
        {1011, {440, 2 * a + 160, 100, 30}},
        {1014, {280, 2 * a + 200, 280, 30}},
        {kIdCancel, {W - 160, H - 40, 150, 30}},
        {1026, {580, 2 * a + 140, 400, 60}},
        {1027, {590, 2 * a + 160, 250, 30}},
        {1025, {860, 2 * a + 160, 50, 25}},
        {1028, {920, 2 * a + 160, 50, 30}},
    };
    if (bNarrow) {
        // The threshold group and its sentence: under the options group, to
        // (270, 2a + 240); else to (10, 2a + 310), the bottom of the taller
        // panel.
        for (SPlacement& placement : placements) {
            if (placement.nId == 1026 || placement.nId == 1027 || placement.nId == 1025 || placement.nId == 1028)
                placement.rect.translate(bTwoColumns ? QPoint(270 - 580, 100) : QPoint(10 - 580, kNarrowPanelHeight - 60));
        }
    }
    return placements;
}

std::vector<int> PlacingOrder()
{
    std::vector<int> ids;
    for (const SPlacement& placement : Placements(0, 0))
        ids.push_back(placement.nId);
    return ids;
}

}  // namespace DialogLayout
