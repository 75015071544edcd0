// velkor-devsim: a simulated PTZ device for demos and tests. See --help.

#include "Authenticator.h"
#include "DeviceLoop.h"
#include "DeviceServer.h"
#include "VelkorVersion.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int kUsageError = 1;
constexpr int kListenError = 2;
// --devices: at most this many, on 127.0.1.1 and the addresses after it
// (the last is 127.0.40.16).
constexpr int kMaxDevices = 10000;
constexpr int kMaxThreads = 256;
// Open files the process needs besides one listening socket per device and
// one per event loop: the standard streams, the signal pipe, ...
constexpr rlim_t kReservedFiles = 16;
constexpr quint32 kFirstDeviceAddress = 0x7F000101; // 127.0.1.1
// With --port 0, how often a set of devices tries for a port free on all
// their addresses.
constexpr int kPortAttempts = 20;

int Fail(int code, const QString& text)
{
    std::fprintf(stderr, "velkor-devsim: %s\n", text.toLocal8Bit().constData());
    return code;
}

int g_signalPipe[2] = {-1, -1};

void OnStopSignal(int)
{
    const char byte = 1;
    // Nothing else is safe here; the event loop picks the byte up.
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM end the event loop, so the device shuts down through
// its destructors rather than being cut off.
bool QuitOnStopSignals(QCoreApplication& app)
{
    if (::pipe(g_signalPipe) != 0)
        return false;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
}

int DefaultThreads()
{
    return std::clamp(QThread::idealThreadCount(), 1, kMaxThreads);
}

bool ReadInt(const QString& text, int low, int high, int& value)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok && value >= low && value <= high;
}

// "--tls CERT KEY" takes two values, which the command line parser cannot
// express; it is taken out of the arguments before they are parsed. False
// when it is incomplete or repeated.
bool TakeTlsOption(QStringList& args, QStringList& files)
{
    for (qsizetype i = 1; i < args.size() && args[i] != QLatin1String("--"); ++i) {
        if (args[i] != QLatin1String("--tls"))
            continue;
        if (!files.isEmpty() || i + 2 >= args.size())
            return false;
        files = args.mid(i + 1, 2);
        args.remove(i, 3);
        --i;
    }
    return true;
}

// Raises the soft limit of open files to the hard one (each device listens on
// a socket of its own, and each client connection is one more) and returns
// the limit in force.
rlim_t RaiseOpenFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    if (limit.rlim_cur != limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return limit.rlim_cur;
}

