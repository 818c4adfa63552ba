#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>

#include "common/EventLoopWait.h"
#include "common/Peers.h"
#include "net/HttpProt.h"
#include "net/HttpRecorder.h"
#include "net/ScriptedServer.h"

using lumi::test::HttpRecorder;
using lumi::test::waitUntil;

namespace {

// Files served by nginx for the whole suite: a small text, a 100 MB binary, many pictures.
class HttpPeers : public testing::Test {
protected:
    static constexpr qint64 bigSize = 100LL * 1024 * 1024;

    static void SetUpTestSuite() {
        folder_ = new QTemporaryDir();
        const std::string root = folder_->path().toStdString();
        std::mt19937 random(7);
        auto writeFile = [&](const std::string& name, qint64 size) {
            QFile f(QString::fromStdString(root + "/" + name));
            if (!f.open(QIODevice::WriteOnly)) return;
            std::vector<char> block(1 << 20);
            for (qint64 left = size; left > 0;) {
                for (auto& c : block)
                    c = static_cast<char>(random());
                const qint64 n = std::min<qint64>(left, static_cast<qint64>(block.size()));
                f.write(block.data(), n);
                left -= n;
            }
        };
        writeFile("small.txt", 12345);
        writeFile("big.bin", bigSize);
        std::filesystem::create_directories(root + "/pics");
        for (int i = 0; i < 10; ++i)
            writeFile("pics/p" + std::to_string(i) + ".jpg", 3000 + i);
        nginx_ = new lumi::test::NginxPeer(root);
    }
    static void TearDownTestSuite() {
        delete nginx_;
        delete folder_;
    }
    static std::string servedPath(const std::string& name) {
        return folder_->path().toStdString() + "/" + name;
    }
    static QByteArray fileHash(const QString& path) {
        QFile f(path);
        QCryptographicHash h(QCryptographicHash::Sha256);
        if (f.open(QIODevice::ReadOnly)) h.addData(&f);
        return h.result();
    }
    static int openDescriptors() {
        int n = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
            ++n;
        return n;
    }

