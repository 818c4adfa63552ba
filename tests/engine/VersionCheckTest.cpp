// The start-up version check: line splitting and parsing, the decision per product against
// the per-user registry, and whole checks against a loopback server.
#include "engine/unitVersionCheck.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "common/EventLoopWait.h"
#include "engine/PageBuffer.h"
#include "net/ScriptedServer.h"

using lumi::VersionOutcome;
using lumi::test::httpResponse;
using lumi::test::ScriptedReply;
using lumi::test::ScriptedServer;

namespace {

// A check over a registry file in a scratch folder, its boxes and desktop recorded.
class VersionCheckTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch.isValid());
        check.Registry =
            lumi::UserRegistry(scratch.filePath(QStringLiteral("registry.ini")).toStdString());
        hook(check);
    }
    // A check as a program start makes it, its boxes and desktop recorded.
    void hook(lumi::VersionCheck& c) {
        c.AskYesNo = [this](const std::string& question) {
            questions.push_back(question);
            return answerYes;
        };
        c.OpenAddress = [this](const std::string& address) {
            opened.push_back(address);
            return true;
        };
        c.ShowMessage = [this](const std::string& message) { messages.push_back(message); };
        c.OnNote = [this](const std::string& note) { notes.push_back(note); };
        c.OnFinished = [this](bool parsed) { finished = parsed ? 1 : 0; };
    }
    void TearDown() override { qunsetenv("LUMISIFT_MAKER_HOST"); }

    std::string recorded(const std::string& product) const {
        return check.Registry.ReadString("Software\\Orbelle\\" + product, "Version");
    }
    // Runs one whole check against a server that answers every request with response.
    void runAgainst(const std::string& response) {
        server.respond = [response](const std::string&, int) { return ScriptedReply{{response}}; };
        qputenv("LUMISIFT_MAKER_HOST", ("127.0.0.1:" + std::to_string(server.port())).c_str());
        finished = -1;
        check.StartVersionCheck();
        ASSERT_TRUE(lumi::test::waitUntil([&] { return finished >= 0; }, 15000));
        EXPECT_FALSE(check.Running());
    }

    QTemporaryDir scratch;
    ScriptedServer server;
    lumi::VersionCheck check{lumi::UserRegistry("")};
    std::vector<std::string> questions, opened, messages, notes;
    bool answerYes = false;
    int finished = -1;
};

std::vector<std::string> split(const std::string& bytes,
                               int64_t capacity = lumi::MaxVersionFileBytes) {
    lumi::CappedBuffer stream(capacity);
    stream.write(bytes.data(), static_cast<qint64>(bytes.size()));
    lumi::PageLines lines;
    lumi::VersionCheck(lumi::UserRegistry("")).SplitVersionLines(lines, stream);
    return lines;
}

} // namespace

