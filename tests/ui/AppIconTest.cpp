// The installed scalable icon is the picture the window icon and the about
// box show: rendered, it matches CAppIcon's drawing.
#include "ui/CAppIcon.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdlib>

namespace {

QImage RenderSvg(QSvgRenderer& renderer, int nSize)
{
    QImage image(nSize, nSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, nSize, nSize));
    return image;
}

// The largest difference of one colour or alpha channel between the images.
int LargestChannelDifference(const QImage& a, const QImage& b)
{
    int nLargest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            nLargest = std::max({nLargest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                 std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    }
    return nLargest;
}

}  // namespace

TEST(AppIcon, TheScalableIconIsTheWindowIconsPicture)
{
    // The SVG's canvas is 256 px; at that size the two must agree (smaller
    // sizes differ at the edges by the drawing's half-pixel inset).
    QSvgRenderer renderer(QStringLiteral(VELKOR_SCALABLE_ICON));
    ASSERT_TRUE(renderer.isValid()) << VELKOR_SCALABLE_ICON;
    ASSERT_EQ(renderer.viewBox(), QRect(0, 0, 256, 256));
    const QImage drawn = CAppIcon::Pixmap(256).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // Edge pixels may differ by rounding in the antialiasing, nothing more.
    EXPECT_LE(LargestChannelDifference(RenderSvg(renderer, 256), drawn), 8);
}
