#include "CAppIcon.h"

#include <QPainter>
#include <QPainterPath>

void CAppIcon::Paint(QPainter& painter, qreal rSize)
{
    const qreal s = rSize;
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1f, 0x4e, 0x8c));
    painter.drawRoundedRect(QRectF(0.5, 0.5, s - 1, s - 1), s * 0.18, s * 0.18);
    // A "V" drawn as a thick stroke.
    QPainterPath path;
    path.moveTo(s * 0.22, s * 0.24);
    path.lineTo(s * 0.50, s * 0.78);
    path.lineTo(s * 0.78, s * 0.24);
    painter.setPen(QPen(Qt::white, s * 0.13, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    painter.restore();
}

QPixmap CAppIcon::Pixmap(int nSize)
{
    QPixmap pixmap(nSize, nSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    Paint(painter, nSize);
    return pixmap;
}

QIcon CAppIcon::Icon()
{
    QIcon icon;
    for (int nSize : {16, 32, 48})
        icon.addPixmap(Pixmap(nSize));
    return icon;
}
