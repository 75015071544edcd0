#pragma once

#include "CRunCounter.h"

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>

// The strip under the main window's controls: the run's state ("Idle",
// "Running", "Running pass N", "Stopping"), its requests and failures so
// far and the time since it started, and "Accept any certificate" while
// that option is on. The counts come from the counter every run reports to;
// the strip reads them a few times a second while a run goes, so a run
// costs the window's thread nothing per request.
class CRunStatusLine : public QWidget {
public:
    explicit CRunStatusLine(QWidget* pParent = nullptr);

    // The listener every run (and every device of a fleet) reports to.
    CRunCounter& Counter() { return m_counter; }

    // A run started (the counts begin at nothing), Stop was pressed, the
    // run (or the fleet's last device) ended.
    void RunStarted();
    void StopRequested();
    void RunEnded();
    void SetAcceptAnyCertificate(bool bOn);

    // What the strip shows now (the figures as last read).
    QString Text() const;
    QString CertificateText() const;
    // Reads the counter and the clock and shows them.
    void Refresh();

    static constexpr int kRefreshMs = 250;
    // The strip's height: the window is that much taller than its client area
    // and menu bar.
    static constexpr int kHeight = 22;

protected:
    // The strip draws its texts itself: they are no captions of the
    // window's controls, which the window's font is chosen to fit.
    void paintEvent(QPaintEvent* pEvent) override;

private:
    enum class EState { Idle, Running, Stopping };

    static QString Elapsed(qint64 nMs);

    CRunCounter m_counter;
    EState m_eState = EState::Idle;
    QElapsedTimer m_clock;
    qint64 m_nElapsedMs = 0;  // of the last run, once it ended
    QTimer m_refreshTimer;
    QString m_strText;
    bool m_bAcceptAnyCertificate = false;
};
