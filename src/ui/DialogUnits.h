#pragma once

#include <QRect>

// Dialog units of a dialog template in pixels, for a shell font whose
// average character is nBaseX pixels wide and nBaseY pixels high.
inline QRect DialogUnitsToPixels(int nX, int nY, int nWidth, int nHeight, int nBaseX, int nBaseY)
{
    return QRect(nX * nBaseX / 4, nY * nBaseY / 8, nWidth * nBaseX / 4, nHeight * nBaseY / 8);
}
