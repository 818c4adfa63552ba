#pragma once
// End-to-end test support: lumisift-sandbox as a child process on a free loopback port, and
// lumisift-cli search run against it. Both are stopped by their own pids.
#include <memory>
#include <string>
#include <vector>

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

class QTemporaryDir;

namespace lumi::test {

class SandboxProcess {
public:
    // Starts the sandbox with --port 0 and the given extra arguments; waits for its
    // environment lines.
    explicit SandboxProcess(const QStringList& arguments = {});
    ~SandboxProcess();
    SandboxProcess(const SandboxProcess&) = delete;
    SandboxProcess& operator=(const SandboxProcess&) = delete;

    bool running() const { return port_ > 0; }
    const std::string& error() const { return error_; }
    int port() const { return port_; }
    // This process's environment plus the LUMISIFT_* lines the sandbox printed.
    QProcessEnvironment environment() const { return environment_; }
    // The body of a GET for target on the sandbox ("" when it fails).
    std::string get(const std::string& target) const;
    // The lines of get(target).
    std::vector<std::string> lines(const std::string& target) const;
    // The expected rows ("size TAB url"), sorted, for a phrase and extra query options.
    std::vector<std::string> expected(const std::string& phrase,
                                      const std::string& options = "") const;

private:
    std::unique_ptr<QProcess> process_;
    int port_ = 0;
    std::string error_;
    QProcessEnvironment environment_;
};

struct CliSearch {
    int exitCode = -1;
    std::vector<std::string> rows; // stdout lines, sorted
    std::string errors;            // stderr
};

// Runs lumisift-cli with arguments (the command first) in the sandbox's environment, bounded
// by timeoutMs; rows are the stdout lines in their order.
CliSearch runCli(const SandboxProcess& sandbox, const QStringList& arguments,
                 int timeoutMs = 120000);
// Runs lumisift-cli search with arguments in the sandbox's environment; bounded by timeoutMs.
CliSearch runCliSearch(const SandboxProcess& sandbox, const QStringList& arguments,
                       int timeoutMs = 120000);

// Sandbox arguments for searches that fall idle within seconds: the page that never answers
// answers late, the slow page is quicker.
extern const QStringList kQuickSandbox;
// Search arguments: stop once idle for 2 seconds, and after 90 seconds at the latest.
extern const QStringList kUntilIdle;

// Writes a settings file with the given [Options] lines into dir; returns its path.
QString writeIni(const QTemporaryDir& dir, const std::string& options);

// Percent-encodes a phrase for a query parameter.
std::string queryEncode(const std::string& text);
std::vector<std::string> splitLines(const std::string& text);

} // namespace lumi::test
