// Life cycle and connection of the client, and the socket layer under it.
#include "CScriptedServer.h"
#include "HttpTestSupport.h"
#include "LoopbackSocket.h"

#include "platform/Sockets.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// A loopback port where nothing listens: bound, never listening.
class CDeadPort
{
public:
    CDeadPort()
    {
        m_nFd = BindLoopback(m_nPort, -1);
    }
    ~CDeadPort() { close(m_nFd); }
    int Port() const { return m_nPort; }

private:
    int m_nFd = -1;
    int m_nPort = 0;
};

// A listener whose accept queue is full, so that a further connect hangs.
class CFullBacklog
{
public:
    CFullBacklog()
    {
        m_nFd = BindLoopback(m_nPort, 0);
        for (int i = 0; i < 4; ++i) {
            const SOCKET s = SocketCreateTcp();
            SocketConnect(s, LoopbackAddress(m_nPort), 200);
            m_fillers.push_back(s);
        }
    }
    ~CFullBacklog()
    {
        for (const SOCKET s : m_fillers)
            SocketClose(s);
        close(m_nFd);
    }
    int Port() const { return m_nPort; }

private:
    int m_nFd = -1;
    int m_nPort = 0;
    std::vector<SOCKET> m_fillers;
};

sockaddr_in Loopback(int nPort) { return LoopbackAddress(nPort); }

} // namespace

TEST(CHTTPLayerLife, InitialValues)
{
    CHTTPLayer layer;
    EXPECT_TRUE(layer.m_strLastError.isEmpty());
    EXPECT_EQ(layer.Socket(), INVALID_SOCKET);
    EXPECT_EQ(layer.TimeoutSec(), 5);
    EXPECT_EQ(layer.TimeoutUSec(), 5);
    EXPECT_TRUE(layer.Host().isEmpty());
    EXPECT_EQ(layer.Port(), 80);
}

TEST(CHTTPLayerLife, EachObjectHoldsOneStartupReference)
{
    const int nBefore = SocketStartupCount();
    {
        std::vector<std::unique_ptr<CHTTPLayer>> layers;
        for (int i = 0; i < 10; ++i)
            layers.push_back(std::make_unique<CHTTPLayer>());
        EXPECT_EQ(SocketStartupCount(), nBefore + 10);
    }
    EXPECT_EQ(SocketStartupCount(), nBefore);
}

