#include "CCsvReport.h"

#include "CFleetReport.h"
#include "CReportFile.h"
#include "CsvText.h"

#include <QIODevice>

namespace {

QStringList Header(bool bDevice)
{
    QStringList header{QStringLiteral("index"),   QStringLiteral("pass"),    QStringLiteral("line"),
                       QStringLiteral("url"),     QStringLiteral("host"),    QStringLiteral("port"),
                       QStringLiteral("status"),  QStringLiteral("time_ms"), QStringLiteral("time_us"),
                       QStringLiteral("at_ms"),   QStringLiteral("outcome"), QStringLiteral("verdict"),
                       QStringLiteral("check_failed"), QStringLiteral("reason")};
    if (bDevice)
        header.prepend(QStringLiteral("device"));
    return header;
}

// A run's rows, in pieces: a long run's CSV is never held whole.
bool WriteRows(QIODevice& device, const CRecordedRun& run, const QString* pDevice)
{
    constexpr std::size_t kRowsPerPiece = 2000;
    QString strPiece;
    for (std::size_t i = 0; i < run.vecRequests.size(); ++i) {
        const CRecordedRequest& request = run.vecRequests[i];
        const CRecordedTarget& target = run.vecTargets[request.nTarget];
        QStringList fields{QString::number(request.nIndex),
                           QString::number(request.nPass),
                           QString::number(request.nLine),
                           target.strUrl,
                           target.strHost,
                           target.strPort,
                           request.nStatus < 0 ? QString() : QString::number(request.nStatus),
                           QString::number(request.nTimeMs),
                           request.nTimeUs < 0 ? QString() : QString::number(request.nTimeUs),
                           QString::number(request.nAtMs),
                           QString::fromLatin1(OutcomeName(request.outcome)),
                           request.bPass ? QStringLiteral("pass") : QStringLiteral("fail"),
                           request.bCheckFailed ? QStringLiteral("true") : QStringLiteral("false"),
                           request.nReason < 0 ? QString() : run.vecReasons[std::size_t(request.nReason)]};
        if (pDevice != nullptr)
            fields.prepend(*pDevice);
        strPiece += CsvRecord(fields);
        if ((i + 1) % kRowsPerPiece == 0) {
            if (device.write(strPiece.toUtf8()) < 0)
                return false;
            strPiece.clear();
        }
    }
    return device.write(strPiece.toUtf8()) >= 0;
}

}  // namespace

bool CCsvReport::Write(QIODevice& device, const CRecordedRun& run)
{
    return device.write(CsvRecord(Header(false)).toUtf8()) >= 0 && WriteRows(device, run, nullptr);
}

bool CCsvReport::WriteFleet(QIODevice& device, const CRecordedFleet& fleet)
{
    if (device.write(CsvRecord(Header(true)).toUtf8()) < 0)
        return false;
    for (const CRecordedDevice& one : fleet.devices)
        if (!WriteRows(device, one.run, &one.strName))
            return false;
    return true;
}

bool CCsvReport::Save(const QString& strPath, const CRecordedRun& run, QString* pError)
{
    return CReportFile::Write(strPath, [&](QIODevice& device) { return Write(device, run); }, pError);
}

bool CCsvReport::SaveFleet(const QString& strPath, const CRecordedFleet& fleet, QString* pError)
{
    return CReportFile::Write(strPath, [&](QIODevice& device) { return WriteFleet(device, fleet); }, pError);
}
