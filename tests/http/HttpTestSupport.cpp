#include "HttpTestSupport.h"

#include "CScriptedServer.h"

CExchange RunExchange(CHTTPLayer& layer, int nPort, const QByteArray& target, const QByteArray& user,
                      const QByteArray& password, int nCapacity, bool bUtf8Credentials)
{
    CExchange exchange;
    exchange.response = QByteArray(nCapacity, '\0');
    exchange.nLength = nCapacity;
    layer.SetHost(QStringLiteral("127.0.0.1"));
    if (layer.Connect(nPort) != 0) {
        exchange.hr = -2;
        return exchange;
    }
    exchange.nMs = MeasureMs([&] {
        exchange.hr = layer.SendRequest(target, exchange.response.data(), exchange.nLength, exchange.nStatus, user,
                                        password, bUtf8Credentials);
    });
    return exchange;
}
