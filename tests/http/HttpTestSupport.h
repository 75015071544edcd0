#pragma once

#include "http/CHTTPLayer.h"

#include <QByteArray>
#include <QCryptographicHash>

// A client whose waits are shorter than the real 5 s, so that tests of
// stalls do not take long; the code under test is the same.
class CShortWaitLayer : public CHTTPLayer
{
public:
    explicit CShortWaitLayer(int nWaitMs, int nResponseLimitMs = 60000)
    {
        m_nTimeoutSec = nWaitMs / 1000;
        m_nTimeoutUSec = (nWaitMs % 1000) * 1000;
        m_nResponseLimitMs = nResponseLimitMs;
    }
};

struct CExchange
{
    HRESULT hr = -1;
    int nStatus = -12345;
    int nLength = 0;
    QByteArray response;  // the caller's whole buffer
    long long nMs = 0;
};

// One SendRequest into a zero-filled buffer of nCapacity bytes.
CExchange RunExchange(CHTTPLayer& layer, int nPort, const QByteArray& target = "/httpapi/test",
                      const QByteArray& user = "admin", const QByteArray& password = "4719", int nCapacity = 2048,
                      bool bUtf8Credentials = false);

// Lower-case hex MD5 by Qt, as an independent check of our own routine.
inline QByteArray QtMd5Hex(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex();
}
