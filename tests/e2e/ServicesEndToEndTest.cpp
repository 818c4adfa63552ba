// The picture archives from end to end: lumisift-cli searches the stand-in web, whose
// archive answers are ordinary for most phrases and hostile for "hostile-..." ones.
#include <algorithm>
#include <map>
#include <set>
#include <string>

#include <sys/resource.h>

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "SandboxProcess.h"

using namespace lumi::test;

namespace {

// Settings that leave the classic services out, so that only the archives list rows; the
// lower bound lets every archive picture of the stand-in web (12 kB and more) through.
const std::string kArchivesOnly =
    "SlowConnection=0\r\nLargerThan=10\r\n[Services]\r\nHotBot=0\r\nLycos=0\r\nScourNet=0\r\n"
    "LycosImagesDirect=0\r\n";

QJsonObject parsed(const std::string& line) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
}

std::string field(const QJsonObject& o, const char* key) {
    return o.value(QLatin1String(key)).toString().toStdString();
}

CliSearch searchJsonl(const SandboxProcess& sandbox, const std::string& phrase,
                      const QString& ini) {
    return runCli(sandbox, QStringList{QStringLiteral("search"), QString::fromStdString(phrase),
                                       QStringLiteral("--format"), QStringLiteral("jsonl"),
                                       QStringLiteral("--stats"), QStringLiteral("--ini"), ini} +
                               kUntilIdle);
}

// Largest resident size of any child waited for so far, in kB.
long childPeakKb() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_maxrss;
}

} // namespace

// Guards every hostile answer: the search ends normally, memory stays bounded, the
// diagnostics say what happened in words, and only real JPEG results become rows.
TEST(ServicesEndToEnd, HostileArchiveAnswersEndInWordsAndListOnlyJpegs) {
    SandboxProcess sandbox(kQuickSandbox);
    ASSERT_TRUE(sandbox.running()) << sandbox.error();
    QTemporaryDir dir;
    const QString ini = writeIni(dir, kArchivesOnly);
    struct Case {
        const char* phrase;
        const char* diagnostics; // a line every archive writes
        int rowsPerArchive;      // -1: some, each a JPEG
    };
    const Case cases[] = {
        {"hostile-429", "too many requests (429); asking again in 1 s", 0},
        {"hostile-429long", "too many requests (429); no further pages are asked", 0},
        {"hostile-403", "(403); no further pages are asked", 0},
        {"hostile-deep", "the answer is not the expected JSON", 0},
        {"hostile-notjson", "the answer is not the expected JSON", 0},
        {"hostile-huge", "the answer is larger than 4 MB and was not read", 0},
        {"hostile-odd", "", 1},
        {"hostile-types", "", -1},
        {"hostile-dupes", "pages 3 asked, 3 answered", 9},
        {"hostile-endless", "pages 3 asked, 3 answered", 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.phrase);
        const CliSearch run = searchJsonl(sandbox, c.phrase, ini);
        ASSERT_EQ(run.exitCode, 0) << run.errors;
        for (const char* service : {"Openverse", "Wikimedia Commons", "SearXNG"}) {
            const std::string prefix = std::string(service) + ": ";
            bool said = false;
            for (const std::string& line : splitLines(run.errors))
                said = said || (line.rfind(prefix, 0) == 0 && line.find(c.diagnostics) != std::string::npos);
            EXPECT_TRUE(said) << service << " said nothing of it:\n" << run.errors;
            int rows = 0;
            for (const std::string& line : run.rows) {
                const QJsonObject row = parsed(line);
                if (field(row, "service") != service) continue;
                ++rows;
                EXPECT_TRUE(field(row, "url").ends_with(".jpg")) << line;
            }
            EXPECT_EQ(c.rowsPerArchive < 0 ? rows > 0 : rows == c.rowsPerArchive, true)
                << service << " listed " << rows;
        }
        const bool refusedJson =
            run.errors.find("SearXNG: JSON output is not enabled on this SearXNG instance") !=
            std::string::npos;
        EXPECT_EQ(refusedJson, std::string(c.phrase) == "hostile-403");
    }
    // The 10 MB answers were read and dropped, never kept.
    EXPECT_LT(childPeakKb(), 200 * 1024);
}

