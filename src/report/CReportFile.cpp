#include "CReportFile.h"

#include "CDescriptorDevice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString Reason(int nErrno)
{
    return qt_error_string(nErrno);
}

QByteArray Native(const QString& strPath)
{
    return QFile::encodeName(strPath);
}

// Where a report path leads, symbolic links followed.
struct CTarget {
    enum class EKind {
        Descriptor,  // one of this process's descriptors ("-", /dev/stdout, /proc/self/fd/N)
        InPlace,     // something that exists and is not a regular file: written where it is
        Replace,     // a regular file: replaced whole
        Create,      // nothing there yet: created whole
        Problem,     // none of these; strProblem says why
    };
    EKind kind = EKind::Problem;
    QString strPath;  // the path at the end of the links; "" for "-"
    int nFd = -1;     // Descriptor
    struct stat st {};  // InPlace, Replace: what the path names
    QString strProblem;
};

CTarget Problem(const QString& strProblem)
{
    CTarget target;
    target.strProblem = strProblem;
    return target;
}

// A path naming a descriptor: /dev/stdin, /dev/stdout, /dev/stderr, /dev/fd/N
// or /proc/PID/fd/N (PID also "self" or "thread-self"). bOwn: one of this
// process's.
bool DescriptorPath(const QString& strPath, int& nFd, bool& bOwn)
{
    static const QRegularExpression standard(QStringLiteral("^/dev/std(in|out|err)$"));
    static const QRegularExpression numbered(QStringLiteral("^/(?:dev|proc/(self|thread-self|\\d+))/fd/(\\d+)$"));
    if (const QRegularExpressionMatch match = standard.match(strPath); match.hasMatch()) {
        const QString strName = match.captured(1);
        nFd = strName == QLatin1String("in") ? STDIN_FILENO
              : strName == QLatin1String("out") ? STDOUT_FILENO
                                                : STDERR_FILENO;
        bOwn = true;
        return true;
    }
    const QRegularExpressionMatch match = numbered.match(strPath);
    if (!match.hasMatch())
        return false;
    bool bOk = false;
    nFd = match.captured(2).toInt(&bOk);
    if (!bOk)
        return false;
    const QString strProcess = match.captured(1);
    bOwn = strProcess.isEmpty() || strProcess == QLatin1String("self") || strProcess == QLatin1String("thread-self") ||
           strProcess.toLongLong() == static_cast<qlonglong>(getpid());
    return true;
}

CTarget Resolve(const QString& strPath)
{
    CTarget target;
    if (strPath == QLatin1String("-")) {
        target.kind = CTarget::EKind::Descriptor;
        target.nFd = STDOUT_FILENO;
        return target;
    }
    if (strPath.endsWith(QLatin1Char('/')))
        return Problem(QStringLiteral("it names a folder"));

    QString strAt = QDir::cleanPath(QFileInfo(strPath).absoluteFilePath());
    for (int nLinks = 0; nLinks < 40; ++nLinks) {
        target.strPath = strAt;
        int nFd = -1;
        bool bOwn = false;
        const bool bDescriptor = DescriptorPath(strAt, nFd, bOwn);
        if (bDescriptor && bOwn) {
            target.kind = CTarget::EKind::Descriptor;
            target.nFd = nFd;
            return target;
        }
        // Another process's descriptor is a link only in name: its target is
        // opened through it, not followed.
        const int nStat = bDescriptor ? stat(Native(strAt).constData(), &target.st)
                                      : lstat(Native(strAt).constData(), &target.st);
        if (nStat != 0) {
            if (errno != ENOENT || bDescriptor)
                return Problem(Reason(errno));
            target.kind = CTarget::EKind::Create;
            return target;
        }
        const mode_t mode = target.st.st_mode;
        if (S_ISLNK(mode)) {
            strAt = QDir::cleanPath(QFileInfo(strAt).symLinkTarget());
            continue;
        }
        if (S_ISDIR(mode))
            return Problem(QStringLiteral("it is a folder"));
        if (S_ISSOCK(mode))
            return Problem(QStringLiteral("it is a socket"));
        target.kind = S_ISREG(mode) && !bDescriptor ? CTarget::EKind::Replace : CTarget::EKind::InPlace;
        return target;
    }
    return Problem(Reason(ELOOP));
}

