#include "CRealServer.h"
#include "EngineHarness.h"
#include "engine/RunLogTexts.h"

#include <gtest/gtest.h>

namespace {

// A whole script against Apache (Digest with opaque and nonce-count check)
// and lighttpd (Digest), both with their default keep-alive settings.
TEST(RealPeerRun, DigestScriptAgainstApacheAndLighttpd)
{
    const QString strMissing = CRealServer::NotInstalled({CRealServer::Apache, CRealServer::Lighttpd});
    if (!strMissing.isEmpty())
        GTEST_SKIP() << strMissing.toStdString();
    CRealServer apache(CRealServer::Apache);
    CRealServer lighttpd(CRealServer::Lighttpd);
    QString strError;
    ASSERT_TRUE(apache.Start(&strError)) << strError.toStdString();
    ASSERT_TRUE(lighttpd.Start(&strError)) << strError.toStdString();

    const QString strApache = QStringLiteral("http://127.0.0.1:%1/httpapi/index.txt?x=1").arg(apache.Port());
    const QString strLighttpd = QStringLiteral("http://127.0.0.1:%1/httpapi/index.txt").arg(lighttpd.Port());
    EngineHarness h;
    const QStringList texts =
        h.Run(QStringLiteral("While(3)\r\n%1\r\n%2\r\nEnd").arg(strApache, strLighttpd), QStringLiteral("1000"));

    QStringList expected{QStringLiteral("Read command"),
                         QStringLiteral("Collect connect info"),
                         QStringLiteral("Connect to each servers"),
                         QStringLiteral("Application try to connect to 2 servers"),
                         QStringLiteral("Try to connect 127.0.0.1:%1").arg(apache.Port()),
                         QStringLiteral("Connected : 127.0.0.1:%1").arg(apache.Port()),
                         QStringLiteral("Try to connect 127.0.0.1:%1").arg(lighttpd.Port()),
                         QStringLiteral("Connected : 127.0.0.1:%1").arg(lighttpd.Port()),
                         QString(114, QLatin1Char('='))};
    for (int nPass = 1; nPass <= 3; ++nPass) {
        for (const QString& strUrl : {strApache, strLighttpd})
            expected << QStringLiteral("[SEND] ") + strUrl << QStringLiteral("Response time : T ms")
                     << QStringLiteral("Response data : velkor httpapi ok") << RunLog::WhileCountLine(nPass);
    }
    expected << QStringLiteral("== Total running time(Http api only) : T ms ") + QString(66, QLatin1Char('='))
             << QStringLiteral("== Total running time(Application)    : T ms ") + QString(66, QLatin1Char('='))
             << RunLog::WhileRepeatLine(3, false);
    EXPECT_EQ(texts, expected) << apache.ErrorLog().toStdString();
    EXPECT_EQ(h.m_engine.Context().m_nRequestsFailed, 0);
}

}  // namespace
