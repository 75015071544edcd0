#include "StepChecksReader.h"

void CStepChecksReader::Error(const QString& strKind, int nLine, const QString& strWhy)
{
    ++m_nErrors;
    m_sink(QStringLiteral("<Syntax error> %1 on line %2: %3").arg(strKind).arg(nLine).arg(strWhy));
}

CStepChecks& CStepChecksReader::ChecksOf(CCommandItem& item)
{
    if (!item.m_pChecks)
        item.m_pChecks = std::make_shared<CStepChecks>();
    return *item.m_pChecks;
}

bool CStepChecksReader::Take(const QString& strLine, int nLine)
{
    CCheckLineRead read = ReadCheckLine(strLine);
    switch (read.kind) {
    case ECheckLine::None:
        return false;
    case ECheckLine::Requirement:
        if (!read.strError.isEmpty()) {
            Error(QStringLiteral("Require"), nLine, read.strError);
        } else {
            read.requirement.nLine = nLine;
            m_script.m_vecRequirements.push_back(read.requirement);
        }
        return true;
    case ECheckLine::Check:
    case ECheckLine::Capture:
        break;
    }
    const bool bCheck = read.kind == ECheckLine::Check;
    const QString strKind = bCheck ? QStringLiteral("Expect") : QStringLiteral("Capture");
    if (!read.strError.isEmpty()) {
        Error(strKind, nLine, read.strError);
        return true;
    }
    if (m_nStep < 0) {
        Error(strKind, nLine, QStringLiteral("no request or CheckAlive line above it"));
        return true;
    }
    CCommandItem& item = m_script.m_vecCommands[std::size_t(m_nStep)];
    const bool bCheckAlive = item.m_checkAlive.m_bCheckAlive != 0;
    if (bCheck) {
        const bool bDowntime = read.check.subject == ECheckSubject::Downtime;
        if (bDowntime != bCheckAlive) {
            Error(strKind, nLine,
                  bDowntime ? QStringLiteral("downtime is checked under a CheckAlive line")
                            : QStringLiteral("under a CheckAlive line only downtime is checked"));
            return true;
        }
        read.check.nLine = nLine;
        ChecksOf(item).checks.push_back(read.check);
    } else {
        if (bCheckAlive) {
            Error(strKind, nLine, QStringLiteral("a CheckAlive line has no answer to capture from"));
            return true;
        }
        read.capture.nLine = nLine;
        ChecksOf(item).captures.push_back(read.capture);
        if (!m_script.m_captureNames.contains(read.capture.strName))
            m_script.m_captureNames << read.capture.strName;
    }
    return true;
}

void CStepChecksReader::StepLine(int nStep) { m_nStep = nStep; }

void CStepChecksReader::Finish()
{
    for (const CCommandItem& item : m_script.m_vecCommands) {
        if (item.m_bNotHttp)
            continue;
        for (const QString& strName : m_script.m_captureNames) {
            const QString strPlaceholder = QStringLiteral("{{%1}}").arg(strName);
            if (item.m_strIP.contains(strPlaceholder) || item.m_strPort.contains(strPlaceholder))
                Error(QStringLiteral("Capture"), item.m_nLine,
                      QStringLiteral("'%1' is used in a host or port; a capture goes into the request target only")
                          .arg(strName));
        }
    }
}
