// Reading one very large response body: CHTTPLayer::SendRequest against curl,
// on loopback. A server thread answers GET /big with a body of the given size,
// framed by Content-Length or chunked, written from a prepared buffer as fast
// as the socket takes it; the connection stays open afterwards (as devices
// keep it) unless --close is given.
//
// Every measured read runs in a fresh process, so that its peak resident set
// is its own: Velkor's in this program started again with --client, curl
// started by this program in its --spawn mode. The table gives the median
// throughput, the peak resident set of the reading process and how much it
// grew while reading.
//
//   velkor_body_bench [--size BYTES[K|M|G]] [--runs N] [--chunk BYTES]
//                     [--framing length|chunked|both] [--close] [--timeout SEC]
//
// Defaults: 100M body (binary units), 5 runs, 16384-byte chunks, both
// framings, keep-alive, 120 s for each reading process.
#include "../tests/support/CLoopbackListener.h"
#include "http/CHTTPLayer.h"

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

enum class EFraming { Length, Chunked };

const char* FramingName(EFraming framing)
{
    return framing == EFraming::Length ? "Content-Length" : "chunked";
}

// The body: printable lines of 64 bytes, cut to the size.
QByteArray MakeBody(qsizetype nSize)
{
    static const char kLine[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-\n";
    static_assert(sizeof kLine == 65);
    QByteArray body(nSize, Qt::Uninitialized);
    for (qsizetype i = 0; i < nSize; i += 64)
        std::memcpy(body.data() + i, kLine, static_cast<size_t>(std::min<qsizetype>(64, nSize - i)));
    return body;
}

// The body in chunks of nChunk bytes (the last one shorter), then the last
// chunk and the empty trailer.
QByteArray Chunked(const QByteArray& body, qsizetype nChunk)
{
    QByteArray out;
    out.reserve(body.size() + (body.size() / nChunk + 1) * 16 + 5);
    for (qsizetype i = 0; i < body.size(); i += nChunk) {
        const qsizetype n = std::min(nChunk, body.size() - i);
        out += QByteArray::number(n, 16) + "\r\n";
        out.append(body.constData() + i, n);
        out += "\r\n";
    }
    out += "0\r\n\r\n";
    return out;
}

bool SendAll(int nFd, const char* pData, qsizetype nSize)
{
    while (nSize > 0) {
        const ssize_t n = send(nFd, pData, static_cast<size_t>(nSize), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        pData += n;
        nSize -= n;
    }
    return true;
}

// Loopback HTTP/1.1 server for GET /big (the large body) and GET /small (a
// three-byte body, for the reading process's resident set without the large
// body), one thread per connection. It counts the /big responses begun,
// written in full, and cut off by the client.
class CBodyServer
{
public:
    struct Counts
    {
        int nStarted = 0;
        int nWritten = 0;
        int nCut = 0;
    };

    CBodyServer(EFraming framing, const QByteArray& body, qsizetype nChunk, bool bKeepAlive)
        : m_bKeepAlive(bKeepAlive)
    {
        const QByteArray framingHead = framing == EFraming::Length
            ? "Content-Length: " + QByteArray::number(body.size()) + "\r\n"
            : QByteArray("Transfer-Encoding: chunked\r\n");
        const QByteArray connectionHead = bKeepAlive ? QByteArray() : QByteArray("Connection: close\r\n");
        m_bigHead = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n" + framingHead + connectionHead
            + "\r\n";
        m_bigPayload = framing == EFraming::Length ? body : Chunked(body, nChunk);
        const QByteArray small = "ok\n";
        m_small = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
            + (framing == EFraming::Length ? "Content-Length: " + QByteArray::number(small.size()) + "\r\n"
                                           : QByteArray("Transfer-Encoding: chunked\r\n"))
            + connectionHead + "\r\n"
            + (framing == EFraming::Length ? small : Chunked(small, nChunk));
        m_notFound = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n" + connectionHead + "\r\n";

        m_listener = std::make_unique<CLoopbackListener>([this](int nFd, int) { Serve(nFd); });
    }

    ~CBodyServer() { m_listener->Stop(); }

    CBodyServer(const CBodyServer&) = delete;
    CBodyServer& operator=(const CBodyServer&) = delete;

    bool Listening() const { return m_listener->Listening(); }
    int Port() const { return m_listener->Port(); }
    qsizetype BigResponseSize() const { return m_bigHead.size() + m_bigPayload.size(); }

    Counts Snapshot()
    {
        const std::lock_guard lock(m_mutex);
        return m_counts;
    }

    // Waits until no /big response is being written, at most nMs.
    Counts WaitIdle(int nMs)
    {
        std::unique_lock lock(m_mutex);
        m_idle.wait_for(lock, std::chrono::milliseconds(nMs),
                        [this] { return m_counts.nWritten + m_counts.nCut == m_counts.nStarted; });
        return m_counts;
    }

private:
    // Answers requests (each up to its blank line) until the client closes,
    // or after the first response when the server closes.
    void Serve(int nFd)
    {
        QByteArray pending;
        bool bOpen = true;
        bool bAnswered = false;
        while (bOpen) {
            char buffer[4096];
            const ssize_t n = recv(nFd, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            pending.append(buffer, n);
            qsizetype nEnd;
            while (bOpen && (nEnd = pending.indexOf("\r\n\r\n")) >= 0) {
                const QByteArray requestLine = pending.left(pending.indexOf("\r\n"));
                pending.remove(0, nEnd + 4);
                const QList<QByteArray> parts = requestLine.split(' ');
                const QByteArray target = parts.size() >= 2 ? parts[1] : QByteArray();
                bOpen = Answer(nFd, target) && m_bKeepAlive;
                bAnswered = true;
            }
        }
        if (bAnswered && !m_bKeepAlive) {
            // Closing: the end of the stream marks the end of the response;
            // wait for the client to close its side so that nothing resets it.
            shutdown(nFd, SHUT_WR);
            char buffer[4096];
            while (recv(nFd, buffer, sizeof buffer, 0) > 0) {
            }
        }
    }

    bool Answer(int nFd, const QByteArray& target)
    {
        if (target == "/small")
            return SendAll(nFd, m_small.constData(), m_small.size());
        if (target != "/big")
            return SendAll(nFd, m_notFound.constData(), m_notFound.size());
        {
            const std::lock_guard lock(m_mutex);
            ++m_counts.nStarted;
        }
        const bool bWritten = SendAll(nFd, m_bigHead.constData(), m_bigHead.size())
            && SendAll(nFd, m_bigPayload.constData(), m_bigPayload.size());
        {
            const std::lock_guard lock(m_mutex);
            ++(bWritten ? m_counts.nWritten : m_counts.nCut);
        }
        m_idle.notify_all();
        return bWritten;
    }

    const bool m_bKeepAlive;
    QByteArray m_bigHead;
    QByteArray m_bigPayload;
    QByteArray m_small;
    QByteArray m_notFound;
    std::mutex m_mutex;
    std::condition_variable m_idle;
    Counts m_counts;
    std::unique_ptr<CLoopbackListener> m_listener;  // made last, stopped first
};

// VmHWM of this process in KiB (-1 when unreadable).
long long PeakRssKiB()
{
    FILE* pFile = std::fopen("/proc/self/status", "r");
    if (!pFile)
        return -1;
    long long nKiB = -1;
    char line[256];
    while (std::fgets(line, sizeof line, pFile)) {
        if (std::sscanf(line, "VmHWM: %lld kB", &nKiB) == 1)
            break;
    }
    std::fclose(pFile);
    return nKiB;
}

// The reading process: one CHTTPLayer, connected first as the run engine
// connects, then one SendRequest with a 2048-byte buffer. Prints
// "result status seconds length peakBeforeKiB peakAfterKiB".
int RunClient(int nPort, const char* pTarget)
{
    CHTTPLayer layer;
    layer.SetHost(QStringLiteral("127.0.0.1"));
    if (layer.Connect(nPort) != 0) {
        std::fprintf(stderr, "cannot connect to the bench server\n");
        return 1;
    }
    QByteArray buffer(2048, '\0');
    int nLength = 2048;
    int nStatus = 0;
    const long long nPeakBefore = PeakRssKiB();
    const auto start = std::chrono::steady_clock::now();
    const HRESULT hr = layer.SendRequest(pTarget, buffer.data(), nLength, nStatus, "admin", "4719");
    const auto end = std::chrono::steady_clock::now();
    const long long nPeakAfter = PeakRssKiB();
    std::printf("%d %d %.9f %d %lld %lld\n", hr, nStatus, std::chrono::duration<double>(end - start).count(),
                nLength, nPeakBefore, nPeakAfter);
    return 0;
}

// Started as "--spawn PROGRAM ARGS...": runs the program (looked up in PATH)
// on this process's standard output, waits for it and then prints
// "rusage MAXRSS STATUS OWNPEAK": its ru_maxrss and wait status, and this
// process's own VmHWM (KiB). The measured program is started from here and
// not from the benchmark because a program's ru_maxrss also covers the
// memory of the process it was started from, up to the exec: this process
// is small, the benchmark with its prepared responses is not. Its own peak is
// the floor below which the figure cannot go.
int RunSpawn(char** argv)
{
    std::fflush(stdout);
    pid_t nPid = 0;
    if (posix_spawnp(&nPid, argv[0], nullptr, nullptr, argv, environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        return 1;
    }
    int nStatus = 0;
    rusage usage{};
    while (wait4(nPid, &nStatus, 0, &usage) < 0) {
        if (errno != EINTR)
            return 1;
    }
    std::printf("rusage %ld %d %lld\n", usage.ru_maxrss, nStatus, PeakRssKiB());
    return 0;
}

struct ProcessRun
{
    bool bStarted = false;
    bool bTimedOut = false;
    int nWaitStatus = 0;
    std::string output;
};

// Starts this program again with the arguments, collects its standard
// output and waits for it. Killed after nTimeoutMs.
ProcessRun RunSelf(const std::vector<std::string>& args, int nTimeoutMs)
{
    ProcessRun run;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return run;
    static char kSelf[] = "/proc/self/exe";
    std::vector<char*> argv;
    argv.push_back(kSelf);
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    pid_t nPid = 0;
    const int nError = posix_spawn(&nPid, kSelf, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (nError != 0) {
        close(pipeFds[0]);
        return run;
    }
    run.bStarted = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;) {
        const auto nLeft = std::chrono::duration_cast<std::chrono::milliseconds>(deadline
                                                                                 - std::chrono::steady_clock::now());
        if (nLeft.count() <= 0) {
            run.bTimedOut = true;
            kill(nPid, SIGKILL);
            break;
        }
        pollfd fd{pipeFds[0], POLLIN, 0};
        const int nReady = poll(&fd, 1, static_cast<int>(nLeft.count()));
        if (nReady <= 0)
            continue;
        char buffer[512];
        const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        run.output.append(buffer, static_cast<size_t>(n));
    }
    close(pipeFds[0]);
    while (waitpid(nPid, &run.nWaitStatus, 0) < 0 && errno == EINTR) {
    }
    return run;
}

bool ExitedCleanly(const ProcessRun& run)
{
    return run.bStarted && !run.bTimedOut && WIFEXITED(run.nWaitStatus) && WEXITSTATUS(run.nWaitStatus) == 0;
}

std::string ResultName(HRESULT hr)
{
    switch (hr) {
    case S_OK:
        return "S_OK";
    case S_WAIT_TIMEOUT:
        return "S_WAIT_TIMEOUT";
    case E_FAIL:
        return "E_FAIL";
    case E_INVALIDARG:
        return "E_INVALIDARG";
    case E_OUTOFMEMORY:
        return "E_OUTOFMEMORY";
    default: {
        char text[16];
        std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(hr));
        return text;
    }
    }
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

double MiB(long long nKiB)
{
    return static_cast<double>(nKiB) / 1024.0;
}

// One client's runs for one framing.
struct ClientRows
{
    std::vector<double> mbPerSec;  // of the complete reads
    long long nPeakKiB = 0;        // the largest peak resident set
    long long nGrowthKiB = -1;     // the largest growth while reading
    long long nFloorKiB = 0;       // the largest peak of the starting process (curl)
    int nRuns = 0;
    int nComplete = 0;
    std::string firstFailure;      // what the first failed run gave
};

struct Options
{
    qsizetype nSize = 100LL * 1024 * 1024;
    int nRuns = 5;
    qsizetype nChunk = 16 * 1024;
    bool bKeepAlive = true;
    std::vector<EFraming> framings{EFraming::Length, EFraming::Chunked};
    int nTimeoutSec = 120;
};

std::optional<qsizetype> ParseSize(const char* pText)
{
    char* pEnd = nullptr;
    errno = 0;
    const long long nValue = std::strtoll(pText, &pEnd, 10);
    if (errno != 0 || pEnd == pText || nValue <= 0)
        return std::nullopt;
    long long nUnit = 1;
    if (*pEnd == 'K' || *pEnd == 'k')
        nUnit = 1024;
    else if (*pEnd == 'M' || *pEnd == 'm')
        nUnit = 1024 * 1024;
    else if (*pEnd == 'G' || *pEnd == 'g')
        nUnit = 1024 * 1024 * 1024;
    else if (*pEnd != '\0')
        return std::nullopt;
    if (nUnit != 1 && pEnd[1] != '\0')
        return std::nullopt;
    if (nValue > (1LL << 40) / nUnit)
        return std::nullopt;
    return static_cast<qsizetype>(nValue * nUnit);
}

std::optional<Options> ParseOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* pValue = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--close") {
            options.bKeepAlive = false;
        } else if (arg == "--keep-alive") {
            options.bKeepAlive = true;
        } else if (arg == "--size" && pValue) {
            const std::optional<qsizetype> nSize = ParseSize(pValue);
            if (!nSize)
                return std::nullopt;
            options.nSize = *nSize;
            ++i;
        } else if (arg == "--chunk" && pValue) {
            const std::optional<qsizetype> nChunk = ParseSize(pValue);
            if (!nChunk || *nChunk > (1 << 30))
                return std::nullopt;
            options.nChunk = *nChunk;
            ++i;
        } else if (arg == "--runs" && pValue) {
            options.nRuns = std::atoi(pValue);
            if (options.nRuns < 1)
                return std::nullopt;
            ++i;
        } else if (arg == "--timeout" && pValue) {
            options.nTimeoutSec = std::atoi(pValue);
            if (options.nTimeoutSec < 1)
                return std::nullopt;
            ++i;
        } else if (arg == "--framing" && pValue) {
            const std::string value = pValue;
            if (value == "length")
                options.framings = {EFraming::Length};
            else if (value == "chunked")
                options.framings = {EFraming::Chunked};
            else if (value == "both")
                options.framings = {EFraming::Length, EFraming::Chunked};
            else
                return std::nullopt;
            ++i;
        } else {
            return std::nullopt;
        }
    }
    return options;
}

// One Velkor read in a fresh process; the server says whether it wrote the
// whole response.
void MeasureVelkor(CBodyServer& server, const Options& options, ClientRows& rows)
{
    ++rows.nRuns;
    const CBodyServer::Counts before = server.Snapshot();
    const ProcessRun run = RunSelf({"--client", std::to_string(server.Port()), "/big"}, options.nTimeoutSec * 1000);
    const CBodyServer::Counts after = server.WaitIdle(5000);
    int nResult = 0;
    int nStatus = 0;
    double dSeconds = 0.0;
    int nLength = 0;
    long long nPeakBefore = -1;
    long long nPeakAfter = -1;
    if (!ExitedCleanly(run)
        || std::sscanf(run.output.c_str(), "%d %d %lf %d %lld %lld", &nResult, &nStatus, &dSeconds, &nLength,
                       &nPeakBefore, &nPeakAfter)
            != 6
        || nPeakBefore < 0 || nPeakAfter < 0) {
        if (rows.firstFailure.empty())
            rows.firstFailure = run.bTimedOut ? "the reading process was killed after the time limit"
                                              : "the reading process failed";
        return;
    }
    rows.nPeakKiB = std::max(rows.nPeakKiB, nPeakAfter);
    rows.nGrowthKiB = std::max(rows.nGrowthKiB, nPeakAfter - nPeakBefore);
    const bool bWritten = after.nStarted - before.nStarted == 1 && after.nWritten - before.nWritten == 1;
    if (nResult == S_OK && nStatus == 200 && bWritten) {
        ++rows.nComplete;
        rows.mbPerSec.push_back(static_cast<double>(options.nSize) / dSeconds / 1e6);
        return;
    }
    if (rows.firstFailure.empty()) {
        char text[256];
        std::snprintf(text, sizeof text, "%s (0x%08x), status %d, after %.2f ms%s", ResultName(nResult).c_str(),
                      static_cast<unsigned>(nResult), nStatus, dSeconds * 1000.0,
                      bWritten ? "" : "; the connection ended before the server had written the whole response");
        rows.firstFailure = text;
    }
}

struct CurlRun
{
    bool bOk = false;
    std::string output;     // curl's own output
    long long nPeakKiB = 0; // curl's ru_maxrss
    long long nFloorKiB = 0;
    std::string problem;
};

// curl started by this program's --spawn mode (see RunSpawn).
CurlRun RunCurl(const Options& options, const std::vector<std::string>& args)
{
    std::vector<std::string> spawnArgs{"--spawn", "curl", "-s", "--max-time", std::to_string(options.nTimeoutSec)};
    spawnArgs.insert(spawnArgs.end(), args.begin(), args.end());
    const ProcessRun run = RunSelf(spawnArgs, (options.nTimeoutSec + 10) * 1000);
    CurlRun curl;
    const size_t nRusage = run.output.rfind("rusage ");
    long nMaxRss = 0;
    int nStatus = 0;
    long long nFloor = 0;
    if (!ExitedCleanly(run) || nRusage == std::string::npos
        || std::sscanf(run.output.c_str() + nRusage, "rusage %ld %d %lld", &nMaxRss, &nStatus, &nFloor) != 3) {
        curl.problem = "curl could not be started (scripts/setup.sh installs it)";
        return curl;
    }
    curl.output = run.output.substr(0, nRusage);
    curl.nPeakKiB = nMaxRss;
    curl.nFloorKiB = nFloor;
    curl.bOk = WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0;
    if (!curl.bOk)
        curl.problem = "curl exit status " + std::to_string(WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1);
    return curl;
}

// One curl read; nBaselineKiB is curl's peak for the three-byte body.
void MeasureCurl(CBodyServer& server, const Options& options, ClientRows& rows, long long nBaselineKiB)
{
    ++rows.nRuns;
    const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/big";
    const CurlRun curl =
        RunCurl(options, {"-o", "/dev/null", "-w", "%{http_code} %{time_total} %{size_download}\n", url});
    server.WaitIdle(5000);
    int nCode = 0;
    double dSeconds = 0.0;
    long long nSize = 0;
    const bool bParsed = curl.bOk && std::sscanf(curl.output.c_str(), "%d %lf %lld", &nCode, &dSeconds, &nSize) == 3;
    if (!bParsed || nCode != 200 || nSize != options.nSize || dSeconds <= 0.0) {
        if (rows.firstFailure.empty())
            rows.firstFailure = !curl.problem.empty()
                ? curl.problem
                : "output \"" + QByteArray::fromStdString(curl.output).trimmed().toStdString() + "\"";
        return;
    }
    ++rows.nComplete;
    rows.mbPerSec.push_back(static_cast<double>(nSize) / dSeconds / 1e6);
    rows.nPeakKiB = std::max(rows.nPeakKiB, curl.nPeakKiB);
    rows.nFloorKiB = std::max(rows.nFloorKiB, curl.nFloorKiB);
    if (nBaselineKiB > 0)
        rows.nGrowthKiB = std::max({rows.nGrowthKiB, curl.nPeakKiB - nBaselineKiB, 0LL});
}

// curl's peak resident set for the three-byte body: its size without the
// large body (median of three).
long long CurlBaselineKiB(CBodyServer& server, const Options& options)
{
    const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/small";
    std::vector<double> peaks;
    for (int i = 0; i < 3; ++i) {
        const CurlRun curl = RunCurl(options, {"-o", "/dev/null", url});
        if (curl.bOk)
            peaks.push_back(static_cast<double>(curl.nPeakKiB));
    }
    return peaks.empty() ? -1 : static_cast<long long>(Median(peaks));
}

void PrintRow(EFraming framing, const char* pClient, const ClientRows& rows)
{
    char result[32];
    std::snprintf(result, sizeof result, "%d/%d complete", rows.nComplete, rows.nRuns);
    char speed[48] = "-";
    if (!rows.mbPerSec.empty())
        std::snprintf(speed, sizeof speed, Median(rows.mbPerSec) >= 100 ? "%.0f (%.0f-%.0f)" : "%.2f (%.2f-%.2f)",
                      Median(rows.mbPerSec),
                      *std::min_element(rows.mbPerSec.begin(), rows.mbPerSec.end()),
                      *std::max_element(rows.mbPerSec.begin(), rows.mbPerSec.end()));
    // A peak at or below the starting process's own says only that it was not larger.
    char peak[24];
    std::snprintf(peak, sizeof peak, "%s%.2f", rows.nFloorKiB > 0 && rows.nPeakKiB <= rows.nFloorKiB ? "<= " : "",
                  MiB(rows.nPeakKiB));
    char growth[16] = "-";
    if (rows.nGrowthKiB >= 0)
        std::snprintf(growth, sizeof growth, "%.2f", MiB(rows.nGrowthKiB));
    std::printf("| %-14s | %-6s | %-14s | %-20s | %13s | %14s |\n", FramingName(framing), pClient, result, speed,
                peak, growth);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--client") == 0)
        return RunClient(std::atoi(argv[2]), argv[3]);
    if (argc >= 3 && std::strcmp(argv[1], "--spawn") == 0)
        return RunSpawn(argv + 2);

    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "usage: velkor_body_bench [--size BYTES[K|M|G]] [--runs N] [--chunk BYTES]\n"
                     "                         [--framing length|chunked|both] [--close] [--timeout SEC]\n");
        return 2;
    }

    const QByteArray body = MakeBody(options->nSize);
    struct Result
    {
        EFraming framing;
        ClientRows velkor, curl;
    };
    std::vector<Result> results;
    for (const EFraming framing : options->framings) {
        CBodyServer server(framing, body, options->nChunk, options->bKeepAlive);
        if (!server.Listening()) {
            std::fprintf(stderr, "cannot listen on loopback\n");
            return 1;
        }
        Result result{framing, {}, {}};
        const long long nCurlBaseline = CurlBaselineKiB(server, *options);
        // Alternating, so that a change in the machine's load falls on both.
        for (int i = 0; i < options->nRuns; ++i) {
            MeasureVelkor(server, *options, result.velkor);
            MeasureCurl(server, *options, result.curl, nCurlBaseline);
        }
        results.push_back(std::move(result));
    }

    std::printf("body %lld bytes, %s, chunks of %lld bytes, %d runs per row, loopback; MB = 10^6 bytes\n",
                static_cast<long long>(options->nSize),
                options->bKeepAlive ? "connection kept open after the response" : "server closes after the response",
                static_cast<long long>(options->nChunk), options->nRuns);
    std::printf("| %-14s | %-6s | %-14s | %-20s | %13s | %14s |\n", "framing", "client", "result",
                "MB/s median (range)", "peak RSS MiB", "RSS growth MiB");
    std::printf("|%s|%s|%s|%s|%s|%s|\n", std::string(16, '-').c_str(), std::string(8, '-').c_str(),
                std::string(16, '-').c_str(), std::string(22, '-').c_str(), std::string(15, '-').c_str(),
                std::string(16, '-').c_str());
    for (const Result& result : results) {
        PrintRow(result.framing, "Velkor", result.velkor);
        PrintRow(result.framing, "curl", result.curl);
    }
    for (const Result& result : results) {
        if (!result.velkor.firstFailure.empty())
            std::printf("%s, Velkor: %s\n", FramingName(result.framing), result.velkor.firstFailure.c_str());
        if (!result.curl.firstFailure.empty())
            std::printf("%s, curl: %s\n", FramingName(result.framing), result.curl.firstFailure.c_str());
    }
    long long nFloorKiB = 0;
    for (const Result& result : results)
        nFloorKiB = std::max(nFloorKiB, result.curl.nFloorKiB);
    std::printf("peak RSS: the reading process's largest resident set, largest of the runs: Velkor's VmHWM after\n"
                "SendRequest; curl's ru_maxrss, started from a small process whose own peak (%.2f MiB) it\n"
                "cannot go below.\n"
                "RSS growth: Velkor, VmHWM after SendRequest less VmHWM before it; curl, its peak less its peak\n"
                "for a three-byte body from the same server; largest of the runs.\n",
                MiB(nFloorKiB));
    return 0;
}
