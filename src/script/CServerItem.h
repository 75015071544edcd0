#pragma once

#include <QString>

class CHTTPLayer;

// One distinct scheme, host and port of a run. The server list owns its
// records, and each record owns the connection object in m_pHttp from the
// connection pass until the run's clean-up releases it.
struct CServerItem {
    CServerItem() = default;
    CServerItem(const CServerItem&) = delete;
    CServerItem& operator=(const CServerItem&) = delete;

    QString m_strIP;
    QString m_strPort;
    bool m_bHttps = false;  // the commands to it were written with "https://"
    CHTTPLayer* m_pHttp = nullptr;
    int m_bUnreachable = 1;  // 0 when the connection pass reached the server
    QString m_strTlsLogged;  // the TLS problem last logged for it in this run
};
