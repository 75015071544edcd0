#include "CJsonLinesWriter.h"

#include "CJsonReport.h"
#include "engine/CRunStatistics.h"
#include "engine/CRunVerdict.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

CJsonLinesWriter::~CJsonLinesWriter()
{
    if (m_bOwnFd && m_nFd >= 0)
        ::close(m_nFd);
}

bool CJsonLinesWriter::Open(const QString& strPath, QString* pError)
{
    if (strPath == QLatin1String("-")) {
        OpenDescriptor(STDOUT_FILENO);
        return true;
    }
    const int nFd = ::open(QFile::encodeName(strPath).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (nFd < 0) {
        if (pError != nullptr)
            *pError = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    m_nFd = nFd;
    m_bOwnFd = true;
    return true;
}

void CJsonLinesWriter::OpenDescriptor(int nFd)
{
    m_nFd = nFd;
    m_bOwnFd = false;
}

void CJsonLinesWriter::SetDevice(const QString& strName)
{
    m_device = "\"device\": " + CJsonReport::String(strName) + ", ";
}

void CJsonLinesWriter::WriteLine(QByteArray line)
{
    if (!m_device.isEmpty())
        line.insert(1, m_device);
    line += '\n';
    const char* p = line.constData();
    qsizetype nLeft = line.size();
    while (nLeft > 0 && m_nErrno == 0) {
        const ssize_t nWritten = ::write(m_nFd, p, std::size_t(nLeft));
        if (nWritten < 0 && errno == EINTR)
            continue;
        if (nWritten <= 0) {
            m_nErrno = nWritten < 0 ? errno : EIO;
            break;
        }
        p += nWritten;
        nLeft -= nWritten;
    }
}

void CJsonLinesWriter::OnRunStart(const CRunStartInfo& /*info*/)
{
    m_nRequests = 0;
    m_nCheckAlives = 0;
    m_bEnded = false;
}

void CJsonLinesWriter::OnRequest(const CRequestResult& result)
{
    ++m_nRequests;
    if (m_nFd < 0)
        return;
    const CRecordedRequest request = RecordOf(result);
    const CRecordedTarget target{result.strUrl, result.strScheme, result.strHost, result.strPort, result.strTarget};
    WriteLine(CJsonReport::RequestObject(request, target, result.strReason.isEmpty() ? nullptr : &result.strReason,
                                         true));
}

void CJsonLinesWriter::OnCheckAlive(const CCheckAliveResult& result)
{
    ++m_nCheckAlives;
    if (m_nFd >= 0)
        WriteLine(CJsonReport::CheckAliveObject(result));
}

void CJsonLinesWriter::OnRunEnd(const CRunEndInfo& info)
{
    m_bEnded = true;
    m_end = info;
}

bool CJsonLinesWriter::WriteSummary(const CRunStatisticsSnapshot& statistics, const CRunVerdictSummary& verdict,
                                    int nExitCode, QString* pError)
{
    if (m_nFd >= 0) {
        QByteArray line = "{\"kind\": \"summary\", \"partial\": ";
        line += !m_bEnded || !m_end.bComplete ? "true" : "false";
        line += ", \"requests\": " + QByteArray::number(m_nRequests) +
                ", \"checkalive\": " + QByteArray::number(m_nCheckAlives) +
                ", \"totals\": " + CJsonReport::TotalsObject(m_bEnded, m_end) + ", \"stats\": [";
        const char* pszSep = "";
        for (const CUrlStatistics& url : statistics.vecUrls) {
            line += pszSep + CJsonReport::StatsObject(url, true);
            pszSep = ", ";
        }
        line += "], \"stats_total\": " + CJsonReport::StatsObject(statistics.total, false) + ", \"verdict\": \"" +
                verdict.Name() + "\", \"exit_code\": " + QByteArray::number(nExitCode) +
                ", \"failed_requests\": " + QByteArray::number(verdict.nFailed) + "}";
        WriteLine(line);
    }
    if (m_nErrno != 0 && pError != nullptr)
        *pError = QString::fromLocal8Bit(std::strerror(m_nErrno));
    return m_nErrno == 0;
}

bool CJsonLinesWriter::WriteRecord(const QByteArray& record, QString* pError)
{
    if (m_nFd >= 0)
        WriteLine(record);
    if (m_nErrno != 0 && pError != nullptr)
        *pError = QString::fromLocal8Bit(std::strerror(m_nErrno));
    return m_nErrno == 0;
}
