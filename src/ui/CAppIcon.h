#pragma once

#include <QIcon>
#include <QPixmap>

// The application's icon, drawn at run time (no image files to ship).
class CAppIcon {
public:
    static QPixmap Pixmap(int nSize);
    static QIcon Icon();
};
