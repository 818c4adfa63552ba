#include "SandboxProcess.h"

#include <algorithm>
#include <fstream>

#include <httplib.h>

#include <QElapsedTimer>
#include <QTemporaryDir>

#include "analysis/ArchiveService.h"

namespace lumi::test {

namespace {
constexpr int kStartTimeoutMs = 20000;
constexpr int kStopTimeoutMs = 10000;
} // namespace

const QStringList kQuickSandbox{QStringLiteral("--hang-ms"), QStringLiteral("3000"),
                                QStringLiteral("--slow-ms"), QStringLiteral("1500")};
const QStringList kUntilIdle{QStringLiteral("--until-idle"), QStringLiteral("2"),
                             QStringLiteral("--for"), QStringLiteral("90")};

QString writeIni(const QTemporaryDir& dir, const std::string& options) {
    const QString path = dir.filePath(QStringLiteral("lumisift.ini"));
    std::ofstream(path.toStdString()) << "[Options]\r\n" << options;
    return path;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t from = 0;
    while (from < text.size()) {
        const auto end = text.find('\n', from);
        out.push_back(text.substr(from, end == std::string::npos ? std::string::npos : end - from));
        if (end == std::string::npos) break;
        from = end + 1;
    }
    return out;
}

std::string queryEncode(const std::string& text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (std::isalnum(b) || c == '-' || c == '_' || c == '.') {
            out += c;
        } else {
            out += '%';
            out += digits[b >> 4];
            out += digits[b & 15];
        }
    }
    return out;
}

SandboxProcess::SandboxProcess(const QStringList& arguments)
    : process_(std::make_unique<QProcess>()) {
    process_->setProgram(QStringLiteral(LUMISIFT_SANDBOX_EXE));
    process_->setArguments(QStringList{QStringLiteral("--port"), QStringLiteral("0")} + arguments);
    process_->setProcessChannelMode(QProcess::SeparateChannels);
    process_->start();
    if (!process_->waitForStarted(kStartTimeoutMs)) {
        error_ = "lumisift-sandbox did not start";
        return;
    }
    environment_ = QProcessEnvironment::systemEnvironment();
    QElapsedTimer timer;
    timer.start();
    // The five hosts, then one address per archive of the list.
    const size_t expected = 5 + lumi::archiveServices().size();
    size_t variables = 0;
    std::string pending;
    while (variables < expected && timer.elapsed() < kStartTimeoutMs) {
        if (!process_->waitForReadyRead(200) && process_->state() != QProcess::Running) break;
        pending += process_->readAllStandardOutput().toStdString();
        for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            const auto equals = line.find('=');
            if (line.compare(0, 9, "LUMISIFT_") != 0 || equals == std::string::npos) continue;
            environment_.insert(QString::fromStdString(line.substr(0, equals)),
                                QString::fromStdString(line.substr(equals + 1)));
            ++variables;
            if (line.compare(0, 21, "LUMISIFT_HOTBOT_HOST=") == 0)
                port_ = std::atoi(line.substr(line.rfind(':') + 1).c_str());
        }
    }
    if (variables < expected || port_ <= 0) {
        error_ = "no environment lines from lumisift-sandbox: " +
                 process_->readAllStandardError().toStdString();
        port_ = 0;
    }
}

SandboxProcess::~SandboxProcess() {
    if (process_->state() == QProcess::NotRunning) return;
    process_->terminate(); // SIGTERM to this child's pid only
    if (!process_->waitForFinished(kStopTimeoutMs)) {
        process_->kill();
        process_->waitForFinished(kStopTimeoutMs);
    }
}

std::string SandboxProcess::get(const std::string& target) const {
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(60, 0);
    const auto result = client.Get(target.c_str());
    return result && result->status == 200 ? result->body : std::string();
}

std::vector<std::string> SandboxProcess::lines(const std::string& target) const {
    return splitLines(get(target));
}

std::vector<std::string> SandboxProcess::expected(const std::string& phrase,
                                                  const std::string& options) const {
    auto rows =
        lines("/__expected?phrase=" + queryEncode(phrase) + (options.empty() ? "" : "&" + options));
    std::sort(rows.begin(), rows.end());
    return rows;
}

CliSearch runCli(const SandboxProcess& sandbox, const QStringList& arguments, int timeoutMs) {
    QProcess cli;
    cli.setProgram(QStringLiteral(LUMISIFT_CLI_EXE));
    cli.setArguments(arguments);
    cli.setProcessEnvironment(sandbox.environment());
    cli.start();
    CliSearch run;
    if (!cli.waitForFinished(timeoutMs)) {
        cli.kill();
        cli.waitForFinished(kStopTimeoutMs);
        run.errors = "lumisift-cli " + arguments.value(0).toStdString() + " did not finish in time";
        return run;
    }
    run.exitCode = cli.exitCode();
    run.rows = splitLines(cli.readAllStandardOutput().toStdString());
    run.errors = cli.readAllStandardError().toStdString();
    return run;
}

CliSearch runCliSearch(const SandboxProcess& sandbox, const QStringList& arguments, int timeoutMs) {
    CliSearch run = runCli(sandbox, QStringList{QStringLiteral("search")} + arguments, timeoutMs);
    std::sort(run.rows.begin(), run.rows.end());
    return run;
}

} // namespace lumi::test
