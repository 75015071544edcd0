#include "CRunStatusLine.h"

#include <QPainter>

#include <algorithm>

CRunStatusLine::CRunStatusLine(QWidget* pParent) : QWidget(pParent)
{
    setObjectName(QStringLiteral("statusLine"));
    setFixedHeight(kHeight);
    // Never holds the window wider than its controls need.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_refreshTimer.setInterval(kRefreshMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, [this] { Refresh(); });
    Refresh();
}

void CRunStatusLine::paintEvent(QPaintEvent*)
{
    constexpr int kMargin = 10;
    QPainter painter(this);
    painter.setPen(QColor(0xc0, 0xc0, 0xc0));
    painter.drawLine(0, 0, width(), 0);
    QRect area = rect().adjusted(kMargin, 1, -kMargin, 0);
    if (m_bAcceptAnyCertificate) {
        QFont bold = font();
        bold.setBold(true);
        painter.setFont(bold);
        painter.setPen(QColor(0xb0, 0, 0));
        const QString strWarning = CertificateText();
        painter.drawText(area, Qt::AlignRight | Qt::AlignVCenter, strWarning);
        area.setRight(area.right() - QFontMetrics(bold).horizontalAdvance(strWarning) - 2 * kMargin);
        painter.setFont(font());
    }
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(m_strText, Qt::ElideRight, std::max(0, area.width())));
}

void CRunStatusLine::RunStarted()
{
    m_counter.Reset();
    m_eState = EState::Running;
    m_nElapsedMs = 0;
    m_clock.start();
    m_refreshTimer.start();
    Refresh();
}

void CRunStatusLine::StopRequested()
{
    if (m_eState == EState::Idle)
        return;
    m_eState = EState::Stopping;
    Refresh();
}

void CRunStatusLine::RunEnded()
{
    if (m_eState == EState::Idle)
        return;
    m_nElapsedMs = m_clock.elapsed();
    m_eState = EState::Idle;
    m_refreshTimer.stop();
    Refresh();
}

void CRunStatusLine::SetAcceptAnyCertificate(bool bOn)
{
    m_bAcceptAnyCertificate = bOn;
    setToolTip(bOn ? QStringLiteral("Options > Accept any certificate (insecure) is on: "
                                    "https devices' certificates are not checked")
                   : QString());
    update();
}

QString CRunStatusLine::CertificateText() const
{
    return m_bAcceptAnyCertificate ? QStringLiteral("Accept any certificate") : QString();
}

QString CRunStatusLine::Text() const { return m_strText; }

QString CRunStatusLine::Elapsed(qint64 nMs)
{
    const qint64 nSeconds = nMs / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(nSeconds / 3600)
        .arg(nSeconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(nSeconds % 60, 2, 10, QLatin1Char('0'));
}

void CRunStatusLine::Refresh()
{
    QString strState;
    switch (m_eState) {
    case EState::Idle: strState = QStringLiteral("Idle"); break;
    case EState::Running:
        strState = m_counter.Pass() > 0 ? QStringLiteral("Running pass %1").arg(m_counter.Pass())
                                        : QStringLiteral("Running");
        break;
    case EState::Stopping: strState = QStringLiteral("Stopping"); break;
    }
    const qint64 nElapsedMs = m_eState == EState::Idle ? m_nElapsedMs : m_clock.elapsed();
    m_strText = (QStringLiteral("%1    Requests: %2    Failures: %3    Elapsed: %4")
                         .arg(strState)
                         .arg(m_counter.Requests())
                         .arg(m_counter.Failures())
                         .arg(Elapsed(nElapsedMs)));
    update();
}
