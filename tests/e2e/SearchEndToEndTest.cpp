// Searches from end to end: lumisift-cli search against lumisift-sandbox, compared with what
// the sandbox's own model says a search must find.
#include <algorithm>
#include <fstream>
#include <map>
#include <set>

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "SandboxProcess.h"

using lumi::test::CliSearch;
using lumi::test::kQuickSandbox;
using lumi::test::kUntilIdle;
using lumi::test::SandboxProcess;
using lumi::test::writeIni;

namespace {

long long sizeOf(const std::string& row) {
    return std::atoll(row.substr(0, row.find('\t')).c_str());
}

bool fetched(const std::vector<std::string>& log, const std::string& url) {
    const std::string path = url.substr(url.find('/', 7));
    return std::find(log.begin(), log.end(), "main " + path) != log.end();
}

// The largest value of each counter over the --diagnostics lines ("Key=Value ...").
std::map<std::string, int> counterMaxima(const std::string& errors) {
    std::map<std::string, int> maxima;
    for (const auto& line : lumi::test::splitLines(errors)) {
        std::size_t at = 0;
        while (at < line.size()) {
            const auto end = std::min(line.find(' ', at), line.size());
            const std::string field = line.substr(at, end - at);
            const auto equals = field.find('=');
            if (equals != std::string::npos && equals + 1 < field.size() &&
                std::isdigit(static_cast<unsigned char>(field[equals + 1]))) {
                auto& m = maxima[field.substr(0, equals)];
                m = std::max(m, std::atoi(field.c_str() + equals + 1));
            }
            at = end + 1;
        }
    }
    return maxima;
}

} // namespace

TEST(SearchEndToEnd, ListsExactlyTheFindablePicturesWithTheirAnnouncedSizes) {
    SandboxProcess sandbox(kQuickSandbox);
    ASSERT_TRUE(sandbox.running()) << sandbox.error();
    QTemporaryDir dir;
    const std::string phrase = "red cars";
    // No size keys: a fresh install's bounds apply, the options dialog's: at least 20 kB,
    // no upper bound.
    const auto run =
        runCliSearch(sandbox, QStringList{QString::fromStdString(phrase), QStringLiteral("--ini"),
                                          writeIni(dir, "SlowConnection=0\r\n")} +
                                  kUntilIdle);
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const auto expected = sandbox.expected(phrase);
    ASSERT_GT(expected.size(), 30u);
    EXPECT_EQ(run.rows, expected);

    // What the bound refused is exactly what lies below it; large pictures are listed.
    const std::set<std::string> listed(run.rows.begin(), run.rows.end());
    int small = 0, large = 0;
    for (const auto& row : sandbox.expected(phrase, "larger=off&smaller=off")) {
        const long long size = sizeOf(row);
        large += size > 1000000 && listed.count(row);
        if (listed.count(row)) continue;
        ASSERT_TRUE(size > 0 && size < 20000) << row;
        ++small;
    }
    EXPECT_GE(small, 1);
    EXPECT_GE(large, 1);

    // Recursive: every thumbnail page was read.
    const auto log = sandbox.lines("/__fetched");
    const auto thumbnails =
        sandbox.lines("/__thumbpages?phrase=" + lumi::test::queryEncode(phrase));
    ASSERT_FALSE(thumbnails.empty());
    for (const auto& page : thumbnails)
        EXPECT_TRUE(fetched(log, page)) << page;
}

TEST(SearchEndToEnd, CheckLinksOffListsEveryAddressAtOnceAsUnknown) {
    SandboxProcess sandbox(kQuickSandbox);
    ASSERT_TRUE(sandbox.running()) << sandbox.error();
    QTemporaryDir dir;
    // Every character that needs encoding on its way into the query.
    const std::string phrase = "green \"fields\" / hills & 100% #1?a=b+c";
    const auto run = runCliSearch(
        sandbox, QStringList{QString::fromStdString(phrase), QStringLiteral("--check-links"),
                             QStringLiteral("off"), QStringLiteral("--ini"),
                             writeIni(dir, "SlowConnection=0\r\n")} +
                     kUntilIdle);
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.rows, sandbox.expected(phrase, "check=off"));
    for (const auto& row : run.rows) { // the archives announce sizes of their own
        if (row.find("/archive/") != std::string::npos) continue;
        EXPECT_EQ(row.substr(0, 8), "UNKNOWN\t") << row;
    }
    // Nothing was checked: no picture address was asked for.
    for (const auto& entry : sandbox.lines("/__fetched"))
        EXPECT_NE(entry.substr(entry.size() - 4), ".jpg") << entry;
}