TEST(CHTTPLayerLife, DeletingAnOpenObjectClosesItsSocketAndGivesBackOneReference)
{
    CScriptedServer server;
    server.AddConnection({CScriptedServer::Step::Wait()});
    std::unique_ptr<CHTTPLayer> pLayer = std::make_unique<CShortWaitLayer>(1000);
    const int nBefore = SocketStartupCount();
    pLayer->SetHost(QStringLiteral("127.0.0.1"));
    ASSERT_EQ(pLayer->Connect(server.Port()), 0);
    const SOCKET s = pLayer->Socket();
    ASSERT_NE(s, INVALID_SOCKET);
    pLayer.reset();
    EXPECT_EQ(SocketStartupCount(), nBefore - 1);
    for (int i = 0; i < 100 && !server.SawReset(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(server.SawReset()) << "the close is abortive";
}

TEST(CHTTPLayerLife, CloseTwiceIsHarmless)
{
    CScriptedServer server;
    server.AddConnection({CScriptedServer::Step::Wait()});
    CHTTPLayer layer;
    layer.SetHost(QStringLiteral("127.0.0.1"));
    ASSERT_EQ(layer.Connect(server.Port()), 0);
    layer.Close();
    EXPECT_EQ(layer.Socket(), INVALID_SOCKET);
    layer.Close();
    EXPECT_EQ(layer.Socket(), INVALID_SOCKET);
}

TEST(CHTTPLayerLife, SetHostKeepsAtMost259Characters)
{
    CHTTPLayer layer;
    EXPECT_EQ(layer.SetHost(QString(300, QLatin1Char('h'))), 0);
    EXPECT_EQ(layer.Host(), QString(259, QLatin1Char('h')));
    EXPECT_EQ(layer.SetHost(QString(258, QLatin1Char('h')) + QString::fromUtf8("\xF0\x9F\x98\x80")), 0);
    EXPECT_EQ(layer.Host(), QString(258, QLatin1Char('h'))) << "no half of a surrogate pair is kept";
    layer.SetHost(QStringLiteral("cam1"));
    EXPECT_EQ(layer.Host(), QStringLiteral("cam1"));
}

TEST(CHTTPLayerConnect, RefusedPortFailsAndLeavesTheSocket)
{
    CDeadPort dead;
    CHTTPLayer layer;
    layer.SetHost(QStringLiteral("127.0.0.1"));
    EXPECT_EQ(layer.Connect(dead.Port()), -1);
    EXPECT_EQ(layer.Port(), dead.Port());
    EXPECT_NE(layer.Socket(), INVALID_SOCKET);
    layer.Close();
    EXPECT_EQ(layer.Socket(), INVALID_SOCKET);
}

TEST(CHTTPLayerConnect, UnresolvableHostFails)
{
    CHTTPLayer layer;
    layer.SetHost(QStringLiteral("no such host"));
    EXPECT_EQ(layer.Connect(80), -1);
    layer.SetHost(QString());
    EXPECT_EQ(layer.Connect(80), -1);
}

TEST(CHTTPLayerConnect, ReconnectResetsTheOldConnectionAndKeepsThePort)
{
    CScriptedServer server;
    server.AddConnection({CScriptedServer::Step::Wait()});
    server.AddConnection({CScriptedServer::Step::Read(),
                          CScriptedServer::Step::Write("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"),
                          CScriptedServer::Step::Wait()});
    CHTTPLayer layer;
    layer.SetHost(QStringLiteral("127.0.0.1"));
    ASSERT_EQ(layer.Connect(server.Port()), 0);
    char response[512] = {};
    int nLength = sizeof response;
    int nStatus = 0;
    EXPECT_EQ(layer.SendRequest("/again", response, nLength, nStatus, "", ""), S_OK);
    EXPECT_EQ(nStatus, 200);
    EXPECT_EQ(server.ConnectionCount(), 2) << "SendRequest reconnected to the port of the last Connect";
    for (int i = 0; i < 100 && !server.SawReset(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(server.SawReset());
}

TEST(CHTTPLayerConnect, SendRequestFailsWithoutAPeer)
{
    CDeadPort dead;
    CHTTPLayer layer;
    layer.SetHost(QStringLiteral("127.0.0.1"));
    layer.Connect(dead.Port());
    char response[64] = {};
    int nLength = sizeof response;
    int nStatus = -1;
    EXPECT_EQ(layer.SendRequest("/", response, nLength, nStatus, "", ""), E_FAIL);
    EXPECT_EQ(nStatus, -1) << "status not touched";
    EXPECT_EQ(nLength, 64) << "length not touched";
}

TEST(CHTTPLayerConnect, ConnectGivesUpAfterTheWait)
{
    CFullBacklog full;
    CShortWaitLayer layer(700);
    layer.SetHost(QStringLiteral("127.0.0.1"));
    int nResult = 0;
    const long long nMs = MeasureMs([&] { nResult = layer.Connect(full.Port()); });
    EXPECT_EQ(nResult, -1);
    EXPECT_GE(nMs, 600);
    EXPECT_LT(nMs, 3000);
}

TEST(CHTTPLayerConnect, ReadingWithoutAConnectionFails)
{
    CHTTPLayer layer;
    CResponseParser response;
    EXPECT_EQ(layer.ReadResponse(response), E_FAIL);
    EXPECT_EQ(layer.Failure(), QStringLiteral("no connection"));
}

TEST(Sockets, StartupCountPairs)
{
    const int nBefore = SocketStartupCount();
    SocketStartup();
    SocketStartup();
    EXPECT_EQ(SocketStartupCount(), nBefore + 2);
    SocketCleanup();
    SocketCleanup();
    EXPECT_EQ(SocketStartupCount(), nBefore);
}

TEST(Sockets, ResolvesDottedAndLocalNames)
{
    in_addr address{};
    ASSERT_TRUE(SocketResolveIPv4("127.0.0.1", &address));
    EXPECT_EQ(ntohl(address.s_addr), 0x7F000001u);
    ASSERT_TRUE(SocketResolveIPv4("localhost", &address));
    EXPECT_EQ(ntohl(address.s_addr) >> 24, 127u);
    EXPECT_FALSE(SocketResolveIPv4("bad name", &address));
    EXPECT_FALSE(SocketResolveIPv4("", &address));
}

TEST(Sockets, BoundedConnectTimesOut)
{
    CFullBacklog full;
    const SOCKET s = SocketCreateTcp();
    ASSERT_NE(s, INVALID_SOCKET);
    int nResult = 0;
    const long long nMs = MeasureMs([&] { nResult = SocketConnect(s, Loopback(full.Port()), 300); });
    EXPECT_EQ(nResult, SOCKET_ERROR);
    EXPECT_EQ(SocketLastError(), ETIMEDOUT);
    EXPECT_GE(nMs, 250);
    EXPECT_LT(nMs, 2000);
    SocketClose(s);
}

TEST(Sockets, SendToAResetPeerFailsWithoutSignal)
{
    CScriptedServer server;
    // The pause lets the connect complete before the reset comes.
    server.AddConnection({CScriptedServer::Step::Pause(200), CScriptedServer::Step::Abort()});
    const SOCKET s = SocketCreateTcp();
    ASSERT_EQ(SocketConnect(s, Loopback(server.Port()), 1000), 0);
    EXPECT_EQ(SocketWaitReadable(s, 2, 0), 1);
    EXPECT_TRUE(SocketPeerClosed(s));
    int nResult = 0;
    for (int i = 0; i < 3 && nResult != SOCKET_ERROR; ++i)
        nResult = SocketSend(s, "abc", 3);
    EXPECT_EQ(nResult, SOCKET_ERROR);
    EXPECT_TRUE(SocketLastError() == EPIPE || SocketLastError() == ECONNRESET) << SocketLastError();
    SocketClose(s);
}

TEST(Sockets, WaitReadableRunsOutWhenNothingComes)
{
    CScriptedServer server;
    server.AddConnection({CScriptedServer::Step::Wait()});
    const SOCKET s = SocketCreateTcp();
    ASSERT_EQ(SocketConnect(s, Loopback(server.Port()), 1000), 0);
    const long long nMs = MeasureMs([&] { EXPECT_EQ(SocketWaitReadable(s, 0, 200000), 0); });
    EXPECT_GE(nMs, 190);
    EXPECT_FALSE(SocketPeerClosed(s));
    SocketClose(s);
}
