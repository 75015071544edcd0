#include "CRealServer.h"

#include "LoopbackSocket.h"

#include "http/Base64.h"
#include "http/Md5.h"
#include "platform/Sockets.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QStringList>

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char* const kBasicRealm = "Velkor Basic";
const char* const kDigestRealm = "Velkor Digest";
const char* const kOpaqueRealm = "Velkor Opaque";

int FreeLoopbackPort()
{
    int nPort = 0;
    close(BindLoopback(nPort, -1));
    return nPort;
}

bool Accepts(int nPort)
{
    const SOCKET s = SocketCreateTcp();
    const bool bOk = SocketConnect(s, LoopbackAddress(nPort), 500) == 0;
    SocketClose(s);
    return bOk;
}

bool WriteFile(const QString& strPath, const QByteArray& content, QString* pError)
{
    QFile file(strPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size()) {
        *pError = QStringLiteral("cannot write %1").arg(strPath);
        return false;
    }
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return true;
}

QString FindProgram(const QString& strName)
{
    QString strPath = QStandardPaths::findExecutable(strName);
    if (strPath.isEmpty())
        strPath = QStandardPaths::findExecutable(strName, {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")});
    return strPath;
}

QString ProgramName(CRealServer::Kind kind)
{
    return kind == CRealServer::Apache ? QStringLiteral("apache2") : QStringLiteral("lighttpd");
}

QString NotInstalledText(CRealServer::Kind kind)
{
    return QStringLiteral("%1 not installed: install it with scripts/setup.sh").arg(ProgramName(kind));
}

QByteArray HtdigestLine(const char* pRealm)
{
    const QByteArray prefix = QByteArray(CRealServer::kUser) + ':' + pRealm;
    return prefix + ':' + MD5HexString(prefix + ':' + CRealServer::kPassword) + '\n';
}

} // namespace

CRealServer::CRealServer(Kind kind, const QString& strCertFile, const QString& strKeyFile)
    : m_kind(kind)
    , m_strCertFile(strCertFile)
    , m_strKeyFile(strKeyFile)
{
}

CRealServer::~CRealServer()
{
    Stop();
}

QString CRealServer::NotInstalled(std::initializer_list<Kind> kinds)
{
    QStringList missing;
    for (const Kind kind : kinds) {
        if (FindProgram(ProgramName(kind)).isEmpty() && !missing.contains(NotInstalledText(kind)))
            missing << NotInstalledText(kind);
    }
    return missing.join(QStringLiteral("; "));
}

QString CRealServer::ErrorLog() const
{
    QString strLog;
    for (const char* pName : {"logs/error.log", "logs/lighttpd-error.log"}) {
        QFile file(m_root.filePath(QString::fromLatin1(pName)));
        if (file.open(QIODevice::ReadOnly))
            strLog += QString::fromLocal8Bit(file.readAll());
    }
    return strLog;
}

bool CRealServer::WriteRoot(QString* pError)
{
    const QDir root(m_root.path());
    for (const char* pDir : {"htdocs", "htdocs/open", "htdocs/basic", "htdocs/digest", "htdocs/opaque", "htdocs/httpapi", "logs", "run"})
        root.mkpath(QString::fromLatin1(pDir));
    // When run as root the server's workers drop to an unprivileged user, who
    // must be able to read the documents and credentials and write the logs.
    const auto dirPermissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
        | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    QFile::setPermissions(m_root.path(), dirPermissions);
    for (const char* pDir : {"htdocs", "htdocs/open", "htdocs/basic", "htdocs/digest", "htdocs/opaque", "htdocs/httpapi", "run"})
        QFile::setPermissions(root.filePath(QString::fromLatin1(pDir)), dirPermissions);
    QFile::setPermissions(root.filePath(QStringLiteral("logs")),
                          dirPermissions | QFile::WriteGroup | QFile::WriteOther);

    for (const char* pDir : {"open", "basic", "digest", "opaque", "httpapi"}) {
        if (!WriteFile(root.filePath(QStringLiteral("htdocs/%1/index.txt").arg(QString::fromLatin1(pDir))),
                       QByteArray("velkor ") + pDir + " ok\n", pError))
            return false;
    }
    // Larger than any receive buffer a device client might keep: a snapshot.
    if (!WriteFile(root.filePath(QStringLiteral("htdocs/open/big.bin")), QByteArray(3 << 20, 'v') + "END", pError))
        return false;
    const QByteArray sha1 = QCryptographicHash::hash(kPassword, QCryptographicHash::Sha1);
    if (!WriteFile(root.filePath(QStringLiteral("htpasswd")), QByteArray(kUser) + ":{SHA}" + Base64Encode(sha1) + '\n',
                   pError))
        return false;
    Q_UNUSED(kBasicRealm);
    if (!WriteFile(root.filePath(QStringLiteral("htdigest")), HtdigestLine(kDigestRealm) + HtdigestLine(kOpaqueRealm),
                   pError))
        return false;

    if (m_kind == LighttpdTls) {
        QFile cert(m_strCertFile);
        QFile key(m_strKeyFile);
        if (!cert.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly)
            || !WriteFile(root.filePath(QStringLiteral("server.pem")), cert.readAll(), pError)
            || !WriteFile(root.filePath(QStringLiteral("server.key")), key.readAll(), pError)
            || !WriteFile(root.filePath(QStringLiteral("plainpass")), QByteArray(kUser) + ':' + kPassword + '\n', pError))
            return false;
    }

    const bool bApache = m_kind == Apache;
    QFile templ(QStringLiteral(VELKOR_SOURCE_DIR "/tests/fixtures/http/%1")
                    .arg(bApache ? QStringLiteral("apache2.conf.in")
                                 : m_kind == LighttpdTls ? QStringLiteral("lighttpd-tls.conf.in")
                                                         : QStringLiteral("lighttpd.conf.in")));
    if (!templ.open(QIODevice::ReadOnly)) {
        *pError = QStringLiteral("cannot read %1").arg(templ.fileName());
        return false;
    }
    QByteArray config = templ.readAll();
    QByteArray userGroup;
    if (geteuid() == 0)
        userGroup = bApache ? "User nobody\nGroup nogroup" : "server.username = \"nobody\"\nserver.groupname = \"nogroup\"";
    const QByteArray modules = qEnvironmentVariableIsSet("VELKOR_APACHE_MODULES")
        ? qgetenv("VELKOR_APACHE_MODULES")
        : QByteArray("/usr/lib/apache2/modules");
    config.replace("@ROOT@", m_root.path().toUtf8());
    config.replace("@PORT@", QByteArray::number(m_nPort));
    config.replace("@USER_GROUP@", userGroup);
    config.replace("@MODULES@", modules);
    return WriteFile(root.filePath(QStringLiteral("server.conf")), config, pError);
}

