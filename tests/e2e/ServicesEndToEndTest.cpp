// The picture archives from end to end: lumisift-cli searches the stand-in web, whose
// archive answers are ordinary for most phrases and hostile for "hostile-..." ones.
#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>

#include <sys/resource.h>

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
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

// Guards every hostile answer and the shapes real answers take: the search ends in order,
// memory stays bounded, the diagnostics say what happened in words (the service's own when it
// gave them), and only real JPEG results become rows.
TEST(ServicesEndToEnd, HostileArchiveAnswersEndInWordsAndListOnlyJpegs) {
    SandboxProcess sandbox(kQuickSandbox);
    ASSERT_TRUE(sandbox.running()) << sandbox.error();
    QTemporaryDir dir;
    const QString ini = writeIni(dir, kArchivesOnly);
    constexpr int Some = -1, AsModelled = -2;
    struct Case {
        const char* phrase;
        std::array<const char*, 3> said; // a line of Openverse, Commons and SearXNG
        int rowsPerArchive;              // Some: some, each a JPEG; AsModelled: the model's rows
        int exitCode;
    };
    const auto all = [](const char* text) { return std::array<const char*, 3>{text, text, text}; };
    const char* botGate = "bot gate refused the request (429); its owner can turn \"limiter\" off";
    const Case cases[] = {
        {"hostile-429", all("too many requests (429); asking again in 1 s"), 0, 1},
        {"hostile-429long",
         {"try again in 60 seconds; the service says \"Request was throttled.\"",
          "too many requests (429); try again in 60 seconds", botGate},
         0, 1},
        {"hostile-403", all("(403); no further pages are asked"), 0, 1},
        {"hostile-deep", all("the answer is not the expected JSON"), 0, 1},
        {"hostile-notjson", all("the answer is not the expected JSON"), 0, 1},
        {"hostile-huge", all("the answer is larger than 4 MB and was not read"), 0, 1},
        {"hostile-bomb", all("unpacks to more than 16 MB and was refused as a decompression bomb"), 0, 1},
        {"hostile-badgzip", all("The answer's compressed body is damaged"), 0, 1},
        {"hostile-apierror",
         {"status 401; the service says \"Authentication credentials were not provided.\"",
          "an error; the service says \"Unrecognized value for parameter \"gsrnamespace\".\"",
          "answered with status 500"},
         0, 1},
        {"hostile-maxlag",
         {"try again in 60 minutes", "the service is busy (maxlag); asking again in 1 s", botGate},
         0, 1},
        {"hostile-odd", all(""), 1, 0},
        {"hostile-types", all(""), Some, 0},
        {"hostile-shapes", all("pages 3 asked, 3 answered"), AsModelled, 0},
        {"hostile-dupes", all("pages 3 asked, 3 answered"), 9, 0},
        {"hostile-endless", all("pages 3 asked, 3 answered"), 9, 0},
    };
    const char* services[] = {"Openverse", "Wikimedia Commons", "SearXNG"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.phrase);
        const CliSearch run = searchJsonl(sandbox, c.phrase, ini);
        ASSERT_EQ(run.exitCode, c.exitCode) << run.errors;
        const auto modelled = sandbox.lines("/__archives?phrase=" + queryEncode(c.phrase));
        for (size_t s = 0; s < 3; ++s) {
            const std::string prefix = std::string(services[s]) + ": ";
            bool said = false;
            for (const std::string& line : splitLines(run.errors))
                said = said || (line.rfind(prefix, 0) == 0 && line.find(c.said[s]) != std::string::npos);
            EXPECT_TRUE(said) << services[s] << " said nothing of it:\n" << run.errors;
            std::set<std::string> rows, expected;
            for (const std::string& line : run.rows) {
                QJsonObject row = parsed(line);
                if (field(row, "service") != services[s]) continue;
                if (c.rowsPerArchive != AsModelled) {
                    EXPECT_TRUE(field(row, "url").ends_with(".jpg")) << line;
                }
                for (const char* key : {"size", "licence_url"})
                    row.remove(QLatin1String(key));
                rows.insert(QJsonDocument(row).toJson(QJsonDocument::Compact).toStdString());
            }
            for (const std::string& line : modelled)
                if (field(parsed(line), "service") == services[s]) expected.insert(line);
            if (c.rowsPerArchive == AsModelled) {
                EXPECT_EQ(rows, expected) << "addresses with queries, untyped JPEGs, plain titles";
            } else {
                EXPECT_EQ(c.rowsPerArchive == Some ? !rows.empty() : int(rows.size()) == c.rowsPerArchive,
                          true)
                    << services[s] << " listed " << rows.size();
            }
        }
        const bool refusedJson =
            run.errors.find("SearXNG: JSON output is not enabled on this SearXNG instance") !=
            std::string::npos;
        EXPECT_EQ(refusedJson, std::string(c.phrase) == "hostile-403");
    }
    // The 10 MB answers and the bombs were read and dropped, never kept.
    EXPECT_LT(childPeakKb(), 200 * 1024);
}