    static QTemporaryDir* folder_;
    static lumi::test::NginxPeer* nginx_;
};
QTemporaryDir* HttpPeers::folder_ = nullptr;
lumi::test::NginxPeer* HttpPeers::nginx_ = nullptr;

TEST_F(HttpPeers, SmallAndLargeFilesArriveIntact) {
    ASSERT_TRUE(nginx_->running()) << nginx_->error();
    QTemporaryDir out;
    for (const std::string name : {"small.txt", "big.bin"}) {
        SCOPED_TRACE(name);
        const QString target = out.path() + QStringLiteral("/") + QString::fromStdString(name);
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        THttpCli cli;
        HttpRecorder rec;
        rec.attach(cli);
        cli.OnDocData = nullptr; // the big body is not copied into the recorder
        cli.RcvdStream = &file;
        cli.URL = nginx_->url("/" + name);
        cli.StartGet();
        ASSERT_TRUE(waitUntil([&] { return rec.done > 0; }, 60000));
        file.close();
        EXPECT_EQ(rec.error, 0);
        EXPECT_EQ(cli.StatusCode(), 200);
        EXPECT_EQ(cli.ContentLength(), QFileInfo(QString::fromStdString(servedPath(name))).size());
        EXPECT_EQ(cli.RcvdCount(), cli.ContentLength());
        EXPECT_EQ(fileHash(target), fileHash(QString::fromStdString(servedPath(name))));
    }
}

TEST_F(HttpPeers, MissingFileIs404WithNoError) {
    ASSERT_TRUE(nginx_->running()) << nginx_->error();
    THttpCli cli;
    HttpRecorder rec;
    rec.attach(cli);
    cli.URL = nginx_->url("/no/such/file.jpg");
    cli.StartGet();
    ASSERT_TRUE(waitUntil([&] { return rec.done > 0; }));
    EXPECT_EQ(cli.StatusCode(), 404);
    EXPECT_EQ(cli.ReasonPhrase(), "Not Found");
    EXPECT_EQ(rec.error, 0);
    EXPECT_EQ(cli.DocName(), "file.jpg");
}

TEST_F(HttpPeers, FiveHundredClientsAtOnceAllCompleteAndReleaseDescriptors) {
    ASSERT_TRUE(nginx_->running()) << nginx_->error();
    // Let descriptors of earlier tests settle (notifiers are released from the loop).
    lumi::test::spinFor(20);
    const int before = openDescriptors();
    constexpr int count = 500;
    std::vector<std::unique_ptr<THttpCli>> clients;
    int done = 0, good = 0;
    for (int i = 0; i < count; ++i) {
        auto cli = std::make_unique<THttpCli>();
        const int index = i % 10;
        cli->URL = nginx_->url("/pics/p" + std::to_string(index) + ".jpg");
        cli->Tag = index;
        cli->OnRequestDone = [&](THttpCli* s, THttpRequest, int error) {
            ++done;
            good += error == 0 && s->StatusCode() == 200 && s->RcvdCount() == 3000 + s->Tag &&
                    s->ContentType() == "image/jpeg";
        };
        clients.push_back(std::move(cli));
    }
    for (auto& c : clients)
        c->StartGet();
    ASSERT_TRUE(waitUntil([&] { return done == count; }, 60000)) << done << " done";
    EXPECT_EQ(good, count);
    clients.clear();
    EXPECT_TRUE(waitUntil([&] { return openDescriptors() == before; }, 5000))
        << openDescriptors() << " open, " << before << " before";
}

TEST_F(HttpPeers, ThroughTinyproxyWithAbsolutePathAndHostLine) {
    ASSERT_TRUE(nginx_->running()) << nginx_->error();
    lumi::test::TinyproxyPeer proxy;
    ASSERT_TRUE(proxy.running()) << proxy.error();

    QTemporaryDir out;
    const QString target = out.path() + QStringLiteral("/small.txt");
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    THttpCli cli;
    HttpRecorder rec;
    rec.attach(cli);
    cli.RcvdStream = &file;
    cli.URL = nginx_->url("/small.txt");
    cli.Proxy = "127.0.0.1";
    cli.ProxyPort = std::to_string(proxy.port());
    cli.StartGet();
    ASSERT_TRUE(waitUntil([&] { return rec.done > 0; }, 20000));
    file.close();
    EXPECT_EQ(rec.error, 0);
    EXPECT_EQ(cli.StatusCode(), 200) << proxy.log();
    EXPECT_EQ(fileHash(target), fileHash(QString::fromStdString(servedPath("small.txt"))));
    ASSERT_GE(rec.indexOf("OnCommand GET"), 0);
    EXPECT_EQ(rec.events[static_cast<size_t>(rec.indexOf("OnCommand GET"))],
              "OnCommand GET " + nginx_->url("/small.txt") + " HTTP/1.0");
    EXPECT_GE(rec.indexOf("OnCommand Host: 127.0.0.1"), 0);

    // What the proxy forwards to an origin we can watch: the path and the Host line.
    lumi::test::ScriptedServer origin;
    THttpCli second;
    HttpRecorder rec2;
    rec2.attach(second);
    second.URL = origin.url("/watched?q=1");
    second.Proxy = "127.0.0.1:" + std::to_string(proxy.port());
    second.StartGet();
    ASSERT_TRUE(waitUntil([&] { return rec2.done > 0; }, 20000));
    EXPECT_EQ(second.StatusCode(), 200) << proxy.log();
    ASSERT_EQ(origin.requests().size(), 1u);
    EXPECT_EQ(origin.requests()[0].rfind("GET /watched?q=1 HTTP/1.", 0), 0u)
        << origin.requests()[0];
    EXPECT_NE(origin.requests()[0].find("\r\nHost: 127.0.0.1"), std::string::npos);
}

} // namespace

