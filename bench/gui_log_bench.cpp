// Log box throughput: a worker writes N log lines through the window's log
// writer as fast as it can while the window's event loop runs; reports lines
// per second until the last line is in the box, the longest stall of the
// event loop, and the process's peak resident size.
//
//   gui_log_bench [lines]          (default 200000; offscreen unless
//                                   QT_QPA_PLATFORM is set)
#include "log/CLogWriter.h"
#include "ui/CVelkorDlg.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QTemporaryDir runtimeDir(QDir::tempPath() + QStringLiteral("/velkor-bench-XXXXXX"));
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));
    QApplication application(argc, argv);
    const int nLines = argc > 1 ? std::atoi(argv[1]) : 200000;

    CVelkorDlg dlg;
    dlg.show();
    QCoreApplication::processEvents();

    // A 10 ms timer measures how long the event loop is kept from turning.
    QElapsedTimer tick;
    qint64 nLongestStallMs = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        nLongestStallMs = std::max(nLongestStallMs, tick.restart());
    });

    QElapsedTimer timer;
    timer.start();
    tick.start();
    heartbeat.start(10);
    std::thread worker([&] {
        CLogWriter& log = dlg.LogWriter();
        for (int i = 0; i < nLines; ++i)
            log.WriteLog(QStringLiteral("[SEND] http://127.0.0.1:8080/httpapi/SendPTZ?action=sendptz&line=%1").arg(i));
    });
    // Done when the last line is in the box (the text limit may have emptied
    // the box on the way, so its line count alone does not tell).
    const ITextBox& box = dlg.LogBox();
    const QString strLastLine = QStringLiteral("line=%1").arg(nLines - 1);
    auto LastLineShown = [&] {
        QString strLine;
        box.GetLine(box.GetLineCount() - 2, strLine, 2048);
        return strLine.endsWith(strLastLine);
    };
    while (!LastLineShown())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const qint64 nMs = std::max<qint64>(1, timer.elapsed());
    worker.join();
    heartbeat.stop();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("lines: %d\nelapsed: %lld ms\nlines/s: %lld\nlongest event-loop stall: %lld ms\npeak RSS: %ld MiB\n",
                nLines, static_cast<long long>(nMs), static_cast<long long>(nLines * 1000LL / nMs),
                static_cast<long long>(nLongestStallMs), usage.ru_maxrss / 1024);
    std::printf("lines in the box at the end: %d (limit %d characters)\n", box.GetLineCount() - 1, box.GetLimitText());
    return 0;
}
