#include "CVelkorApp.h"
#include "VelkorVersion.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

#include <memory>
#include <string_view>

namespace {

constexpr int kExitUsage = 1;

// --help and --version need no window, so they also work without a display.
// (--help-all lists the window system's options too, so it starts the GUI.)
bool AsksForTextOnly(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (arg == "--" || arg == "--help-all")
            break;
        if (arg == "-h" || arg == "-?" || arg == "--help" || arg == "-v" || arg == "--version")
            return true;
    }
    return false;
}

void SetUpParser(QCommandLineParser& parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Velkor: runs scripts of HTTP commands against network devices in a window.\n\n"
        "FILE, a command file (.cmf), is loaded into the command box at start-up as\n"
        "\"File\" > \"Load command\" would; a file that cannot be read is reported in a\n"
        "message box. A saved JSON report (.json, of velkor-cli or \"Save results as...\")\n"
        "is opened in the results window as \"File\" > \"Open results...\" would.\n\n"
        "Exit codes: 0 the window was closed, 1 usage error or the socket layer did not start."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("The command file to load (.cmf), or a JSON report to open (.json)."),
                                 QStringLiteral("[FILE]"));
}

}  // namespace

int main(int argc, char* argv[])
{
    // The desktop entry's name, so that a desktop shows the entry's icon for the window.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.velkor.Velkor"));
    std::unique_ptr<QCoreApplication> application;
    if (AsksForTextOnly(argc, argv))
        application = std::make_unique<QCoreApplication>(argc, argv);
    else
        application = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Velkor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELKOR_VERSION));

    QCommandLineParser parser;
    SetUpParser(parser);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (!parser.parse(QCoreApplication::arguments())) {
        err << "velkor: " << parser.errorText() << "\nTry 'velkor --help'." << Qt::endl;
        return kExitUsage;
    }
    if (parser.isSet(QStringLiteral("help-all")))
        parser.process(QCoreApplication::arguments());  // prints the help with Qt's options and exits
    if (parser.isSet(QStringLiteral("help"))) {
        out << parser.helpText();
        out.flush();
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        out << "velkor " << VELKOR_VERSION << Qt::endl;
        return 0;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        err << "velkor: expected at most one FILE\nTry 'velkor --help'." << Qt::endl;
        return kExitUsage;
    }

    CVelkorApp velkorApp;
    if (!files.isEmpty())
        velkorApp.SetCommandFile(files.front());
    return velkorApp.InitInstance();
}