bool CRealServer::Start(QString* pError)
{
    const QString strProgram = FindProgram(ProgramName(m_kind));
    if (strProgram.isEmpty()) {
        *pError = NotInstalledText(m_kind);
        return false;
    }
    if (!m_root.isValid()) {
        *pError = QStringLiteral("cannot create a temporary directory");
        return false;
    }
    for (int nAttempt = 0; nAttempt < 3; ++nAttempt) {
        m_nPort = FreeLoopbackPort();
        if (!WriteRoot(pError))
            return false;
        const QString strConfig = m_root.filePath(QStringLiteral("server.conf"));
        const QStringList arguments = m_kind == Apache
            ? QStringList{QStringLiteral("-f"), strConfig, QStringLiteral("-D"), QStringLiteral("FOREGROUND")}
            : QStringList{QStringLiteral("-D"), QStringLiteral("-f"), strConfig};
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(strProgram, arguments);
        if (!m_process.waitForStarted(5000)) {
            *pError = QStringLiteral("cannot start %1").arg(strProgram);
            return false;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        bool bExited = false;
        while (std::chrono::steady_clock::now() < deadline && !bExited) {
            if (Accepts(m_nPort))
                return true;
            bExited = m_process.waitForFinished(50);
        }
        const QString strOutput = QString::fromLocal8Bit(m_process.readAll());
        Stop();
        *pError = QStringLiteral("%1 did not come up on port %2: %3 %4")
                      .arg(strProgram)
                      .arg(m_nPort)
                      .arg(strOutput, ErrorLog());
    }
    return false;
}

void CRealServer::Stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}