// Runs writer on a device over nFd; false with strError when that failed.
bool WriteTo(int nFd, const std::function<bool(QIODevice&)>& writer, QString& strError)
{
    CDescriptorDevice device(nFd);
    if (writer(device) && device.Drain())
        return true;
    strError = device.Errno() != 0 ? device.errorString() : QStringLiteral("the report could not be put together");
    return false;
}

bool Close(int nFd, bool bWritten, QString& strError)
{
    // Linux closes the descriptor also when close is interrupted.
    if (::close(nFd) != 0 && errno != EINTR && bWritten) {
        strError = Reason(errno);
        return false;
    }
    return bWritten;
}

// Opens strPath for writing where it is, never truncating it: a device, a
// FIFO (waiting for its reader) or a file reached through a descriptor.
bool WriteInPlace(const QString& strPath, bool bAppend, const std::function<bool(QIODevice&)>& writer,
                  QString& strError)
{
    int nFd = -1;
    do {
        nFd = ::open(Native(strPath).constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC | (bAppend ? O_APPEND : 0));
    } while (nFd < 0 && errno == EINTR);
    if (nFd < 0) {
        strError = Reason(errno);
        return false;
    }
    return Close(nFd, WriteTo(nFd, writer, strError), strError);
}

bool WriteDescriptor(const CTarget& target, const std::function<bool(QIODevice&)>& writer, QString& strError)
{
    const int nFlags = fcntl(target.nFd, F_GETFL);
    if (nFlags < 0) {
        strError = Reason(errno);
        return false;
    }
    if ((nFlags & O_ACCMODE) == O_RDONLY) {
        // Open for reading only (/dev/stdin of a terminal): opened anew.
        struct stat st {};
        if (target.strPath.isEmpty() || fstat(target.nFd, &st) != 0) {
            strError = Reason(EBADF);
            return false;
        }
        return WriteInPlace(target.strPath, S_ISREG(st.st_mode), writer, strError);
    }
    // What stdio still holds for the descriptor goes before the report.
    fflush(nullptr);
    return WriteTo(target.nFd, writer, strError);
}

// The report goes into a new file beside strPath, which is then renamed over it.
bool WriteReplacing(const CTarget& target, const std::function<bool(QIODevice&)>& writer, QString& strError)
{
    const QFileInfo info(target.strPath);
    QByteArray temp;
    int nFd = -1;
    int nErrno = 0;
    for (int nTry = 0; nFd < 0 && nTry < 100; ++nTry) {
        temp = Native(QStringLiteral("%1/.%2.%3")
                          .arg(info.absolutePath(), info.fileName())
                          .arg(QRandomGenerator::system()->generate64(), 0, 36));
        nFd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        nErrno = errno;
        if (nFd < 0 && nErrno != EEXIST && nErrno != EINTR)
            break;
    }
    if (nFd < 0) {
        strError = Reason(nErrno);
        return false;
    }
    if (target.kind == CTarget::EKind::Replace) {
        // The new file keeps the old one's owner (when allowed) and permissions.
        if (target.st.st_uid != geteuid() || target.st.st_gid != getegid())
            (void)!fchown(nFd, target.st.st_uid, target.st.st_gid);
        (void)!fchmod(nFd, target.st.st_mode & 07777);
    }
    bool bWritten = WriteTo(nFd, writer, strError);
    if (bWritten && fsync(nFd) != 0 && errno != EINVAL) {
        strError = Reason(errno);
        bWritten = false;
    }
    bWritten = Close(nFd, bWritten, strError);
    if (bWritten && ::rename(temp.constData(), Native(target.strPath).constData()) != 0) {
        strError = Reason(errno);
        bWritten = false;
    }
    if (!bWritten)
        ::unlink(temp.constData());
    return bWritten;
}

// Why a folder cannot take a new file, or empty.
QString FolderProblem(const QString& strFolder)
{
    struct stat st {};
    if (stat(Native(strFolder).constData(), &st) != 0)
        return errno == ENOENT ? QStringLiteral("the folder %1 does not exist").arg(strFolder)
                               : QStringLiteral("the folder %1: %2").arg(strFolder, Reason(errno));
    if (!S_ISDIR(st.st_mode))
        return QStringLiteral("%1 is not a folder").arg(strFolder);
    if (access(Native(strFolder).constData(), W_OK | X_OK) != 0)
        return QStringLiteral("the folder %1 is not writable: %2").arg(strFolder, Reason(errno));
    return {};
}

