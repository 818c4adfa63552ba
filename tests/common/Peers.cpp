#include "common/Peers.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>

namespace lumi::test {

namespace {

// How long a peer may take to start listening, and to stop after TERM.
constexpr int startTimeoutMs = 10000;
constexpr int stopTimeoutMs = 5000;

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The full path of a program on PATH, or "".
std::string findProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";
    // nginx and tinyproxy live in sbin folders that a user's PATH may leave out.
    dirs += ":/usr/sbin:/sbin";
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return {};
}

// Servers started as root do their work as another user: that user must read the folder.
void makeReadableToAll(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code ignored;
    const auto readable = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                          fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(folder, readable, ignored);
    for (const auto& entry : fs::recursive_directory_iterator(folder, ignored))
        fs::permissions(entry.path(), readable, ignored);
}

// The server that a guard process watches; set in that process only.
volatile sig_atomic_t guardedServer = 0;

void killGuardedServer(int) {
    kill(static_cast<pid_t>(guardedServer), SIGKILL);
    _exit(0);
}

// A server that changes its user (apache and squid started as root do) loses the signal that
// ends it with the test process. A guard process, which keeps that signal, ends it instead
// when the test process dies without stopping it. Only async-signal-safe calls in the guard.
pid_t startGuard(pid_t server) {
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) return pid;
    guardedServer = server;
    struct sigaction action {};
    action.sa_handler = killGuardedServer;
    sigaction(SIGTERM, &action, nullptr);
    sigset_t terminate;
    sigemptyset(&terminate);
    sigaddset(&terminate, SIGTERM);
    sigprocmask(SIG_UNBLOCK, &terminate, nullptr);
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) killGuardedServer(0);
    for (;;)
        pause();
}

bool childExited(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == pid;
}

} // namespace

int freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

