// Prints a hash of what the X screen shows in a rectangle, for the
// real-window tests to tell whether a part of a window changed.
//   region_hash X Y WIDTH HEIGHT [PICTURE.png]   (the picture for a look)
#include <QCryptographicHash>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char* argv[])
{
    QGuiApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    bool bOk = args.size() == 5 || args.size() == 6;
    int values[4] = {};
    for (int i = 0; bOk && i < 4; ++i)
        values[i] = args[i + 1].toInt(&bOk);
    if (!bOk || values[2] <= 0 || values[3] <= 0) {
        std::fprintf(stderr, "usage: region_hash X Y WIDTH HEIGHT [PICTURE.png]\n");
        return 2;
    }
    const QImage image = QGuiApplication::primaryScreen()
                             ->grabWindow(0, values[0], values[1], values[2], values[3])
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);
    if (image.isNull()) {
        std::fprintf(stderr, "region_hash: the screen gave no picture\n");
        return 1;
    }
    if (args.size() == 6 && !image.save(args[5], "PNG")) {
        std::fprintf(stderr, "region_hash: cannot write %s\n", qPrintable(args[5]));
        return 1;
    }
    QCryptographicHash hash(QCryptographicHash::Md5);
    for (int y = 0; y < image.height(); ++y)
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(image.constScanLine(y)), image.width() * 4));
    std::printf("%s\n", hash.result().toHex().constData());
    return 0;
}
