// https against nginx (a server block per certificate case), a scripted TLS server for cuts,
// tinyproxy and squid. The per-run CA is trusted through LUMISIFT_CA_FILE, set before the
// process's first TLS connection.
#include <cstdlib>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include <QBuffer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTcpServer>

#include <openssl/ssl.h>

#include "common/EventLoopWait.h"
#include "net/HttpRecorder.h"
#include "net/ScriptedServer.h"
#include "net/TlsPeers.h"
#include "net/TlsSession.h"

using namespace lumi::test;

namespace {

TestCertificates* certs = nullptr;

class CertificatesEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        certs = new TestCertificates;
        setenv(lumi::tlsCaFileVariable, certs->file("ca.pem").c_str(), 1);
    }
    void TearDown() override { delete certs; }
};
const auto* registered = ::testing::AddGlobalTestEnvironment(new CertificatesEnvironment);

struct Fetch {
    THttpCli cli;
    HttpRecorder rec;
    QBuffer body;
    explicit Fetch(const std::string& url) {
        cli.URL = url;
        body.open(QIODevice::WriteOnly);
        cli.RcvdStream = &body;
    }
    void run() {
        rec.attach(cli);
        cli.StartGet();
        ASSERT_TRUE(waitUntil([&] { return rec.done > 0; }, 20000));
    }
};

std::string https(const std::string& host, int port, const std::string& path = "/index.html") {
    return "https://" + host + ":" + std::to_string(port) + path;
}

} // namespace

const TestCertificates& lumi::test::runCertificates() { return *certs; }

TEST(Https, EachCertificateCaseEndsWithItsOwnWords) {
    ASSERT_TRUE(certs->made);
    NginxTlsPeer web(*certs, {{"good", ""},
                              {"wronghost", ""},
                              {"expired", ""},
                              {"selfsigned", ""},
                              {"untrusted", ""},
                              {"good", "ssl_protocols TLSv1; ssl_ciphers DEFAULT:@SECLEVEL=0;"}});
    ASSERT_TRUE(web.running()) << web.error();
    struct Case {
        size_t block;
        const char* host;
        int error;
        std::string reason;
    };
    const Case cases[] = {
        {0, "localhost", 0, "OK"},
        {0, "127.0.0.1", 0, "OK"},
        {1, "localhost", lumi::tlsHostNameMismatch,
         "Certificate does not match the host name: localhost"},
        {1, "127.0.0.1", lumi::tlsHostNameMismatch,
         "Certificate does not match the host name: 127.0.0.1"},
        {2, "localhost", lumi::tlsCertificateExpired,
         "Certificate problem: certificate has expired (localhost)"},
        {3, "localhost", lumi::tlsSelfSignedCertificate,
         "Certificate problem: self-signed certificate (localhost)"},
        {4, "localhost", lumi::tlsUnknownIssuer,
         "Certificate problem: unable to get local issuer certificate (localhost)"},
        {5, "localhost", lumi::tlsHandshakeFailed,
         "TLS handshake failed: tlsv1 alert protocol version (localhost:" +
             std::to_string(web.portOf(5)) + ")"},
    };
    for (const Case& c : cases) {
        const int port = web.portOf(c.block);
        SCOPED_TRACE(https(c.host, port));
        Fetch f(https(c.host, port));
        f.run();
        EXPECT_EQ(f.rec.error, c.error);
        EXPECT_EQ(f.cli.ReasonPhrase(), c.reason);
        EXPECT_EQ(f.body.data().toStdString(), c.error == 0 ? "hello" : "");
    }
    // The system's store alone (no LUMISIFT_CA_FILE) does not trust the test CA.
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QString::fromLatin1(lumi::tlsCaFileVariable));
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(LUMISIFT_CLI_PATH),
              {QStringLiteral("get"), QString::fromStdString(https("localhost", web.port()))});
    ASSERT_TRUE(waitUntil([&] { return cli.state() == QProcess::NotRunning; }, 20000));
    EXPECT_NE(cli.readAllStandardError().toStdString().find(
                  "Certificate problem: unable to get local issuer certificate (localhost)"),
              std::string::npos);
}

