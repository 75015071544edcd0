#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <initializer_list>

// A real web server (Apache httpd or lighttpd) run in the foreground on a
// free loopback port, from a config kept with the tests, in its own
// temporary root with its own credential files: user "admin", password
// "4719". Stopped when the object goes.
class CRealServer
{
public:
    // LighttpdTls: HTTPS with the given certificate, Digest with SHA-256.
    enum Kind { Apache, Lighttpd, LighttpdTls };

    static constexpr const char* kUser = "admin";
    static constexpr const char* kPassword = "4719";

    explicit CRealServer(Kind kind, const QString& strCertFile = {}, const QString& strKeyFile = {});
    ~CRealServer();
    CRealServer(const CRealServer&) = delete;
    CRealServer& operator=(const CRealServer&) = delete;

    // Empty when the programs of all these kinds are installed; otherwise
    // which are not ("apache2 not installed ..."), for a test to skip with.
    static QString NotInstalled(std::initializer_list<Kind> kinds);

    // Starts the server and waits until it accepts connections. On failure
    // the text says why (a missing binary names the set-up script).
    bool Start(QString* pError);
    int Port() const { return m_nPort; }
    // The server's error log so far, for failure messages.
    QString ErrorLog() const;

private:
    bool WriteRoot(QString* pError);
    void Stop();

    Kind m_kind;
    QString m_strCertFile;
    QString m_strKeyFile;
    QTemporaryDir m_root;
    QProcess m_process;
    int m_nPort = 0;
};