// SearXNG behind its bot gate, and a phrase outside ASCII: every archive is asked for the
// phrase in UTF-8, and the gate lets the search's requests pass while it refuses a plain one.
TEST(ServicesEndToEnd, ArchivesGetUtf8PhrasesAndPassSearxngsBotGate) {
    SandboxProcess sandbox(kQuickSandbox + QStringList{QStringLiteral("--searxng-gate")});
    ASSERT_TRUE(sandbox.running()) << sandbox.error();
    QTemporaryDir dir;
    const CliSearch run = searchJsonl(sandbox, "cafe\xcc\x81", writeIni(dir, kArchivesOnly));
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    std::map<std::string, int> perService;
    for (const std::string& line : run.rows)
        ++perService[field(parsed(line), "service")];
    for (const char* service : {"Openverse", "Wikimedia Commons", "SearXNG"})
        EXPECT_GT(perService[service], 0) << service << "\n" << run.errors;
    int asked = 0;
    for (const std::string& entry : sandbox.lines("/__fetched")) {
        for (const char* key : {"/v1/images/?q=", "/search?q=", "filemime%3Aimage%2Fjpeg+"}) {
            const size_t at = entry.find(key);
            if (at == std::string::npos) continue;
            ++asked;
            EXPECT_EQ(entry.substr(at + std::strlen(key), 10), "caf%C3%A9&") << entry;
        }
    }
    EXPECT_GE(asked, 3);
    EXPECT_EQ(sandbox.get("/search?q=x&format=json&categories=images&pageno=1"), "")
        << "a request without the gate's headers is refused";
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

// The shapes that decide what a row says and whether it is listed: one picture found by three
// services (the one without a licence answering first) is one row credited by Commons, HTML
// credits keep their words, failed engines are named, an unfinished Commons batch and numbers
// sent as text are read, a relocation to another type is no row, and the licence and size
// filter keeps only what it passes. Every row must be the model's.
TEST(ServicesEndToEnd, RowsAreCreditedFilteredAndCompleteWhateverTheAnswersShape) {
    SandboxProcess sandbox(kQuickSandbox);
    ASSERT_TRUE(sandbox.running()) << sandbox.error();
    QTemporaryDir dir;
    const QString ini = writeIni(dir, kArchivesOnly);
    // Keeps the model's rows that a filter passes; none for the unfiltered cases.
    using Keep = bool (*)(const QJsonObject&);
    const Keep all = [](const QJsonObject&) { return true; };
    const Keep commercialAndWide = [](const QJsonObject& row) {
        const std::string licence = field(row, "licence");
        return !licence.empty() && licence.find("NC") == std::string::npos &&
               row.value(QLatin1String("width")).toInt() >= 1600;
    };
    struct Case {
        const char* phrase;
        QStringList options;
        Keep keep;
        const char* said; // a line of --stats
    };
    const Case cases[] = {
        {"hostile-merge", {}, all, "Wikimedia Commons: pages 1 asked, 1 answered (200 x1); pictures 1 handed on, 1 listed"},
        {"hostile-engines", {}, all,
         "SearXNG: 4 of 4 engines failed: bing images (HTTP error), google images (timeout), "
         "qwant images (CAPTCHA), yahoo images (too many requests)"},
        {"hostile-batch", {}, all, "Wikimedia Commons: pages 6 asked, 6 answered"},
        {"hostile-moved", {}, all, "Openverse: pages 3 asked, 3 answered (200 x3); pictures 22 handed on, 15 listed"},
        {"harbour",
         {QStringLiteral("--licence"), QStringLiteral("commercial"), QStringLiteral("--min-width"),
          QStringLiteral("1600")},
         commercialAndWide, "without a licence that passes \"may use commercially\", "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.phrase);
        const CliSearch run = runCli(
            sandbox, QStringList{QStringLiteral("search"), QString::fromLatin1(c.phrase),
                                 QStringLiteral("--format"), QStringLiteral("jsonl"),
                                 QStringLiteral("--stats"), QStringLiteral("--ini"), ini} +
                         c.options + kUntilIdle);
        ASSERT_EQ(run.exitCode, 0) << run.errors;
        EXPECT_NE(run.errors.find(c.said), std::string::npos) << run.errors;
        std::set<std::string> rows, expected;
        for (const std::string& line : run.rows) {
            QJsonObject row = parsed(line);
            for (const char* key : {"size", "licence_url"})
                row.remove(QLatin1String(key));
            rows.insert(QJsonDocument(row).toJson(QJsonDocument::Compact).toStdString());
        }
        size_t leftOut = 0;
        for (const std::string& line : sandbox.lines("/__archives?phrase=" + queryEncode(c.phrase)))
            c.keep(parsed(line)) ? void(expected.insert(line)) : void(++leftOut);
        EXPECT_EQ(rows, expected);
        EXPECT_EQ(run.errors.find("Filter: " + std::to_string(leftOut) + " left out: ") != std::string::npos,
                  leftOut > 0)
            << run.errors;
    }
    for (const QStringList& bad : {QStringList{QStringLiteral("--licence"), QStringLiteral("free")},
                                   QStringList{QStringLiteral("--min-width"), QStringLiteral("-3")},
                                   QStringList{QStringLiteral("--min-height"), QStringLiteral("wide")}})
        EXPECT_EQ(runCli(sandbox, QStringList{QStringLiteral("search"), QStringLiteral("x")} + bad).exitCode, 2)
            << bad.join(QLatin1Char(' ')).toStdString();
    bool askedForCommercial = false;
    for (const std::string& entry : sandbox.lines("/__fetched"))
        askedForCommercial = askedForCommercial || entry.find("&license_type=commercial") != std::string::npos;
    EXPECT_TRUE(askedForCommercial) << "Openverse is asked for the filter's pictures only";
    const CliSearch doctor = runCli(sandbox, {QStringLiteral("doctor"), QStringLiteral("--ini"), ini,
                                              QStringLiteral("--phrase"), QStringLiteral("hostile-engines")});
    EXPECT_EQ(doctor.exitCode, 1) << "every engine of the instance failed";
    EXPECT_NE(std::find(doctor.rows.begin(), doctor.rows.end(),
                        "SearXNG: reachable yes, TLS not used, answer understood yes, engines failed: "
                        "bing images (HTTP error), google images (timeout), qwant images (CAPTCHA), "
                        "yahoo images (too many requests) (4 of 4), pictures found 0"),
              doctor.rows.end())
        << doctor.errors;
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
    // No answer is said in the socket's words, and TLS "failed" only after a handshake.
    QProcessEnvironment closed = sandbox.environment();
    closed.insert(QStringLiteral("LUMISIFT_OPENVERSE_URL"), QStringLiteral("https://127.0.0.1:1"));
    QProcess doctor;
    doctor.setProcessEnvironment(closed);
    doctor.start(QStringLiteral(LUMISIFT_CLI_EXE), {QStringLiteral("doctor"), QStringLiteral("--ini"), ini});
    ASSERT_TRUE(doctor.waitForFinished(60000));
    EXPECT_EQ(splitLines(doctor.readAllStandardOutput().toStdString()).at(0),
              "Openverse: reachable no (Connection refused), TLS not tried, answer understood no, "
              "pictures found 0");
}

// search --format jsonl | download --from -: every row is saved, and CREDITS.txt credits each
// licensed picture as the search found it, as the window's Download does.
TEST(ServicesEndToEnd, SearchRowsPipedIntoDownloadWriteTheCredits) {
    SandboxProcess sandbox(kQuickSandbox);
    ASSERT_TRUE(sandbox.running()) << sandbox.error();
    QTemporaryDir dir;
    const std::string pics = dir.filePath(QStringLiteral("pics")).toStdString();
    const QString ini = writeIni(dir, "SavePath=" + pics + "\r\nSubDir=0\r\n" + kArchivesOnly);
    QProcess search, download;
    for (QProcess* p : {&search, &download}) {
        p->setProgram(QStringLiteral(LUMISIFT_CLI_EXE));
        p->setProcessEnvironment(sandbox.environment());
    }
    search.setArguments(QStringList{QStringLiteral("search"), QStringLiteral("tide pools"),
                                    QStringLiteral("--format"), QStringLiteral("jsonl"),
                                    QStringLiteral("--ini"), ini} + kUntilIdle);
    download.setArguments({QStringLiteral("download"), QStringLiteral("--ini"), ini,
                           QStringLiteral("--from"), QStringLiteral("-")});
    search.setStandardOutputProcess(&download);
    download.start();
    search.start();
    ASSERT_TRUE(search.waitForFinished(120000) && download.waitForFinished(120000));
    ASSERT_EQ(download.exitCode(), 0) << download.readAllStandardError().toStdString();
    const auto saved = splitLines(download.readAllStandardOutput().toStdString());
    const auto rows = sandbox.lines("/__archives?phrase=" + queryEncode("tide pools"));
    EXPECT_EQ(saved.size(), rows.size());
    std::ifstream file(pics + "/CREDITS.txt");
    const std::string credits((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    size_t licensed = 0;
    for (const std::string& line : rows) {
        const QJsonObject row = parsed(line);
        if (field(row, "licence").empty()) continue;
        ++licensed;
        const std::string url = field(row, "url");
        const std::string credit = url.substr(url.rfind('/') + 1) + ": \"" + field(row, "title") +
                                   "\" by " + field(row, "creator") + ", " + field(row, "licence");
        EXPECT_NE(credits.find(credit), std::string::npos) << credit << "\n" << credits;
    }
    EXPECT_GT(licensed, 0u);
    EXPECT_EQ(splitLines(credits).size(), licensed);
}