TEST(VersionLines, SplitAtEveryKindOfLineEndKeepingEmptyLinesAndCuttingAtNul) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(split("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(split("a\r\n\r\n\nb\r\r"), (Lines{"a", "", "", "b", ""}));
    EXPECT_EQ(split(std::string("ab\0cd\nef", 8)), (Lines{"ab", "ef"}));
    EXPECT_EQ(split("\n"), (Lines{""}));
    EXPECT_EQ(split(""), Lines{});
    // A file cut at the bound loses its partial last line, never reads it as whole.
    EXPECT_EQ(split("one\r\ntwo\r\nthr", 12), (Lines{"one", "two"}));
    EXPECT_EQ(split("no line end at all", 5), Lines{});
}

TEST(VersionLines, MissingTabsLeaveTheFirstFieldsEmpty) {
    struct Case {
        const char* line;
        TCheckResult want;
    };
    const Case cases[] = {
        {"Lumisift\t1.5\tFaster search.\thttp://h/d.htm",
         {"Lumisift", "1.5", "Faster search.", "http://h/d.htm"}},
        {"P\tV\tN\tu\tv\tw", {"P", "V", "N", "u\tv\tw"}},
        {"no tabs", {"", "", "", "no tabs"}},
        {"P\trest", {"P", "", "", "rest"}},
        {"P\tV\trest", {"P", "V", "", "rest"}},
        {"\t\t\t", {"", "", "", ""}},
    };
    for (const Case& c : cases) {
        const TCheckResult got = ParseVersionLine(c.line);
        EXPECT_EQ(got.ProductKey, c.want.ProductKey) << c.line;
        EXPECT_EQ(got.Version, c.want.Version) << c.line;
        EXPECT_EQ(got.Notice, c.want.Notice) << c.line;
        EXPECT_EQ(got.DownloadURL, c.want.DownloadURL) << c.line;
    }
}

TEST(UserRegistryStore, ValuesReadBackExactlyAndKeysIgnoreLetterCase) {
    QTemporaryDir scratch;
    lumi::UserRegistry registry(scratch.filePath(QStringLiteral("r.ini")).toStdString());
    const std::string key = "Software\\Orbelle\\Lumisift";
    EXPECT_EQ(registry.ReadString(key, "Version"), "");
    for (const std::string value : {"1.5", " 1.5 ", "\"quoted\"", "\"", "a=b;c", ""}) {
        registry.WriteString(key, "Version", value);
        EXPECT_EQ(registry.ReadString("software\\orbelle\\LUMISIFT", "version"), value) << value;
    }
    registry.WriteString("Software\\Orbelle\\Other", "Version", "2");
    EXPECT_EQ(registry.ReadString(key, "Version"), "");
    EXPECT_THROW(registry.WriteString("Software\\Orbelle\\ Trailing ", "Version", "1"),
                 std::invalid_argument);
    EXPECT_THROW(registry.WriteString(key, "Version", std::string(5000, 'x')),
                 std::invalid_argument);

    // Writes go through a temporary file renamed over the store: an unwritable folder fails.
    lumi::UserRegistry nowhere("/nonexistent-folder/r.ini");
    EXPECT_THROW(nowhere.WriteString(key, "Version", "1"), lumi::SettingsWriteError);
}

TEST_F(VersionCheckTest, RecordsFirstThenAsksOnceForEachChangeWhateverTheAnswer) {
    const std::string page = "https://www.lumisift.com/d.htm";
    const TCheckResult v15 = ParseVersionLine("Lumisift\t1.5\tFaster search.\t" + page);
    EXPECT_EQ(check.CheckProductVersion(v15), VersionOutcome::Recorded);
    EXPECT_EQ(recorded("Lumisift"), "1.5");
    EXPECT_EQ(check.CheckProductVersion(v15), VersionOutcome::Same);
    EXPECT_TRUE(questions.empty());

    TCheckResult v16 = v15;
    v16.Version = "1.6";
    EXPECT_EQ(check.CheckProductVersion(v16), VersionOutcome::Offered);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], "A new version (1.6) of Lumisift has been released. \r\rFaster "
                            "search.\r\rDownload it Now?\r" + page);
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(recorded("Lumisift"), "1.6");

    // Forced: asked again at every start, shown without the "*"; Yes opens the page.
    answerYes = true;
    TCheckResult forced = v16;
    forced.ProductKey = "*Lumisift";
    for (int start = 0; start < 2; ++start) {
        lumi::VersionCheck next(check.Registry);
        hook(next);
        EXPECT_EQ(next.CheckProductVersion(forced), VersionOutcome::Offered);
    }
    ASSERT_EQ(questions.size(), 3u);
    EXPECT_EQ(questions[2], questions[0]);
    EXPECT_EQ(opened, (std::vector<std::string>{page, page}));

    // Versions compare exactly, letter case included.
    TCheckResult upper = v16;
    upper.Version = "1.6A";
    check.CheckProductVersion(upper);
    upper.Version = "1.6a";
    EXPECT_EQ(check.CheckProductVersion(upper), VersionOutcome::Offered);
    EXPECT_TRUE(messages.empty());

    // Whoever answered for the version file: only https on the maker's host is offered.
    for (const std::string address : {"http://www.lumisift.com/", "https://evil.example/d.htm"}) {
        upper.Version += "x";
        upper.DownloadURL = address;
        EXPECT_EQ(check.CheckProductVersion(upper), VersionOutcome::Ignored) << address;
    }
    EXPECT_EQ(questions.size(), 5u);
    EXPECT_EQ(recorded("Lumisift"), "1.6axx");
    EXPECT_EQ(notes.back(), "Version check: Lumisift 1.6axx not offered, its download address is "
                            "not https on www.lumisift.com: https://evil.example/d.htm");
}

