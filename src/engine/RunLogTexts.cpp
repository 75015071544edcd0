#include "RunLogTexts.h"

#include "platform/TextConv.h"

namespace {

QString Rule(int nCount) { return QString(nCount, QLatin1Char('=')); }

}  // namespace

namespace RunLog {

QString NoServerLine() { return QStringLiteral("Can not find connect info"); }

QString ConnectEachLine() { return QStringLiteral("Connect to each servers"); }

QString TryConnectCountLine(int nServers)
{
    return QStringLiteral("Application try to connect to %1 server%2")
        .arg(nServers)
        .arg(nServers > 1 ? QStringLiteral("s") : QString());
}

QString TryConnectLine(const QString& strTarget) { return QStringLiteral("Try to connect ") + strTarget; }

QString ConnectedLine(const QString& strTarget) { return QStringLiteral("Connected : ") + strTarget; }

QString UnreachableLine(const QString& strTarget) { return QStringLiteral("Server unreachable ") + strTarget; }

QString OpeningLine() { return Rule(114); }

QString ResponseTimeLine(std::int64_t nResponseMs, int nResponseLimitMs)
{
    if (nResponseMs >= nResponseLimitMs)
        return QStringLiteral("Response time : %1 ms (Too much!)").arg(nResponseMs);
    return QStringLiteral("Response time : %1 ms").arg(nResponseMs);
}

QString ResponseDataLine(const QByteArray& response, bool bCut)
{
    // The response is taken up to its first NUL byte; the line holds
    // everything from the blank line after the headers, the body read as
    // UTF-8 when it is UTF-8 and one character per byte otherwise.
    const qsizetype nEnd = response.indexOf('\0');
    const QByteArray bytes = nEnd < 0 ? response : response.left(nEnd);
    const qsizetype nBlank = bytes.indexOf("\r\n\r\n");
    if (nBlank < 0)
        return QString();
    QString strLine = QStringLiteral("Response data : ") + Utf8OrLatin1ToWide(bytes.mid(nBlank), bCut);
    strLine.remove(QLatin1Char('\n'));
    strLine.remove(QLatin1Char('\r'));
    return strLine;
}

QString WhileCountLine(int nPass) { return QStringLiteral("==== While Count : %1 ").arg(nPass) + Rule(66); }

QString HttpTotalLine(std::int64_t nTotalMs)
{
    return QStringLiteral("== Total running time(Http api only) : %1 ms ").arg(nTotalMs) + Rule(66);
}

QString ApplicationTotalLine(std::int64_t nTotalMs)
{
    return QStringLiteral("== Total running time(Application)    : %1 ms ").arg(nTotalMs) + Rule(66);
}

QString WhileRepeatLine(int nPasses, bool bStopped)
{
    if (bStopped)
        return QStringLiteral("== While Repeat : %1 (Stopped by user) ").arg(nPasses) + Rule(77);
    return QStringLiteral("== While Repeat : %1 ").arg(nPasses) + Rule(92);
}

QString TlsProblemLine(const QString& strTarget, const QString& strProblem, bool bCertificateRefused)
{
    QString strLine = QStringLiteral("[TLS] %1 - %2").arg(strTarget, strProblem);
    if (bCertificateRefused)
        strLine += QStringLiteral("; trust it with a CA file (velkor-cli --cacert FILE, window: Options > Trust "
                                  "certificate file...) or accept any certificate (--insecure, Options > Accept any "
                                  "certificate)");
    return strLine;
}

QString InsecureLine() { return QStringLiteral("[TLS] Certificates are not checked (insecure)"); }

QString HttpProblemLine(const QString& strTarget, const QString& strProblem)
{
    return QStringLiteral("[HTTP] %1 - %2").arg(strTarget, strProblem);
}

QString AuthProblemLine(const QString& strIP, const QString& strPort, const QString& strProblem)
{
    return QStringLiteral("[AUTH] %1:%2 - %3").arg(strIP, strPort, strProblem);
}

QString NoHostOrPortReason() { return QStringLiteral("no host or port"); }

QString NotSentLine(const QString& strUrl, const QString& strReason)
{
    return QStringLiteral("[NOT SENT] %1 - %2").arg(strUrl, strReason);
}

QString SendLine(const QString& strUrl) { return QStringLiteral("[SEND] ") + strUrl; }

QString TimeoutDataLine() { return QStringLiteral("Response data : NONE (reason : timeout 10 sec)"); }

QString SleepStartLine(int nSleepMs) { return QStringLiteral("Sleep start : %1 ms").arg(nSleepMs); }

QString DurationLimitLine(const QString& strDuration)
{
    return QStringLiteral("[LIMIT] maximum duration %1 reached").arg(strDuration);
}

QString PassLimitLine(int nPasses) { return QStringLiteral("[LIMIT] maximum passes %1 reached").arg(nPasses); }

QString CheckAliveUnreachableLine(const QString& strIP)
{
    return QStringLiteral("!!! Check alive : %1 - server unreachable").arg(strIP);
}

QString ReconnectedLine(const QString& strIP) { return QStringLiteral("!!! Re-Connected : %1").arg(strIP); }

QString CheckAliveStoppedLine(const QString& strIP)
{
    return QStringLiteral("!!! Check alive : %1 - stopped by user").arg(strIP);
}

}  // namespace RunLog
