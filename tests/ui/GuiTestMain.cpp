// Entry point of the window tests: an offscreen QApplication unless a
// platform is chosen, and a private runtime folder so Qt stays quiet. The
// offscreen screen is a desktop's 1920 x 1200 (its own default, 800 x 800,
// is smaller than the window); tests of smaller screens say so themselves.
#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

void PrepareEnvironment(const QTemporaryDir& runtimeDir)
{
    // QTemporaryDir makes the folder readable by its owner only (0700).
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && platform != "offscreen")
        return;
    const QString strConfig = runtimeDir.filePath(QStringLiteral("screen.json"));
    QFile config(strConfig);
    if (config.open(QIODevice::WriteOnly))
        config.write(R"({"screens": [{"name": "desktop", "x": 0, "y": 0, "width": 1920, "height": 1200,
                         "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    config.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(strConfig));
}

// The offscreen platform warns about every window it cannot size by hints;
// that says nothing about the code under test.
void FilterMessages(QtMsgType eType, const QMessageLogContext& context, const QString& strMessage)
{
    if (strMessage.contains(QLatin1String("does not support propagateSizeHints")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(eType, context, strMessage)));
}

}  // namespace

int main(int argc, char* argv[])
{
    const QTemporaryDir runtimeDir(QDir::tempPath() + QStringLiteral("/velkor-gui-test-XXXXXX"));
    PrepareEnvironment(runtimeDir);
    ::testing::InitGoogleTest(&argc, argv);
    qInstallMessageHandler(FilterMessages);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velkor"));
    return RUN_ALL_TESTS();
}