bool waitForLoopbackPort(int port, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        if (ok) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

PeerProcess::PeerProcess() : dir_(std::make_unique<QTemporaryDir>()) {}

PeerProcess::~PeerProcess() {
    stop();
}

std::string PeerProcess::folder() const {
    return dir_->path().toStdString();
}

std::string PeerProcess::readFile(const std::string& name) const {
    std::ifstream in(folder() + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string PeerProcess::log() const {
    return readFile(logName_) + readFile("console.log");
}

void PeerProcess::start(const std::string& config, const std::vector<std::string>& argv) {
    if (!dir_->isValid()) {
        error_ = "cannot create a temporary folder";
        return;
    }
    const std::string conf = folder() + "/peer.conf";
    std::ofstream(conf) << config;

    std::vector<std::string> args;
    for (const std::string& a : argv)
        args.push_back(replaceAll(replaceAll(a, "{conf}", conf), "{dir}", folder()));
    std::vector<char*> cargs;
    for (std::string& a : args)
        cargs.push_back(a.data());
    cargs.push_back(nullptr);

    const std::string program = findProgram(args[0]);
    if (program.empty()) {
        error_ = args[0] + " not found on PATH (scripts/install-deps.sh installs it)";
        return;
    }
    const std::string console = folder() + "/console.log";
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        error_ = "cannot start " + args[0] + ": " + std::strerror(errno);
        return;
    }
    if (pid == 0) {
        // Only async-signal-safe calls here. The peer dies with the test process, so a
        // crashed or killed test leaves no server behind.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        const int log = ::open(console.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int none = ::open("/dev/null", O_RDONLY);
        if (log >= 0) {
            dup2(log, 1);
            dup2(log, 2);
        }
        if (none >= 0) dup2(none, 0);
        execv(program.c_str(), cargs.data());
        _exit(127);
    }
    pid_ = pid;
    guard_ = startGuard(pid);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(startTimeoutMs);
    while (!waitForLoopbackPort(port_, 100)) {
        if (childExited(pid_)) {
            pid_ = -1;
            stopGuard();
            error_ = args[0] + " ended before listening: " + log();
            return;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            error_ = args[0] + " did not listen on port " + std::to_string(port_) + ": " + log();
            stop();
            return;
        }
    }
}

void PeerProcess::stopGuard() {
    if (guard_ <= 0) return;
    kill(guard_, SIGKILL);
    int status = 0;
    waitpid(guard_, &status, 0);
    guard_ = -1;
}

void PeerProcess::stop() {
    stopGuard();
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(stopTimeoutMs);
    bool gone = childExited(pid_);
    while (!gone && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        gone = childExited(pid_);
    }
    if (!gone) {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    pid_ = -1;
}

NginxPeer::NginxPeer(const std::string& servedFolder, const std::string& listenFlags,
                     const std::string& serverLines) {
    port_ = freeLoopbackPort();
    logName_ = "error.log";
    const std::string d = folder();
    const std::string config = "daemon off;\n"
                               "master_process off;\n"
                               "worker_processes 1;\n"
                               "pid " +
                               d +
                               "/nginx.pid;\n"
                               "error_log " +
                               d +
                               "/error.log warn;\n"
                               "events { worker_connections 4096; }\n"
                               "http {\n"
                               "  access_log " +
                               d +
                               "/access.log;\n"
                               "  client_body_temp_path " +
                               d +
                               "/body;\n"
                               "  proxy_temp_path " +
                               d +
                               "/proxy;\n"
                               "  fastcgi_temp_path " +
                               d +
                               "/fastcgi;\n"
                               "  uwsgi_temp_path " +
                               d +
                               "/uwsgi;\n"
                               "  scgi_temp_path " +
                               d +
                               "/scgi;\n"
                               "  types { text/html html htm; image/jpeg jpg jpeg; "
                               "text/plain txt; }\n"
                               "  default_type application/octet-stream;\n"
                               "  sendfile on;\n"
                               "  server {\n"
                               "    listen 127.0.0.1:" +
                               std::to_string(port_) + " backlog=4096" + listenFlags +
                               ";\n"
                               "    root " +
                               servedFolder + ";\n    " + serverLines +
                               "\n"
                               "  }\n"
                               "}\n";
    start(config, {"nginx", "-p", "{dir}", "-e", "{dir}/error.log", "-c", "{conf}"});
}

std::string PeerProcess::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

TinyproxyPeer::TinyproxyPeer(const std::string& extraConfig) {
    port_ = freeLoopbackPort();
    logName_ = "tinyproxy.log";
    const std::string d = folder();
    const std::string config = "Port " + std::to_string(port_) + "\n" +
                               "Listen 127.0.0.1\n"
                               "Timeout 600\n"
                               "MaxClients 200\n"
                               "Allow 127.0.0.1\n"
                               "LogLevel Info\n"
                               "LogFile \"" +
                               d +
                               "/tinyproxy.log\"\n"
                               "PidFile \"" +
                               d +
                               "/tinyproxy.pid\"\n"
                               "DisableViaHeader Yes\n" + extraConfig + "\n";
    start(config, {"tinyproxy", "-d", "-c", "{conf}"});
}

} // namespace lumi::test

namespace lumi::test {

LighttpdPeer::LighttpdPeer(const std::string& servedFolder) {
    port_ = freeLoopbackPort();
    logName_ = "error.log";
    const std::string config = "server.document-root = \"" + servedFolder +
                               "\"\n"
                               "server.bind = \"127.0.0.1\"\n"
                               "server.port = " +
                               std::to_string(port_) +
                               "\n"
                               "server.errorlog = \"" +
                               folder() +
                               "/error.log\"\n"
                               "server.modules = (\"mod_redirect\")\n"
                               "index-file.names = (\"index.html\")\n"
                               "mimetype.assign = (\".html\" => \"text/html\", "
                               "\".jpg\" => \"image/jpeg\")\n"
                               "url.redirect = (\"^/rel$\" => \"sub/target.html\")\n";
    start(config, {"lighttpd", "-D", "-f", "{conf}"});
}

ApachePeer::ApachePeer(const std::string& servedFolder) {
    port_ = freeLoopbackPort();
    logName_ = "error.log";
    const std::string d = folder();
    makeReadableToAll(servedFolder);
    makeReadableToAll(d);
    const std::string modules = "/usr/lib/apache2/modules/";
    std::string config =
        "ServerRoot " + d + "\nServerName 127.0.0.1\nListen 127.0.0.1:" + std::to_string(port_) +
        "\nPidFile " + d + "/httpd.pid\nErrorLog " + d + "/error.log\nMutex file:" + d +
        "\nDefaultRuntimeDir " + d + "\nTypesConfig /dev/null\n";
    for (const char* module : {"mpm_event", "authz_core", "dir", "mime", "asis"})
        config +=
            std::string("LoadModule ") + module + "_module " + modules + "mod_" + module + ".so\n";
    if (geteuid() == 0) config += "User www-data\nGroup www-data\n";
    config += "AddHandler send-as-is asis\nAddType text/html .html\nDocumentRoot " + servedFolder +
              "\n<Directory " + servedFolder + ">\n  Require all granted\n</Directory>\n";
    start(config, {"apache2", "-X", "-f", "{conf}"});
}

SquidPeer::SquidPeer(const std::string& accessRules) {
    port_ = freeLoopbackPort();
    logName_ = "cache.log";
    const std::string d = folder();
    if (geteuid() == 0) {
        if (const passwd* user = getpwnam("proxy")) {
            if (chown(d.c_str(), user->pw_uid, user->pw_gid) != 0)
                error_ = "cannot hand the folder to the proxy user";
        }
    }
    const std::string config = "http_port 127.0.0.1:" + std::to_string(port_) +
                               "\n"
                               "visible_hostname lumisift-test\n"
                               "acl loopback src 127.0.0.1\n" +
                               accessRules + "\nhttp_access allow loopback\n"
                               "http_access deny all\n"
                               "cache deny all\n"
                               "cache_mem 8 MB\n"
                               "pinger_enable off\n"
                               "shutdown_lifetime 1 seconds\n"
                               "pid_filename " +
                               d + "/squid.pid\ncache_log " + d +
                               "/cache.log\naccess_log stdio:" + d + "/access.log\ncoredump_dir " +
                               d + "\n";
    if (error_.empty()) start(config, {"squid", "-N", "-f", "{conf}"});
}

} // namespace lumi::test
