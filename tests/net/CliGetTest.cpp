#include <string>

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "common/EventLoopWait.h"
#include "common/Peers.h"
#include "net/ScriptedServer.h"

using lumi::test::httpResponse;
using lumi::test::ScriptedReply;
using lumi::test::ScriptedServer;

namespace {

struct CliRun {
    int exitCode = -1;
    std::string out, err;
};

// Runs lumisift-cli while this process's event loop keeps the scripted server going.
CliRun runCli(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(LUMISIFT_CLI_PATH), args);
    CliRun r;
    if (!p.waitForStarted(5000)) return r;
    EXPECT_TRUE(lumi::test::waitUntil([&] { return p.state() == QProcess::NotRunning; }, 20000));
    r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

TEST(CliGet, TracePrintsEveryEventOfASuccessfulDirectGet) {
    ScriptedServer server;
    server.respond = [](const std::string&, int) {
        ScriptedReply r;
        r.chunks = {httpResponse(
            "HTTP/1.0 200 OK",
            {"Content-Type: image/JPEG", "Set-Cookie: id=7; path=/", "Content-Length: 6"},
            "\xff\xd8 jpg")};
        return r;
    };
    const std::string url = server.url("/pics/x.jpg");
    const CliRun r =
        runCli({QStringLiteral("get"), QStringLiteral("--trace"), QString::fromStdString(url)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "OnStateChange\thttpNotConnected\n"
                     "OnStateChange\thttpDnsLookup\n"
                     "OnStateChange\thttpDnsLookupDone\n"
                     "OnStateChange\thttpConnected\n"
                     "OnSessionConnected\n"
                     "OnStateChange\thttpWaitingHeader\n"
                     "OnRequestHeaderBegin\n"
                     "OnCommand\tGET /pics/x.jpg HTTP/1.0\n"
                     "OnCommand\tAccept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\n"
                     "OnCommand\tUser-Agent: Mozilla/3.0 (compatible)\n"
                     "OnCommand\tHost: 127.0.0.1:" +
                         std::to_string(server.port()) +
                         "\n"
                         "OnRequestHeaderEnd\n"
                         "OnCommand\t\n"
                         "OnHeaderBegin\n"
                         "OnHeaderData\tHTTP/1.0 200 OK\n"
                         "OnHeaderData\tContent-Type: image/JPEG\n"
                         "OnCookie\tid=7; path=/\n"
                         "OnHeaderData\tSet-Cookie: id=7; path=/\n"
                         "OnHeaderData\tContent-Length: 6\n"
                         "OnStateChange\thttpWaitingBody\n"
                         "OnHeaderEnd\n"
                         "OnDocBegin\n"
                         "OnDocData\t6\n"
                         "OnDocEnd\n"
                         "OnStateChange\thttpReady\n"
                         "OnRequestDone\t1\t0\n"
                         "StatusCode\t200\n"
                         "ReasonPhrase\tOK\n"
                         "ContentType\timage/jpeg\n"
                         "ContentLength\t6\n"
                         "DocName\tx.jpg\n"
                         "RcvdCount\t6\n"
                         "Location\t" +
                         url + "\n");
}

TEST(CliGet, SavesBodyAndReportsFailuresInExitStatus) {
    ScriptedServer server;
    server.respond = [](const std::string& request, int) {
        ScriptedReply r;
        if (request.find("/gone") != std::string::npos)
            r.chunks = {httpResponse("HTTP/1.0 410 Gone", {}, "")};
        else if (request.find("/chunked") != std::string::npos)
            r.chunks = {httpResponse("HTTP/1.1 200 OK", {"Transfer-Encoding: chunked"},
                                     "3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n")};
        else
            r.chunks = {httpResponse("HTTP/1.0 200 OK", {}, std::string(20000, 'q'))};
        return r;
    };
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/body.bin");
    CliRun r = runCli({QStringLiteral("get"), QString::fromStdString(server.url("/f")),
                       QStringLiteral("-o"), file});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("HTTP/1.0 200 OK"), std::string::npos);
    QFile saved(file);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), QByteArray(20000, 'q'));

    // A failed answer, or https refused for a CA file that cannot be read, leaves the file as
    // it was; a chunked answer is saved without its framing.
    const auto getTo = [&](const std::string& url) {
        return runCli({QStringLiteral("get"), QString::fromStdString(url), QStringLiteral("-o"), file});
    };
    r = getTo(server.url("/gone"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("HTTP/1.0 410 Gone"), std::string::npos);
    const QByteArray ca = qgetenv("LUMISIFT_CA_FILE");
    const std::string missing = file.toStdString() + ".pem";
    qputenv("LUMISIFT_CA_FILE", missing.c_str());
    r = getTo("https://127.0.0.1:" + std::to_string(server.port()) + "/");
    qputenv("LUMISIFT_CA_FILE", ca);
    EXPECT_NE(r.err.find(missing + " cannot be read: No such file or directory\", error 12009"),
              std::string::npos) << r.err;
    EXPECT_EQ(QFile(file).size(), 20000);
    getTo(server.url("/chunked"));
    saved.close();
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), QByteArray("abcde"));

    const std::string refused =
        "http://127.0.0.1:" + std::to_string(lumi::test::freeLoopbackPort()) + "/";
    r = runCli({QStringLiteral("get"), QString::fromStdString(refused)});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Connection refused (Error #10061)"), std::string::npos);

    r = runCli({QStringLiteral("get")});
    EXPECT_EQ(r.exitCode, 2);
}

} // namespace