namespace {

// lighttpd and apache serving one folder that holds a directory, a relative relocation and a
// name with a blank; tinyproxy and squid as proxies in front of them.
class RealServers : public testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new QTemporaryDir();
        const std::string root = folder_->path().toStdString();
        auto writeFile = [&](const std::string& name, const std::string& text) {
            std::filesystem::create_directories(
                std::filesystem::path(root + "/" + name).parent_path());
            QFile f(QString::fromStdString(root + "/" + name));
            if (f.open(QIODevice::WriteOnly))
                f.write(text.data(), static_cast<qint64>(text.size()));
        };
        writeFile("dir/index.html", "directory index");
        writeFile("sub/target.html", "relocation target");
        writeFile("a b.html", "blank in the name");
        writeFile("rel.asis", "Status: 302 Found\nLocation: sub/target.html\n\nmoved\n");
        lighttpd_ = new lumi::test::LighttpdPeer(root);
        apache_ = new lumi::test::ApachePeer(root);
        tinyproxy_ = new lumi::test::TinyproxyPeer();
        squid_ = new lumi::test::SquidPeer();
    }
    static void TearDownTestSuite() {
        delete squid_;
        delete tinyproxy_;
        delete apache_;
        delete lighttpd_;
        delete folder_;
    }

    static QTemporaryDir* folder_;
    static lumi::test::LighttpdPeer* lighttpd_;
    static lumi::test::ApachePeer* apache_;
    static lumi::test::TinyproxyPeer* tinyproxy_;
    static lumi::test::SquidPeer* squid_;
};
QTemporaryDir* RealServers::folder_ = nullptr;
lumi::test::LighttpdPeer* RealServers::lighttpd_ = nullptr;
lumi::test::ApachePeer* RealServers::apache_ = nullptr;
lumi::test::TinyproxyPeer* RealServers::tinyproxy_ = nullptr;
lumi::test::SquidPeer* RealServers::squid_ = nullptr;

TEST_F(RealServers, RelocationsAndEscapedNamesReachTheDocument) {
    struct Server {
        const char* name;
        lumi::test::PeerProcess* peer;
        std::string relativeRelocation;
    };
    const Server servers[] = {{"lighttpd", lighttpd_, "/rel"}, {"apache", apache_, "/rel.asis"}};
    const std::pair<const char*, lumi::test::PeerProcess*> proxies[] = {
        {"direct", nullptr}, {"tinyproxy", tinyproxy_}, {"squid", squid_}};
    for (const Server& server : servers) {
        ASSERT_TRUE(server.peer->running()) << server.name << ": " << server.peer->error();
        for (const auto& [proxyName, proxy] : proxies) {
            if (proxy) {
                ASSERT_TRUE(proxy->running()) << proxyName << ": " << proxy->error();
            }
            // A directory without its slash: apache relocates to an address built from the
            // Host line, lighttpd to a path; a relocation relative to the page's folder; a
            // blank and a fragment in the address.
            const std::pair<std::string, std::string> cases[] = {
                {"/dir", "directory index"},
                {server.relativeRelocation, "relocation target"},
                {"/a b.html#top", "blank in the name"},
            };
            for (const auto& [path, body] : cases) {
                SCOPED_TRACE(std::string(server.name) + " " + proxyName + " " + path);
                QBuffer received;
                received.open(QIODevice::WriteOnly);
                THttpCli cli;
                HttpRecorder rec;
                rec.attach(cli);
                cli.RcvdStream = &received;
                cli.URL = server.peer->url(path);
                if (proxy) cli.Proxy = "127.0.0.1:" + std::to_string(proxy->port());
                cli.StartGet();
                ASSERT_TRUE(waitUntil([&] { return rec.done > 0; }, 20000));
                EXPECT_EQ(rec.error, 0);
                EXPECT_EQ(cli.StatusCode(), 200) << server.peer->log();
                EXPECT_EQ(received.data().toStdString(), body);
            }
        }
    }
}

} // namespace
