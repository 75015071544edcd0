// Entry point of the window tests: an offscreen QApplication unless a
// platform is chosen, and a private runtime folder so Qt stays quiet.
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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // QTemporaryDir makes the folder readable by its owner only (0700).
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));
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