// Why the target cannot be written, or empty.
QString TargetProblem(const CTarget& target)
{
    switch (target.kind) {
    case CTarget::EKind::Problem:
        return target.strProblem;
    case CTarget::EKind::Descriptor: {
        const int nFlags = fcntl(target.nFd, F_GETFL);
        if (nFlags < 0)
            return Reason(errno);
        if ((nFlags & O_ACCMODE) != O_RDONLY)
            return {};
        if (target.strPath.isEmpty())
            return QStringLiteral("standard output is not open for writing");
        return access(Native(target.strPath).constData(), W_OK) != 0 ? Reason(errno) : QString();
    }
    case CTarget::EKind::InPlace:
        return access(Native(target.strPath).constData(), W_OK) != 0 ? Reason(errno) : QString();
    case CTarget::EKind::Replace:
        if (access(Native(target.strPath).constData(), W_OK) != 0)
            return Reason(errno);
        return FolderProblem(QFileInfo(target.strPath).absolutePath());
    case CTarget::EKind::Create:
        return FolderProblem(QFileInfo(target.strPath).absolutePath());
    }
    return {};
}

// The file a target names, when it exists.
bool Identity(const CTarget& target, struct stat& st)
{
    switch (target.kind) {
    case CTarget::EKind::Descriptor:
        return fstat(target.nFd, &st) == 0;
    case CTarget::EKind::InPlace:
    case CTarget::EKind::Replace:
        st = target.st;
        return true;
    case CTarget::EKind::Create:
    case CTarget::EKind::Problem:
        break;
    }
    return false;
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool CReportFile::Write(const QString& strPath, const std::function<bool(QIODevice&)>& writer, QString* pError)
{
    const CPipeSignalBlock pipeSignal;
    const CTarget target = Resolve(strPath);
    QString strError;
    bool bWritten = false;
    switch (target.kind) {
    case CTarget::EKind::Problem:
        strError = target.strProblem;
        break;
    case CTarget::EKind::Descriptor:
        bWritten = WriteDescriptor(target, writer, strError);
        break;
    case CTarget::EKind::InPlace:
        bWritten = WriteInPlace(target.strPath, S_ISREG(target.st.st_mode), writer, strError);
        break;
    case CTarget::EKind::Replace:
    case CTarget::EKind::Create:
        bWritten = WriteReplacing(target, writer, strError);
        break;
    }
    if (!bWritten && pError)
        *pError = strError;
    return bWritten;
}

QString CReportFile::CheckPaths(const QString& strScript, const QStringList& reports)
{
    // The command file counts when it is a file ("-" reads standard input,
    // which is one when it was redirected from a file).
    struct stat script {};
    const int nScript = strScript == QLatin1String("-") ? fstat(STDIN_FILENO, &script)
                        : strScript.isEmpty()           ? -1
                                                        : stat(Native(strScript).constData(), &script);
    const bool bScript = nScript == 0 && S_ISREG(script.st_mode);
    struct CSeen {
        QString strReport;
        CTarget target;
        bool bIdentity = false;
        struct stat st {};
    };
    std::vector<CSeen> seen;
    for (const QString& strReport : reports) {
        if (strReport.isEmpty())
            continue;
        CSeen report{strReport, Resolve(strReport)};
        const QString strProblem = TargetProblem(report.target);
        if (!strProblem.isEmpty())
            return QStringLiteral("the report %1 cannot be written: %2").arg(strReport, strProblem);
        report.bIdentity = Identity(report.target, report.st);
        if (report.bIdentity && bScript && SameFile(report.st, script))
            return strScript == QLatin1String("-")
                       ? QStringLiteral("the report %1 is the command file itself (read from standard input)")
                             .arg(strReport)
                       : QStringLiteral("the report %1 is the command file %2 itself").arg(strReport, strScript);
        for (const CSeen& other : seen) {
            const bool bSame = report.bIdentity ? other.bIdentity && SameFile(report.st, other.st)
                                                : !other.bIdentity && report.target.strPath == other.target.strPath;
            if (!bSame)
                continue;
            if (strReport == QLatin1String("-") && other.strReport == strReport)
                return QStringLiteral("both reports would go to standard output");
            return QStringLiteral("the reports %1 and %2 are the same file").arg(other.strReport, strReport);
        }
        seen.push_back(report);
    }
    return {};
}