TEST(SearchEndToEnd, RecursiveSearchOffLeavesThumbnailPagesUnread) {
    SandboxProcess sandbox(kQuickSandbox);
    ASSERT_TRUE(sandbox.running()) << sandbox.error();
    QTemporaryDir dir;
    const std::string phrase = "lighthouse";
    const auto run =
        runCliSearch(sandbox,
                     QStringList{QString::fromStdString(phrase), QStringLiteral("--recursive"),
                                 QStringLiteral("off"), QStringLiteral("--ini"),
                                 writeIni(dir, "SlowConnection=0\r\n")},
                     90000); // no bound of its own: the search ends by itself
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const auto expected = sandbox.expected(phrase, "recursive=off");
    EXPECT_EQ(run.rows, expected);
    EXPECT_LT(expected.size(), sandbox.expected(phrase).size());
    const auto log = sandbox.lines("/__fetched");
    const auto thumbnails =
        sandbox.lines("/__thumbpages?phrase=" + lumi::test::queryEncode(phrase));
    ASSERT_FALSE(thumbnails.empty());
    for (const auto& page : thumbnails)
        EXPECT_FALSE(fetched(log, page)) << page;
}

TEST(SearchEndToEnd, PoolsStayWithinTheLimitsOfTheConnectionSetting) {
    // Every site answer waits a while, so the pools fill up to their limits.
    SandboxProcess sandbox(kQuickSandbox +
                           QStringList{QStringLiteral("--latency-ms"), QStringLiteral("1500")});
    ASSERT_TRUE(sandbox.running()) << sandbox.error();
    QTemporaryDir dir;
    const QStringList run8{QStringLiteral("--for"), QStringLiteral("8"),
                           QStringLiteral("--diagnostics"), QStringLiteral("--ini")};

    const auto modem =
        runCliSearch(sandbox, QStringList{QStringLiteral("harbour")} + run8 +
                                  QStringList{writeIni(dir, "SlowConnection=1\r\n")});
    ASSERT_EQ(modem.exitCode, 0) << modem.errors;
    auto maxima = counterMaxima(modem.errors);
    ASSERT_TRUE(maxima.count("CheckLinkClients")) << modem.errors;
    EXPECT_LE(maxima["GetPageClients"], 5);
    EXPECT_LE(maxima["CheckLinkClients"], 10);
    EXPECT_GE(maxima["CheckLinkClients"], 8)
        << "the check pool never filled: the test shows nothing";

    const auto lan = runCliSearch(sandbox, QStringList{QStringLiteral("meadow")} + run8 +
                                               QStringList{writeIni(dir, "SlowConnection=0\r\n")});
    ASSERT_EQ(lan.exitCode, 0) << lan.errors;
    maxima = counterMaxima(lan.errors);
    EXPECT_LE(maxima["GetPageClients"], 20);
    EXPECT_LE(maxima["CheckLinkClients"], 25);
    EXPECT_GT(maxima["CheckLinkClients"], 10) << lan.errors;
}

TEST(SearchEndToEnd, CommandLineRefusesWhatItCannotSearch) {
    SandboxProcess sandbox(kQuickSandbox);
    ASSERT_TRUE(sandbox.running()) << sandbox.error();
    const QStringList bad[] = {
        {},
        {QStringLiteral("cats"), QStringLiteral("--check-links"), QStringLiteral("maybe")},
        {QStringLiteral("cats"), QStringLiteral("--recursive")},
        {QStringLiteral("cats"), QStringLiteral("--for"), QStringLiteral("-1")},
        {QStringLiteral("cats"), QStringLiteral("--until-idle"), QStringLiteral("soon")},
        {QStringLiteral("cats"), QStringLiteral("dogs")},
        {QStringLiteral("cats"), QStringLiteral("--verbose")},
    };
    for (const auto& arguments : bad) {
        const auto run = runCliSearch(sandbox, arguments, 20000);
        EXPECT_EQ(run.exitCode, 2) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_NE(run.errors.find("usage: lumisift-cli search"), std::string::npos);
        EXPECT_TRUE(run.rows.empty());
    }
    // A phrase longer than the phrase box takes is refused with its own message.
    const auto tooLong = runCliSearch(sandbox, {QString(513, QLatin1Char('x'))}, 20000);
    EXPECT_EQ(tooLong.exitCode, 2);
    EXPECT_NE(tooLong.errors.find("longer than 512 characters"), std::string::npos)
        << tooLong.errors;
    // An empty or blank phrase starts nothing, as the Search button does.
    for (const QString& phrase : {QString(), QStringLiteral(" \t ")}) {
        const auto empty =
            runCliSearch(sandbox, {phrase, QStringLiteral("--for"), QStringLiteral("1")}, 20000);
        EXPECT_EQ(empty.exitCode, 1) << empty.errors;
        EXPECT_TRUE(empty.rows.empty());
    }
    EXPECT_TRUE(sandbox.lines("/__fetched").empty()) << "the services heard nothing";
}
