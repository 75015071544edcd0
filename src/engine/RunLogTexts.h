#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// The texts of the log lines a run writes, byte for byte; the execution loop
// writes them, tests and the run's readers compare against them.
namespace RunLog {

// The connection pass.
QString NoServerLine();
QString ConnectEachLine();
QString TryConnectCountLine(int nServers);
QString TryConnectLine(const QString& strTarget);
QString ConnectedLine(const QString& strTarget);
QString UnreachableLine(const QString& strTarget);

// The fixed lines of the run.
QString OpeningLine();
QString ResponseTimeLine(std::int64_t nResponseMs, int nResponseLimitMs);
// bCut: the response filled the buffer and may end inside a character.
QString ResponseDataLine(const QByteArray& response, bool bCut = false);
QString WhileCountLine(int nPass);
QString HttpTotalLine(std::int64_t nTotalMs);
QString ApplicationTotalLine(std::int64_t nTotalMs);
QString WhileRepeatLine(int nPasses, bool bStopped);
// "[TLS] host:port - reason", with how to accept a refused certificate.
QString TlsProblemLine(const QString& strTarget, const QString& strProblem, bool bCertificateRefused);
QString InsecureLine();
// "[HTTP] host:port - reason" of a command that got no whole response.
QString HttpProblemLine(const QString& strTarget, const QString& strProblem);
// "[AUTH] host:port - reason".
QString AuthProblemLine(const QString& strIP, const QString& strPort, const QString& strProblem);

// One command.
// The reason of a command whose server has no host or port text, as its
// result gives it too (a port that is not 1 to 65535: BadPortReason of
// SplitCommandUrl.h).
QString NoHostOrPortReason();
// "[NOT SENT] URL - reason".
QString NotSentLine(const QString& strUrl, const QString& strReason);
QString SendLine(const QString& strUrl);
QString TimeoutDataLine();
QString SleepStartLine(int nSleepMs);

// A run limit reached: "[LIMIT] maximum duration 10m reached" (the
// duration as typed), "[LIMIT] maximum passes 5 reached".
QString DurationLimitLine(const QString& strDuration);
QString PassLimitLine(int nPasses);

// A CheckAlive wait.
QString CheckAliveUnreachableLine(const QString& strIP);
QString ReconnectedLine(const QString& strIP);
QString CheckAliveStoppedLine(const QString& strIP);

}  // namespace RunLog