// Starts one device per options, all on one port, spread over at most
// threads event loops (device i on loop i modulo their number). With port 0
// the first device picks it and the others take the same; when one of them
// cannot have it, all try again with another. Empty, with the reason in
// error, on failure.
std::vector<std::unique_ptr<devsim::DeviceLoop>> StartDevices(
    const std::vector<devsim::ServerOptions>& devices, int threads, QString& error)
{
    const std::size_t loopCount = std::min(devices.size(), std::size_t(threads));
    const int attempts = devices.front().port == 0 && devices.size() > 1 ? kPortAttempts : 1;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        std::vector<std::vector<devsim::ServerOptions>> shares(loopCount);
        for (std::size_t i = 0; i < devices.size(); ++i)
            shares[i % loopCount].push_back(devices[i]);
        // The first loop holds the first device: it learns the port the
        // others take, then they all start at once.
        std::vector<std::unique_ptr<devsim::DeviceLoop>> loops;
        loops.push_back(std::make_unique<devsim::DeviceLoop>(std::move(shares[0]), false));
        if (!loops.front()->Launch(error))
            continue;
        const quint16 port = loops.front()->port();
        for (std::size_t i = 1; i < loopCount; ++i) {
            for (devsim::ServerOptions& device : shares[i])
                device.port = port;
            loops.push_back(std::make_unique<devsim::DeviceLoop>(std::move(shares[i]), true));
        }
        bool listening = true;
        for (std::size_t i = 1; i < loopCount; ++i) {
            QString loopError;
            if (!loops[i]->Launch(loopError) && listening) {
                listening = false;
                error = loopError;
            }
        }
        if (listening)
            return loops;
    }
    return {};
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velkor-devsim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELKOR_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated PTZ device for Velkor. Serves HTTP/1.1 GET on a loopback address.\n"
        "With --tls it serves HTTPS (TLS 1.2 or newer) instead.\n"
        "\n"
        "The first line on standard output is \"listening ADDRESS:PORT\".\n"
        "\n"
        "Requests (all under /httpapi/):\n"
        "  SendPTZ?action=sendptz&PTZ_GETPOSITION=0    -> \"pan=P tilt=T zoom=Z\"\n"
        "  SendPTZ?action=sendptz&PTZ_MOVE=DIR[,N]     -> \"OK\"; DIR is left, right, up, down,\n"
        "                                                 zoomin, zoomout, home or stop; N steps\n"
        "                                                 (default 1). Limits: pan -180..180,\n"
        "                                                 tilt -90..90, zoom 1..40.\n"
        "  SendPTZ?action=sendptz&PTZ_PRESETSET=N      -> \"OK\" (N 1..255)\n"
        "  SendPTZ?action=sendptz&PTZ_PRESETGOTO=N     -> \"OK\", 404 when preset N is not set\n"
        "  SendReboot?action=reboot                    -> \"OK rebooting\"; then the device closes\n"
        "                                                 every connection, stops listening for\n"
        "                                                 --reboot-seconds and comes back on the\n"
        "                                                 same port at its home position.\n"
        "  any other path under /httpapi/              -> \"OK\"\n"
        "Other paths get 404, other methods 405, unreadable requests 400 (and a close).\n"
        "Bodies are text/plain and end with an empty line (CR LF CR LF)."));
    parser.addHelpOption();
    parser.addVersionOption();

    const QCommandLineOption bindOption(QStringLiteral("bind"),
        QStringLiteral("Loopback address to listen on (default 127.0.0.1). Others are refused."),
        QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOption(QStringLiteral("port"),
        QStringLiteral("TCP port; 0 picks a free one (default 0)."), QStringLiteral("N"),
        QStringLiteral("0"));
    const QCommandLineOption portFileOption(QStringLiteral("port-file"),
        QStringLiteral("Also write the port, on one line, to this file."), QStringLiteral("path"));
    const QCommandLineOption authOption(QStringLiteral("auth"),
        QStringLiteral("Authentication: none, basic or digest (MD5, qop=auth) (default none)."),
        QStringLiteral("mode"), QStringLiteral("none"));
    const QCommandLineOption digestAlgorithmOption(QStringLiteral("digest-algorithm"),
        QStringLiteral("Digest algorithm offered with --auth digest: MD5, SHA-256 or SHA-512-256, "
                       "each also as -sess; a comma-separated list such as MD5,SHA-256 sends one "
                       "challenge per algorithm, in that order, and accepts an answer to any "
                       "(default MD5)."),
        QStringLiteral("algorithm"), QStringLiteral("MD5"));
    // Only for the help text: TakeTlsOption() reads it.
    const QCommandLineOption tlsOption(QStringLiteral("tls"),
        QStringLiteral("Serve HTTPS (TLS 1.2 or newer) instead of HTTP, with this PEM certificate "
                       "(chain) file and this unencrypted PEM private key file (RSA, EC or DSA). "
                       "Clients that fail the handshake are dropped (logged with --verbose)."),
        QStringLiteral("cert> <key"));
    const QCommandLineOption userOption(QStringLiteral("user"),
        QStringLiteral("User name for basic and digest (default admin)."), QStringLiteral("name"),
        QStringLiteral("admin"));
    const QCommandLineOption passwordOption(QStringLiteral("password"),
        QStringLiteral("Password for basic and digest (default 4719)."), QStringLiteral("password"),
        QStringLiteral("4719"));
    const QCommandLineOption delayOption(QStringLiteral("delay"),
        QStringLiteral("Wait this many milliseconds before each reply (default 0)."),
        QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption keepAliveOption(QStringLiteral("keep-alive"),
        QStringLiteral("Keep connections open between requests (the default)."));
    const QCommandLineOption closeOption(QStringLiteral("close"),
        QStringLiteral("Close the connection after every reply (Connection: close)."));
    const QCommandLineOption rebootOption(QStringLiteral("reboot-seconds"),
        QStringLiteral("How long a reboot keeps the device away (default 3)."),
        QStringLiteral("N"), QStringLiteral("3"));
    const QCommandLineOption panErrorOption(QStringLiteral("pan-error"),
        QStringLiteral("Answer every position N steps off in pan, as a head that misses its target "
                       "(default 0)."),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
        QStringLiteral("Log connections and requests to standard error."));
    const QCommandLineOption devicesOption(QStringLiteral("devices"),
        QStringLiteral("Be N devices (1 to %1), on 127.0.1.1, 127.0.1.2, ... and one port, each with "
                       "its own state, nonces and reboot; one \"listening\" line each. Not with --bind.")
            .arg(kMaxDevices),
        QStringLiteral("N"));
    const QCommandLineOption threadsOption(QStringLiteral("threads"),
        QStringLiteral("Answer on N threads, each with its own event loop (1 to %1, default the "
                       "number of cores, %2 here). With --devices the devices are spread over them, "
                       "each device on one thread.")
            .arg(kMaxThreads)
            .arg(DefaultThreads()),
        QStringLiteral("N"));
    parser.addOptions({bindOption, portOption, portFileOption, authOption, digestAlgorithmOption,
        userOption, passwordOption, tlsOption, delayOption, keepAliveOption, closeOption, rebootOption,
        panErrorOption, verboseOption, devicesOption, threadsOption});

    QStringList args = app.arguments();
    QStringList tlsFiles;
    if (!TakeTlsOption(args, tlsFiles))
        return Fail(kUsageError, QStringLiteral("--tls takes two files, once: --tls CERT KEY"));
    if (!parser.parse(args))
        return Fail(kUsageError, parser.errorText());
    if (parser.isSet(tlsOption))
        return Fail(kUsageError, QStringLiteral("--tls takes two files: --tls CERT KEY"));
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        parser.showVersion();
    }
    if (!parser.positionalArguments().isEmpty())
        return Fail(kUsageError, QStringLiteral("unexpected argument: %1")
                                     .arg(parser.positionalArguments().front()));

    devsim::ServerOptions options;
    if (!options.address.setAddress(parser.value(bindOption)))
        return Fail(kUsageError, QStringLiteral("not an address: %1").arg(parser.value(bindOption)));
    if (!options.address.isLoopback())
        return Fail(kUsageError, QStringLiteral("refusing to listen on %1: loopback addresses only")
                                     .arg(parser.value(bindOption)));
    int port = 0;
    if (!ReadInt(parser.value(portOption), 0, 65535, port))
        return Fail(kUsageError, QStringLiteral("bad --port: %1").arg(parser.value(portOption)));
    options.port = static_cast<quint16>(port);
    const auto mode = devsim::ParseAuthMode(parser.value(authOption).toLatin1());
    if (!mode)
        return Fail(kUsageError, QStringLiteral("bad --auth: %1 (none, basic or digest)")
                                     .arg(parser.value(authOption)));
    options.auth = *mode;
    const auto algorithms = devsim::ParseDigestAlgorithms(parser.value(digestAlgorithmOption).toLatin1());
    if (!algorithms)
        return Fail(kUsageError,
            QStringLiteral("bad --digest-algorithm: %1 (MD5, SHA-256, SHA-512-256, each also as -sess, "
                           "or a comma-separated list of them)")
                .arg(parser.value(digestAlgorithmOption)));
    options.digestAlgorithms = *algorithms;
    options.user = parser.value(userOption).toUtf8();
    options.password = parser.value(passwordOption).toUtf8();
    if (!ReadInt(parser.value(delayOption), 0, 600000, options.delayMs))
        return Fail(kUsageError, QStringLiteral("bad --delay: %1").arg(parser.value(delayOption)));
    if (parser.isSet(keepAliveOption) && parser.isSet(closeOption))
        return Fail(kUsageError, QStringLiteral("--keep-alive and --close exclude each other"));
    options.keepAlive = !parser.isSet(closeOption);
    if (!ReadInt(parser.value(rebootOption), 0, 3600, options.rebootSeconds))
        return Fail(kUsageError,
            QStringLiteral("bad --reboot-seconds: %1").arg(parser.value(rebootOption)));
    if (!ReadInt(parser.value(panErrorOption), -360, 360, options.panError))
        return Fail(kUsageError, QStringLiteral("bad --pan-error: %1").arg(parser.value(panErrorOption)));
    options.verbose = parser.isSet(verboseOption);
    QString tlsError;
    if (!tlsFiles.isEmpty() && !devsim::LoadTlsIdentity(tlsFiles[0], tlsFiles[1], options, tlsError))
        return Fail(kUsageError, QStringLiteral("--tls: %1").arg(tlsError));

    if (!QuitOnStopSignals(app))
        return Fail(kListenError, QStringLiteral("cannot set up signal handling"));

    int deviceCount = 1;
    if (parser.isSet(devicesOption)) {
        if (!ReadInt(parser.value(devicesOption), 1, kMaxDevices, deviceCount))
            return Fail(kUsageError, QStringLiteral("bad --devices: %1 (1 to %2)")
                                         .arg(parser.value(devicesOption)).arg(kMaxDevices));
        if (parser.isSet(bindOption))
            return Fail(kUsageError, QStringLiteral("--devices and --bind exclude each other"));
    }
    int threads = DefaultThreads();
    if (parser.isSet(threadsOption) && !ReadInt(parser.value(threadsOption), 1, kMaxThreads, threads))
        return Fail(kUsageError, QStringLiteral("bad --threads: %1 (1 to %2)")
                                     .arg(parser.value(threadsOption)).arg(kMaxThreads));
    // Without the room for a socket per device, the devices past the limit
    // could not listen: say so rather than fail on some address.
    const rlim_t openFiles = RaiseOpenFileLimit();
    if (openFiles != RLIM_INFINITY && rlim_t(deviceCount) + rlim_t(threads) + kReservedFiles > openFiles)
        return Fail(kListenError,
            QStringLiteral("%1 devices need more open files than the limit allows (%2; ulimit -n)")
                .arg(deviceCount)
                .arg(qulonglong(openFiles)));
    std::vector<devsim::ServerOptions> devices;
    for (int i = 0; i < deviceCount; ++i) {
        devsim::ServerOptions device = options;
        if (parser.isSet(devicesOption)) {
            device.address = QHostAddress(kFirstDeviceAddress + quint32(i));
            device.logLabel = device.address.toString() + QStringLiteral(": ");
        }
        devices.push_back(device);
    }
    QString error;
    const auto loops = StartDevices(devices, threads, error);
    if (loops.empty())
        return Fail(kListenError, error);
    const quint16 listenPort = loops.front()->port();

    if (parser.isSet(portFileOption)) {
        QSaveFile file(parser.value(portFileOption));
        if (!file.open(QIODevice::WriteOnly)
            || file.write(QByteArray::number(listenPort) + '\n') < 0 || !file.commit())
            return Fail(kListenError, QStringLiteral("cannot write the port file %1")
                                          .arg(parser.value(portFileOption)));
    }

    for (const devsim::ServerOptions& device : devices) {
        const QString address = device.address.protocol() == QAbstractSocket::IPv6Protocol
            ? QStringLiteral("[%1]").arg(device.address.toString())
            : device.address.toString();
        std::printf("listening %s:%u\n", address.toLatin1().constData(), unsigned(listenPort));
    }
    std::fflush(stdout);

    return QCoreApplication::exec();
}
