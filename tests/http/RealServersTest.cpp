// Exchanges with stock Apache httpd and lighttpd on loopback.
#include "CRealServer.h"
#include "http/CResponseParser.h"
#include "CScriptedServer.h"
#include "CTlsPeer.h"
#include "HttpTestSupport.h"

#include <gtest/gtest.h>

namespace {

class RealServerTest : public ::testing::Test
{
protected:
    // Between them the cases need both Apache httpd and lighttpd: where one
    // is not installed, they are skipped, not failed.
    void SetUp() override
    {
        const QString strMissing = CRealServer::NotInstalled({CRealServer::Apache, CRealServer::Lighttpd});
        if (!strMissing.isEmpty())
            GTEST_SKIP() << strMissing.toStdString();
    }

    void StartServer(CRealServer::Kind kind)
    {
        m_pServer = std::make_unique<CRealServer>(kind);
        QString strError;
        ASSERT_TRUE(m_pServer->Start(&strError)) << strError.toStdString();
    }

    CExchange Get(const QByteArray& target, const QByteArray& password = CRealServer::kPassword)
    {
        CHTTPLayer layer;
        return RunExchange(layer, m_pServer->Port(), target, CRealServer::kUser, password);
    }

    // The 401 as the plain request gets it.
    QByteArray Challenge(const QByteArray& target, const CTlsOptions* pTls = nullptr)
    {
        CHTTPLayer layer;
        layer.SetHost(QStringLiteral("127.0.0.1"));
        if (pTls)
            layer.SetTls(true, *pTls);
        EXPECT_EQ(layer.Connect(m_pServer->Port()), 0);
        EXPECT_EQ(layer.SendGet(target), S_OK);
        CResponseParser response;
        EXPECT_EQ(layer.ReadResponse(response), S_OK);
        EXPECT_EQ(response.Status(), 401);
        return response.Head();
    }

    void ExpectOk(const QByteArray& target, const QByteArray& body)
    {
        const CExchange ex = Get(target);
        EXPECT_EQ(ex.hr, S_OK) << target.constData();
        EXPECT_EQ(ex.nStatus, 200) << target.constData() << "\n" << ex.response.constData() << "\n"
                                   << m_pServer->ErrorLog().toStdString();
        EXPECT_TRUE(ex.response.left(ex.nLength).endsWith(body)) << ex.response.constData();
        EXPECT_LT(ex.nMs, 1000) << target.constData();
    }

    std::unique_ptr<CRealServer> m_pServer;
};

} // namespace

TEST_F(RealServerTest, ApacheOpenLocation)
{
    StartServer(CRealServer::Apache);
    ExpectOk("/open/index.txt", "velkor open ok\n");
}

TEST_F(RealServerTest, ApacheBasic)
{
    StartServer(CRealServer::Apache);
    ExpectOk("/basic/index.txt", "velkor basic ok\n");
}

TEST_F(RealServerTest, ApacheDigestQopAuth)
{
    StartServer(CRealServer::Apache);
    const QByteArray challenge = Challenge("/digest/index.txt");
    EXPECT_TRUE(challenge.contains("qop=\"auth\"")) << challenge.constData();
    EXPECT_FALSE(challenge.contains("opaque=")) << challenge.constData();
    ExpectOk("/digest/index.txt", "velkor digest ok\n");
}

TEST_F(RealServerTest, ApacheDigestWithOpaque)
{
    StartServer(CRealServer::Apache);
    const QByteArray challenge = Challenge("/opaque/index.txt?x=1");
    EXPECT_TRUE(challenge.contains("opaque=\"")) << challenge.constData();
    ExpectOk("/opaque/index.txt?x=1", "velkor opaque ok\n");
}

TEST_F(RealServerTest, ApacheRepeatedExchangesAllSucceedQuickly)
{
    StartServer(CRealServer::Apache);
    for (int i = 0; i < 10; ++i) {
        ExpectOk("/digest/index.txt", "velkor digest ok\n");
        ExpectOk("/opaque/index.txt", "velkor opaque ok\n");
        ExpectOk("/basic/index.txt", "velkor basic ok\n");
    }
}

