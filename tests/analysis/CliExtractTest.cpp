// lumisift-cli extract, run as a program: the printed hand-offs, rows and counters.
#include <string>

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace {

struct CliRun {
    int exitCode = -1;
    std::string out;
};

CliRun extract(const std::string& page, const QStringList& options) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("page.htm"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(page.data(), static_cast<qint64>(page.size()));
    file.close();
    QProcess cli;
    cli.start(QStringLiteral(LUMISIFT_CLI_PATH),
              QStringList{QStringLiteral("extract")} << options << path);
    EXPECT_TRUE(cli.waitForFinished(60000));
    const QByteArray out = cli.readAllStandardOutput();
    return {cli.exitCode(), std::string(out.constData(), static_cast<size_t>(out.size()))};
}

QStringList args(const char* engine, const char* url) {
    return {QStringLiteral("--engine"), QString::fromLatin1(engine), QStringLiteral("--url"),
            QString::fromLatin1(url)};
}

const char* const kGallery = "<html>\r\n"
                             "<a href=\"big.jpg\"><img src=\"small.jpg\"></a>\r"
                             "<a href=\"pic.htm\"><img src=\"t.jpg\"></a>\n"
                             "<a href=\"q.jpg?x=1\">q</a> \"bg.jpg\"\n";

} // namespace

TEST(CliExtract, PrintsEachHandOffBeforeTheEngineJudgesIt) {
    const CliRun run = extract(kGallery, args("99", "http://host/dir/page.htm"));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "QueueForCheckLink\thttp://host/dir/big.jpg\n"
                       "QueueForGetPage\thttp://host/dir/pic.htm\t0\n"
                       "QueueForCheckLink\thttp://host/dir/q.jpg?x=1\n"
                       "QueueForCheckLink\thttp://host/dir/big.jpg\n"
                       "QueueForGetPage\thttp://host/dir/pic.htm\t0\n"
                       "QueueForCheckLink\thttp://host/dir/q.jpg?x=1\n"
                       "QueueForCheckLink\thttp://host/dir/q.jpg?x=1\n"
                       "QueueForCheckLink\thttp://host/dir/bg.jpg\n"
                       "Found\t0\n"
                       "DoubleGetPage\t1\n"
                       "DoubleCheck\t3\n");
}

TEST(CliExtract, CheckLinksOffListsAtOnceWithSizeUnknown) {
    QStringList options = args("99", "http://host/dir/page.htm");
    options << QStringLiteral("--check-links") << QStringLiteral("off")
            << QStringLiteral("--recursive") << QStringLiteral("off");
    const CliRun run = extract(kGallery, options);
    EXPECT_EQ(run.exitCode, 0);
    // The picture with a query is offered by each pass; the list refuses queries.
    EXPECT_EQ(run.out, "AddToListView\thttp://host/dir/big.jpg\t0\n"
                       "AddToListView\thttp://host/dir/q.jpg?x=1\t0\n"
                       "AddToListView\thttp://host/dir/q.jpg?x=1\t0\n"
                       "AddToListView\thttp://host/dir/q.jpg?x=1\t0\n"
                       "AddToListView\thttp://host/dir/bg.jpg\t0\n"
                       "Row\tbig.jpg\tUNKNOWN\n"
                       "Row\tbg.jpg\tUNKNOWN\n"
                       "Found\t2\n"
                       "DoubleGetPage\t0\n"
                       "DoubleCheck\t0\n");
}

TEST(CliExtract, RoutesResultPagesByEngineNumberAndCountsRepeatedPaging) {
    const std::string scour = "Result page: <a href=\"/s?p=2\">2</a> <a href=\"/s?p=2\">2</a>\n"
                              "<a class=searchfieldlocationlink href=\"http://i.com/\xE9.jpg\">\n";
    setenv("LUMISIFT_SCOURNET_SITE", "scour.test", 1);
    QStringList options = args("1", "http://unused/");
    options << QStringLiteral("--check-links") << QStringLiteral("off");
    const CliRun run = extract(scour, options);
    unsetenv("LUMISIFT_SCOURNET_SITE");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "QueueForGetPage\thttp://scour.test/s?p=2\t1\n"
                       "QueueForGetPage\thttp://scour.test/s?p=2\t1\n"
                       "AddToListView\thttp://i.com/\xE9.jpg\t0\n"
                       "Row\t\xE9.jpg\tUNKNOWN\n"
                       "Found\t1\n"
                       "DoubleGetPage\t1\n"
                       "DoubleCheck\t0\n")
        << "bytes are printed raw";

    const CliRun hotbot =
        extract("target=http%3A%2F%2Fa.com%2F&id=1\n", args("2", "http://unused/"));
    EXPECT_EQ(hotbot.out,
              "QueueForGetPage\thttp://a.com/\t99\nFound\t0\nDoubleGetPage\t0\nDoubleCheck\t0\n");
}

TEST(CliExtract, RefusesIncompleteCommandLines) {
    for (const QStringList& options :
         {QStringList{QStringLiteral("--url"), QStringLiteral("http://h/")},
          QStringList{QStringLiteral("--engine"), QStringLiteral("x"), QStringLiteral("--url"),
                      QStringLiteral("u")},
          args("99", "http://h/") << QStringLiteral("--check-links") << QStringLiteral("maybe")}) {
        const CliRun run = extract("<img src=\"a.jpg\">", options);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
    }
}