// One search over all seven services: every one lists rows, every row says where it came
// from, and the archives' rows are exactly what the stand-in web's own model holds.
TEST(ServicesEndToEnd, EveryServiceListsRowsWithTheirSources) {
    SandboxProcess sandbox(kQuickSandbox);
    ASSERT_TRUE(sandbox.running()) << sandbox.error();
    QTemporaryDir dir;
    const std::string phrase = "harbour lights";
    const CliSearch run =
        searchJsonl(sandbox, phrase, writeIni(dir, "SlowConnection=0\r\nLargerThan=10\r\n"));
    ASSERT_EQ(run.exitCode, 0) << run.errors;

    std::map<std::string, int> perService;
    std::set<std::string> archiveRows;
    const std::set<std::string> archives{"Openverse", "Wikimedia Commons", "SearXNG"};
    for (const std::string& line : run.rows) {
        const QJsonObject row = parsed(line);
        const std::string service = field(row, "service");
        ++perService[service];
        EXPECT_FALSE(field(row, "page").empty()) << line;
        if (!archives.count(service)) continue;
        QJsonObject model = row;
        for (const char* key : {"size", "licence_url"})
            model.remove(QLatin1String(key));
        archiveRows.insert(QJsonDocument(model).toJson(QJsonDocument::Compact).toStdString());
    }
    for (const char* service : {"HotBot", "Lycos", "ScourNet", "Lycos Images Direct",
                                "Openverse", "Wikimedia Commons", "SearXNG"})
        EXPECT_GT(perService[service], 0) << service << "\n" << run.errors;
    const auto expectedLines = sandbox.lines("/__archives?phrase=" + queryEncode(phrase));
    const std::set<std::string> expected(expectedLines.begin(), expectedLines.end());
    EXPECT_EQ(archiveRows, expected);
    // Every row of the search is one of the rows the model expects, sizes included.
    std::vector<std::string> listed;
    for (const std::string& line : run.rows) {
        const QJsonObject row = parsed(line);
        const QJsonValue size = row.value(QLatin1String("size"));
        listed.push_back((size.isDouble() ? std::to_string(int64_t(size.toDouble())) : "UNKNOWN") +
                         "\t" + field(row, "url"));
    }
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, sandbox.expected(phrase, "larger=10"));
}

// doctor: every enabled service asked once; exit 0 only when each answer is understood.
TEST(ServicesEndToEnd, DoctorReportsEachServiceAndFailsWhenOneDoesNotWork) {
    SandboxProcess sandbox(kQuickSandbox);
    ASSERT_TRUE(sandbox.running()) << sandbox.error();
    QTemporaryDir dir;
    const QString ini = writeIni(dir, kArchivesOnly);
    const CliSearch sound = runCli(sandbox, {QStringLiteral("doctor"), QStringLiteral("--ini"), ini});
    EXPECT_EQ(sound.exitCode, 0) << sound.errors;
    EXPECT_EQ(sound.rows,
              (std::vector<std::string>{
                  "Openverse: reachable yes, TLS not used, answer understood yes, pictures found 9",
                  "Wikimedia Commons: reachable yes, TLS not used, answer understood yes, pictures found 9",
                  "SearXNG: reachable yes, TLS not used, answer understood yes, pictures found 9"}));
    const CliSearch refused = runCli(sandbox, {QStringLiteral("doctor"), QStringLiteral("--ini"), ini,
                                               QStringLiteral("--phrase"), QStringLiteral("hostile-403")});
    EXPECT_EQ(refused.exitCode, 1);
    ASSERT_EQ(refused.rows.size(), 3u);
    EXPECT_EQ(refused.rows[0],
              "Openverse: reachable yes, TLS not used, answer understood no (status 403), pictures found 0");
}
