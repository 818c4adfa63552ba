// `lumisift-cli --help` and its manual page name the same commands and options, and the page
// every variable the help names.
#include <fstream>
#include <set>
#include <sstream>

#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

// The first group of every match of pattern in text, from `from` up to `to` (or the end).
std::set<std::string> named(const QString& text, const char* from, const char* to,
                            const char* pattern) {
    const qsizetype start = text.indexOf(QLatin1String(from));
    const QString part = text.mid(start, to ? text.indexOf(QLatin1String(to), start) - start : -1);
    std::set<std::string> names;
    auto it = QRegularExpression(QLatin1String(pattern), QRegularExpression::MultilineOption)
                  .globalMatch(part);
    while (it.hasNext())
        names.insert(it.next().captured(1).toStdString());
    return names;
}

TEST(CliHelp, NamesTheCommandsOptionsAndEnvironmentOfTheManualPage) {
    QProcess cli;
    cli.start(QStringLiteral(LUMISIFT_CLI_PATH), {QStringLiteral("--help")});
    ASSERT_TRUE(cli.waitForFinished(30000));
    const QString help = QString::fromUtf8(cli.readAllStandardOutput());
    std::stringstream read;
    read << std::ifstream(LUMISIFT_MANUAL_PAGE).rdbuf();
    // The page's escapes and font changes out of the way: "\-\-format" is "--format".
    const QString page = QString::fromStdString(read.str())
                             .replace(QStringLiteral("\\-"), QStringLiteral("-"))
                             .remove(QRegularExpression(QStringLiteral("\\\\f[RBIP]")));
    const auto commands = named(help, "commands:", "options:", "^  ([a-z][a-z-]+) ");
    EXPECT_GE(commands.size(), 6u);
    EXPECT_EQ(commands, named(page, ".SH COMMANDS", ".SH OPTIONS", "^\\.BI? \"([a-z][a-z-]+) "));
    EXPECT_EQ(named(help, "commands:", "environment:", "(--[a-z][a-z-]*)"),
              named(page, ".SH COMMANDS", ".SH EXIT", "(--[a-z][a-z-]*)"));
    const auto pageVariables = named(page, ".SH ENVIRONMENT", nullptr, "(LUMISIFT_[A-Z_]+)");
    for (const std::string& name : named(help, "environment:", nullptr, "(LUMISIFT_[A-Z_]+)"))
        EXPECT_TRUE(pageVariables.count(name)) << name << " is not in the manual page";
}

} // namespace
