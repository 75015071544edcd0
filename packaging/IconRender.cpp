// Writes the application's icon for the hicolor icon theme, drawn by the code
// that draws the window icon: a PNG per size and the scalable SVG.
//   velkor-icon-render FOLDER NAME SIZE...
//     ->   FOLDER/SIZExSIZE/apps/NAME.png, FOLDER/scalable/apps/NAME.svg

#include "ui/CAppIcon.h"

#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// The scalable icon: the same drawing, recorded as SVG on a 256 x 256 canvas.
bool WriteSvg(const QString& strPath)
{
    constexpr int kSize = 256;
    QSaveFile file(strPath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QSvgGenerator generator;
    generator.setOutputDevice(&file);
    generator.setSize(QSize(kSize, kSize));
    generator.setViewBox(QRect(0, 0, kSize, kSize));
    generator.setResolution(96);
    generator.setTitle(QStringLiteral("Velkor"));
    QPainter painter;
    if (!painter.begin(&generator))
        return false;
    CAppIcon::Paint(painter, kSize);
    return painter.end() && file.commit();
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: velkor-icon-render FOLDER NAME SIZE...\n");
        return 1;
    }
    // Drawing needs no display, and no runtime folder but a private one.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QTemporaryDir runtimeDir;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtimeDir.isValid())
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));
    QGuiApplication application(argc, argv);
    const QString strFolder = QString::fromLocal8Bit(argv[1]);
    const QString strName = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        bool bOk = false;
        const int nSize = QByteArray(argv[i]).toInt(&bOk);
        if (!bOk || nSize < 1 || nSize > 1024) {
            std::fprintf(stderr, "velkor-icon-render: not a size: %s\n", argv[i]);
            return 1;
        }
        const QString strDir = QStringLiteral("%1/%2x%2/apps").arg(strFolder).arg(nSize);
        const QString strPath = strDir + QLatin1Char('/') + strName + QStringLiteral(".png");
        if (!QDir().mkpath(strDir) || !CAppIcon::Pixmap(nSize).save(strPath, "PNG")) {
            std::fprintf(stderr, "velkor-icon-render: cannot write %s\n", qPrintable(strPath));
            return 1;
        }
    }
    const QString strDir = strFolder + QStringLiteral("/scalable/apps");
    const QString strPath = strDir + QLatin1Char('/') + strName + QStringLiteral(".svg");
    if (!QDir().mkpath(strDir) || !WriteSvg(strPath)) {
        std::fprintf(stderr, "velkor-icon-render: cannot write %s\n", qPrintable(strPath));
        return 1;
    }
    return 0;
}