TEST_F(RealServerTest, ApacheRefusesAWrongPassword)
{
    StartServer(CRealServer::Apache);
    for (const QByteArray target : {"/basic/index.txt", "/digest/index.txt", "/opaque/index.txt"}) {
        const CExchange ex = Get(target, "wrong");
        EXPECT_EQ(ex.hr, S_OK) << target.constData();
        EXPECT_EQ(ex.nStatus, 401) << target.constData();
        EXPECT_TRUE(ex.response.startsWith("HTTP/1.1 401")) << target.constData();
        EXPECT_LT(ex.nMs, 3000);
    }
}

TEST_F(RealServerTest, ApacheNotFoundIsPassedOn)
{
    StartServer(CRealServer::Apache);
    const CExchange ex = Get("/open/missing.txt");
    EXPECT_EQ(ex.hr, S_OK);
    EXPECT_EQ(ex.nStatus, 404);
    EXPECT_LT(ex.nMs, 1000);
}

TEST_F(RealServerTest, LargeBodiesAreReadToTheirEnd)
{
    for (const CRealServer::Kind kind : {CRealServer::Apache, CRealServer::Lighttpd}) {
        StartServer(kind);
        CHTTPLayer layer;
        const CExchange ex = RunExchange(layer, m_pServer->Port(), "/open/big.bin", CRealServer::kUser,
                                         CRealServer::kPassword);
        EXPECT_EQ(ex.hr, S_OK) << layer.Failure().toStdString();
        EXPECT_EQ(ex.nStatus, 200);
        EXPECT_TRUE(ex.response.left(ex.nLength).endsWith("vvvv")) << "the first bytes of the body are shown";
    }
}

TEST_F(RealServerTest, LighttpdDigest)
{
    StartServer(CRealServer::Lighttpd);
    ExpectOk("/digest/index.txt", "velkor digest ok\n");
    ExpectOk("/open/index.txt", "velkor open ok\n");
}

TEST_F(RealServerTest, LighttpdRefusesAWrongPassword)
{
    StartServer(CRealServer::Lighttpd);
    const CExchange ex = Get("/digest/index.txt", "wrong");
    EXPECT_EQ(ex.hr, S_OK);
    EXPECT_EQ(ex.nStatus, 401);
    EXPECT_LT(ex.nMs, 3000) << "refusals may be slowed down on purpose";
}

TEST_F(RealServerTest, LighttpdHttpsWithDigestSha256)
{
    CTestCertificates certificates;
    const CTestCertificates::Leaf leaf = certificates.MakeLeaf("IP:127.0.0.1");
    m_pServer = std::make_unique<CRealServer>(CRealServer::LighttpdTls, leaf.strCertFile, leaf.strKeyFile);
    QString strError;
    ASSERT_TRUE(m_pServer->Start(&strError)) << strError.toStdString();
    const CTlsOptions withCa{certificates.CaFile(), false};
    for (const QByteArray target : {"/digest/index.txt", "/opaque/index.txt"}) {
        const QByteArray challenge = Challenge(target, &withCa);
        EXPECT_TRUE(challenge.contains("algorithm=SHA-256")) << challenge.constData();
        EXPECT_EQ(challenge.contains("algorithm=MD5"), target.startsWith("/opaque")) << challenge.constData();

        CHTTPLayer layer;
        layer.SetTls(true, withCa);
        const CExchange ex = RunExchange(layer, m_pServer->Port(), target, CRealServer::kUser, CRealServer::kPassword);
        EXPECT_EQ(ex.hr, S_OK) << target.constData();
        EXPECT_EQ(ex.nStatus, 200) << target.constData() << "\n" << ex.response.constData() << "\n"
                                   << m_pServer->ErrorLog().toStdString();
        EXPECT_TRUE(ex.response.left(ex.nLength).endsWith("ok\n")) << ex.response.constData();
        EXPECT_LT(ex.nMs, 1000) << target.constData();
    }
    CHTTPLayer refused;
    refused.SetHost(QStringLiteral("127.0.0.1"));
    refused.SetTls(true);
    EXPECT_EQ(refused.Connect(m_pServer->Port()), -1);
    EXPECT_TRUE(refused.TlsCertificateRefused());
}