TEST(Https, StallCutAndShortBodies) {
    ASSERT_TRUE(certs->made);
    // Listening without ever answering: the handshake never gets a reply.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    const std::string peer = "localhost:" + std::to_string(silent.serverPort());
    Fetch stall("https://" + peer + "/");
    stall.cli.CtrlSocket().setTlsHandshakeTimeoutMs(300);
    stall.run();
    EXPECT_EQ(stall.rec.error, lumi::tlsHandshakeTimedOut);
    EXPECT_EQ(stall.cli.ReasonPhrase(), "TLS handshake timed out after 0.3 s (" + peer + ")");

    struct Case {
        std::string reply;
        int error;
        int status;
        std::string body;
        bool notice;
    };
    const Case cases[] = {
        {"", 0, 0, "", false}, // cut right after the handshake: no answer at all
        {"HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n0123456789", lumi::httpShortBodyError, 200,
         "0123456789", false},
        {"HTTP/1.0 200 OK\r\n\r\n0123456789", 0, 200, "0123456789", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        TlsCutServer server(*certs, c.reply);
        Fetch f(https("localhost", server.port()));
        f.run();
        EXPECT_EQ(f.rec.error, c.error);
        EXPECT_EQ(f.cli.StatusCode(), c.status);
        EXPECT_EQ(f.body.data().toStdString(), c.body);
        EXPECT_EQ(!f.cli.Notice().empty(), c.notice) << f.cli.Notice();
        // The same client then reads a plain answer without length: no TLS stream ended.
        lumi::test::ScriptedServer plain;
        plain.respond = [](const std::string&, int) {
            return lumi::test::scriptedReply({"HTTP/1.0 200 OK\r\n\r\nplain"});
        };
        f.cli.URL = plain.url("/");
        f.rec.done = 0;
        f.run();
        EXPECT_EQ(f.rec.error, 0);
        EXPECT_EQ(f.cli.Notice(), "");
    }
}

// A reset (in the handshake too) or a broken record ends a TLS request at once, with its
// error and status 404.
TEST(Https, ResetsBrokenRecordsAndAlertsFailTheRequest) {
    ASSERT_TRUE(certs->made);
    const std::string head = "HTTP/1.0 200 OK\r\n\r\npartial", failed = "TLS connection failed: ";
    const std::tuple<TlsCutEnding, int, std::string> cases[] = {
        {{"", true}, lumi::wsaECONNRESET, "Connection reset by peer"},
        {{"\x17\x03\x03\x00\x10" + std::string(16, 'x')}, lumi::tlsStreamBroken, failed},
        {{std::string("\x15\x03\x03\x00\x02\x02\x28", 7)}, lumi::tlsStreamBroken, failed},
        {{"", false, true}, lumi::tlsStreamBroken, failed + "tlsv13 alert certificate required"},
        {{"", true, false, true}, lumi::tlsHandshakeFailed,
         "TLS handshake failed: Connection reset by peer (localhost:"},
    };
    for (const auto& [after, error, reason] : cases) {
        TlsCutServer server(*certs, head, after);
        Fetch f(https("localhost", server.port()));
        f.run();
        EXPECT_EQ(f.rec.error, error) << reason;
        EXPECT_EQ(f.cli.StatusCode(), 404);
        EXPECT_EQ(f.cli.ReasonPhrase().rfind(reason, 0), 0u) << f.cli.ReasonPhrase();
    }
}

TEST(Https, RelocationsGoBetweenHttpAndHttps) {
    ASSERT_TRUE(certs->made);
    const int plain = freeLoopbackPort();
    const int secure = freeLoopbackPort();
    NginxTlsPeer web(*certs, {{"", "listen 127.0.0.1:" + std::to_string(plain) +
                                       "; location = /r1 { return 302 " +
                                       https("localhost", secure, "/r2") + "; }"},
                              {"good", "listen 127.0.0.1:" + std::to_string(secure) +
                                           " ssl; location = /r2 { return 302 http://127.0.0.1:" +
                                           std::to_string(plain) + "/index.html; }"}});
    ASSERT_TRUE(web.running()) << web.error();
    Fetch f("http://127.0.0.1:" + std::to_string(plain) + "/r1");
    f.run();
    EXPECT_EQ(f.rec.error, 0);
    EXPECT_EQ(f.rec.count("OnLocationChange"), 2u);
    EXPECT_EQ(f.body.data().toStdString(), "hello");
}

TEST(Https, TunnelsThroughProxiesAllowedAndRefused) {
    ASSERT_TRUE(certs->made);
    NginxTlsPeer web(*certs, {{"good", ""}, {"good", ""}});
    ASSERT_TRUE(web.running()) << web.error();
    const std::string allowed = std::to_string(web.portOf(0));
    TinyproxyPeer tinyproxy("ConnectPort " + allowed);
    SquidPeer squid("acl SSL_ports port " + allowed +
                    "\nacl CONNECT method CONNECT\nhttp_access deny CONNECT !SSL_ports");
    for (PeerProcess* proxy : std::initializer_list<PeerProcess*>{&tinyproxy, &squid}) {
        ASSERT_TRUE(proxy->running()) << proxy->error();
        for (size_t block : {0, 1}) {
            const std::string target = "localhost:" + std::to_string(web.portOf(block));
            SCOPED_TRACE(target + (proxy == &squid ? " through squid" : " through tinyproxy"));
            Fetch f("https://" + target + "/index.html");
            f.cli.Proxy = "127.0.0.1:" + std::to_string(proxy->port());
            f.run();
            EXPECT_EQ(f.rec.error, block == 0 ? 0 : lumi::httpTunnelRefusedError);
            EXPECT_EQ(f.body.data().toStdString(), block == 0 ? "hello" : "");
            const std::string refused = "Proxy refused the tunnel to " + target + ": 403 ";
            if (block == 1) {
                EXPECT_EQ(f.cli.ReasonPhrase().substr(0, refused.size()), refused);
            }
        }
    }
}

// The proxy's login goes with the CONNECT (without it the proxy refuses the tunnel) and never
// reaches the origin inside the tunnel, which echoes what it received.
TEST(Https, TheProxyLoginGoesToTheProxyOnly) {
    ASSERT_TRUE(certs->made);
    NginxTlsPeer web(*certs, {{"good", "location = /login { return 200 \"[$http_proxy_authorization]\"; }"}});
    ASSERT_TRUE(web.running()) << web.error();
    TinyproxyPeer proxy("BasicAuth lumi s3cret\nConnectPort " + std::to_string(web.portOf(0)));
    ASSERT_TRUE(proxy.running()) << proxy.error();
    for (const bool login : {true, false}) {
        SCOPED_TRACE(login ? "with the login" : "without it");
        Fetch f("https://localhost:" + std::to_string(web.portOf(0)) + "/login");
        f.cli.Proxy = "127.0.0.1:" + std::to_string(proxy.port());
        if (login) {
            f.cli.ProxyUsername = "lumi";
            f.cli.ProxyPassword = "s3cret";
        }
        f.run();
        EXPECT_EQ(f.rec.error, login ? 0 : lumi::httpTunnelRefusedError);
        EXPECT_EQ(f.body.data().toStdString(), login ? "[]" : "");
    }
}

// A peer seen before resumes its session (TLS 1.2 and 1.3): one full handshake in three.
TEST(Https, SessionsAreResumedPerHostAndPort) {
    for (const int version : {TLS1_2_VERSION, TLS1_3_VERSION}) {
        TlsCutEnding newest;
        newest.maxVersion = version;
        TlsCutServer server(*certs, "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok", newest);
        for (int i = 0; i < 3; ++i) {
            Fetch f(https("localhost", server.port()));
            f.run();
            EXPECT_EQ(f.body.data().toStdString(), "ok");
        }
        EXPECT_EQ(server.fullHandshakes * 10 + server.resumedHandshakes, 12) << version;
    }
}
