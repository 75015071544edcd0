#pragma once

#include <QIcon>
#include <QPixmap>

class QPainter;

// The application's icon, drawn at run time (no image files to ship). The
// installed icons (PNGs and the scalable SVG) are drawn by Paint too.
class CAppIcon {
public:
    // Draws the icon into the square (0, 0, rSize, rSize) of the painter.
    static void Paint(QPainter& painter, qreal rSize);
    static QPixmap Pixmap(int nSize);
    static QIcon Icon();
};