TEST_F(VersionCheckTest, OpensOnlyWebAddressesFromTheVersionFile) {
    for (const std::string address :
         {"file:///etc/passwd", "javascript:alert(1)", "/usr/bin/xterm", "smb://host/share", ""})
        check.OpenVersionPage(address);
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(messages, std::vector<std::string>(5, "Error code: #CN006."));
    messages.clear();
    check.OpenVersionPage(" HTTPS://h/d.htm");
    check.OpenAddress = [](const std::string&) { return false; };
    check.OpenVersionPage("http://h/d.htm");
    EXPECT_EQ(opened, std::vector<std::string>{"HTTPS://h/d.htm"});
    EXPECT_EQ(messages, std::vector<std::string>{"Error code: #CN006."});
}

TEST_F(VersionCheckTest, AWholeFileAsksPerChangedProductInFileOrder) {
    check.Registry.WriteString("Software\\Orbelle\\Lumisift", "Version", "1.4");
    check.Registry.WriteString("Software\\Orbelle\\Viewer", "Version", "2.0");
    check.Registry.WriteString("Software\\Orbelle\\Same", "Version", "3");
    runAgainst(httpResponse("HTTP/1.0 200 OK", {"Content-Type: text/plain"},
                            "Viewer\t2.1\tNew.\thttps://127.0.0.1/v\r\n"
                            "Same\t3\tx\thttp://h/s\r\n"
                            "Lumisift\t1.5\tFaster.\thttps://127.0.0.1/l\r\n"
                            "New\t1\tx\thttp://h/n"));
    EXPECT_EQ(finished, 1);
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_EQ(questions[0].rfind("A new version (2.1) of Viewer", 0), 0u);
    EXPECT_EQ(questions[1].rfind("A new version (1.5) of Lumisift", 0), 0u);
    EXPECT_EQ(recorded("New"), "1"); // the last line has no line end
    EXPECT_EQ(recorded("Lumisift"), "1.5");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].rfind("GET /progver.txt HTTP/1.0\r\n", 0), 0u);
}

TEST_F(VersionCheckTest, FailedTransferIsNotReadAsAVersionFile) {
    check.Registry.WriteString("Software\\Orbelle\\Lumisift", "Version", "1.4");
    runAgainst(httpResponse("HTTP/1.0 404 Not Found", {},
                            "Lumisift\t9.9\tgotcha\thttp://h/x\r\nPortal\t1\tx\thttp://h/p\r\n"));
    EXPECT_EQ(finished, 0);
    EXPECT_TRUE(questions.empty());
    EXPECT_EQ(recorded("Lumisift"), "1.4");
    EXPECT_EQ(recorded("Portal"), "");
}

TEST_F(VersionCheckTest, HugeVersionFileIsBoundedInBytesAndQuestions) {
    std::string body;
    for (int i = 0; i <= 10; ++i) {
        const std::string product = "P" + std::to_string(i);
        check.Registry.WriteString("Software\\Orbelle\\" + product, "Version", "1");
        body += product + "\t2\tx\thttps://127.0.0.1/\r\n";
    }
    while (body.size() < 4 * lumi::MaxVersionFileBytes)
        body += "Flood\t1\tx\thttp://h/\r\n";
    runAgainst(httpResponse("HTTP/1.0 200 OK", {}, body));
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(questions.size(), size_t(lumi::MaxVersionQuestions));
    // Products past the bound keep their version, so a later start asks them.
    EXPECT_EQ(recorded("P0"), "2");
    EXPECT_EQ(recorded("P10"), "1");
}

// Guards the one proxy rule: the version check goes through the options' proxy and logs in
// to it like every other request.
TEST_F(VersionCheckTest, GoesThroughTheProxyOfTheOptionsWithItsLogin) {
    ScriptedServer proxy;
    proxy.respond = [](const std::string&, int) {
        return ScriptedReply{{httpResponse("HTTP/1.0 200 OK", {}, "Lumisift\t1.0\tn\thttp://x/\r\n")}};
    };
    check.Proxy = {"127.0.0.1", std::to_string(proxy.port()), "lumi", "s3cret"};
    qputenv("LUMISIFT_MAKER_HOST", "maker.invalid");
    check.StartVersionCheck();
    ASSERT_TRUE(lumi::test::waitUntil([&] { return finished >= 0; }, 15000));
    ASSERT_EQ(proxy.requests().size(), 1u);
    const std::string& request = proxy.requests()[0];
    EXPECT_EQ(request.rfind("GET http://maker.invalid/progver.txt HTTP/1.0\r\n", 0), 0u) << request;
    EXPECT_NE(request.find("\r\nProxy-Authorization: Basic bHVtaTpzM2NyZXQ=\r\n"),
              std::string::npos)
        << request;
}
