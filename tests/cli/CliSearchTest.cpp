// lumisift-cli search when no search service can be reached: the search ends by itself, and
// the tool says so and exits 1 instead of reporting an empty success.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

TEST(CliSearch, NoServiceAnsweringEndsTheSearchWithExitOne) {
    QTemporaryDir dir;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* variable : {"LUMISIFT_HOTBOT_HOST", "LUMISIFT_LYCOS_HOST",
                                 "LUMISIFT_SCOURNET_HOST", "LUMISIFT_SCOURNET_SITE"})
        environment.insert(QString::fromLatin1(variable), QStringLiteral("127.0.0.1:1"));
    QProcess cli;
    cli.setProcessEnvironment(environment);
    QElapsedTimer running;
    running.start();
    cli.start(QStringLiteral(LUMISIFT_CLI_PATH),
              {QStringLiteral("search"), QStringLiteral("cats"), QStringLiteral("--ini"),
               dir.filePath(QStringLiteral("lumisift.ini"))});
    ASSERT_TRUE(cli.waitForFinished(30000));
    EXPECT_LT(running.elapsed(), 15000) << "ended by itself, without --for";
    EXPECT_EQ(cli.exitCode(), 1);
    EXPECT_TRUE(cli.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(cli.readAllStandardError().contains("no search service answered"));
}
