#pragma once

#include "../LogText.h"
#include "../LoggedRequests.h"
#include "engine/CRunEngine.h"
#include "log/CLogWriter.h"
#include "platform/CMemoryTextBox.h"
#include "platform/CRunControlStates.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTime>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

// The "[hh:mm:ss.zzz]" stamp of a log line, in milliseconds of the day.
inline int StampMs(const QString& strLine)
{
    const QTime time = QTime::fromString(strLine.mid(1, 12), QStringLiteral("HH:mm:ss.zzz"));
    return time.isValid() ? time.msecsSinceStartOfDay() : -1;
}

// An engine with in-memory boxes whose log lines are collected, with their
// timestamps and the figures that depend on timing masked.
class EngineHarness {
    // Declared first: the engine's worker may still log while it is torn down.
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    QStringList m_lines;

public:
    EngineHarness() : m_log(m_logBox), m_engine(m_commandBox, m_logBox, m_log, m_controls)
    {
        m_log.SetLineSink([this](const QString& strLine) {
            {
                std::lock_guard lock(m_mutex);
                m_lines << strLine;
            }
            m_changed.notify_all();
        });
    }

    CRunEngine::ESendResult Send(const QString& strScript, const QString& strThreshold = QStringLiteral("300"))
    {
        {
            std::lock_guard lock(m_mutex);
            m_lines.clear();
        }
        m_commandBox.SetWindowText(strScript);
        CRunSettings settings;
        settings.nThresholdMs = CRunSettings::ThresholdFromBox(strThreshold);
        return m_engine.OnBnClickedSend(settings);
    }

    // Runs a script to its end and returns its masked log texts.
    QStringList Run(const QString& strScript, const QString& strThreshold = QStringLiteral("300"))
    {
        if (Send(strScript, strThreshold) == CRunEngine::ESendResult::Started)
            m_engine.WaitForRunEnd(60000);
        return Texts();
    }

    // Log texts so far: timestamps removed, times as "T".
    QStringList Texts() const
    {
        QStringList texts;
        std::lock_guard lock(m_mutex);
        for (const QString& strLine : m_lines)
            texts << WithTimesMasked(WithoutStamps(strLine.chopped(2)));
        return texts;
    }

    QStringList RawLines() const
    {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }

    // Waits until a log line contains the text; false when the time ran out.
    bool WaitForLine(const QString& strText, int nCount = 1, int nTimeoutMs = 20000)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(nTimeoutMs), [&] {
            int nFound = 0;
            for (const QString& strLine : m_lines)
                nFound += strLine.contains(strText) ? 1 : 0;
            return nFound >= nCount;
        });
    }

    CMemoryTextBox m_commandBox;
    CMemoryTextBox m_logBox;
    CLogWriter m_log;
    CRunControlStates m_controls;
    CRunEngine m_engine;
};
