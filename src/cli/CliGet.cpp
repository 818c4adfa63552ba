// lumisift-cli get: one THttpCli request from the command line, with an optional trace of
// every event as it fires (for checking the client's event order against a peer).
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include <QEventLoop>

#include "base/PartFile.h"
#include "net/HttpProt.h"
#include "net/TlsSession.h"

namespace lumi::cli {

namespace {

struct GetOptions {
    std::string url;
    std::string proxy;
    std::string proxyPort;
    std::string outFile;
    bool trace = false;
};

int getUsage() {
    std::fprintf(stderr,
                 "usage: lumisift-cli get URL [--proxy PROXY] [--proxy-port PORT] [--trace] "
                 "[-o FILE]\n");
    return 2;
}

bool parseGetOptions(int argc, char** argv, GetOptions& o) {
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--trace") {
            o.trace = true;
        } else if (a == "--proxy" && hasValue) {
            o.proxy = argv[++i];
        } else if (a == "--proxy-port" && hasValue) {
            o.proxyPort = argv[++i];
        } else if (a == "-o" && hasValue) {
            o.outFile = argv[++i];
        } else if (!a.empty() && a[0] == '-') {
            return false;
        } else if (o.url.empty()) {
            o.url = a;
        } else {
            return false;
        }
    }
    return !o.url.empty();
}

// One trace line: fields separated by one TAB, raw bytes, LF at the end.
void traceLine(std::initializer_list<std::string> fields) {
    bool first = true;
    for (const std::string& f : fields) {
        if (!first) std::fputc('\t', stdout);
        std::fwrite(f.data(), 1, f.size(), stdout);
        first = false;
    }
    std::fputc('\n', stdout);
}

void attachTrace(THttpCli& cli) {
    cli.OnStateChange = [](THttpCli* s) {
        traceLine({"OnStateChange", httpStateName(s->State())});
    };
    cli.OnSessionConnected = [](THttpCli*) { traceLine({"OnSessionConnected"}); };
    cli.OnRequestHeaderBegin = [](THttpCli*) { traceLine({"OnRequestHeaderBegin"}); };
    cli.OnCommand = [](THttpCli*, const std::string& line) { traceLine({"OnCommand", line}); };
    cli.OnRequestHeaderEnd = [](THttpCli*) { traceLine({"OnRequestHeaderEnd"}); };
    cli.OnHeaderBegin = [](THttpCli*) { traceLine({"OnHeaderBegin"}); };
    cli.OnCookie = [](THttpCli*, const std::string& data, bool&) { traceLine({"OnCookie", data}); };
    cli.OnHeaderData = [](THttpCli* s) { traceLine({"OnHeaderData", s->LastResponse()}); };
    cli.OnHeaderEnd = [](THttpCli*) { traceLine({"OnHeaderEnd"}); };
    cli.OnDocBegin = [](THttpCli*) { traceLine({"OnDocBegin"}); };
    cli.OnDocData = [](THttpCli*, const char*, int len) {
        traceLine({"OnDocData", std::to_string(len)});
    };
    cli.OnDocEnd = [](THttpCli*) { traceLine({"OnDocEnd"}); };
    cli.OnLocationChange = [](THttpCli* s) { traceLine({"OnLocationChange", s->Location()}); };
}

// Where the body goes: standard output or a temporary beside the -o file. The file takes its
// name only when the whole answer arrived.
class BodyOutput {
public:
    // Empty path: standard output.
    bool open(const std::string& path) {
        if (path.empty()) return true;
        file_ = PartFile::create(path, error_);
        return file_ != nullptr;
    }
    bool toFile() const { return file_ != nullptr; }
    // False once the body cannot be kept (error() says why).
    bool take(const char* data, int len) {
        if (!error_.empty() || len <= 0) return error_.empty();
        if (!file_) {
            std::fwrite(data, 1, static_cast<size_t>(len), stdout);
            return true;
        }
        if (!file_->write(data, static_cast<size_t>(len))) error_ = file_->error();
        return error_.empty();
    }
    // Ends the body: the file is renamed into place when ok (the client has checked that the
    // body is whole).
    bool finish(bool ok) {
        if (!file_) return ok && error_.empty();
        if (ok && error_.empty() && !file_->commit()) error_ = file_->error();
        if (!ok || !error_.empty()) file_->discard();
        return ok && error_.empty();
    }
    const std::string& error() const { return error_; }

private:
    std::unique_ptr<PartFile> file_;
    std::string error_;
};

} // namespace

int runGet(int argc, char** argv) {
    GetOptions o;
    if (!parseGetOptions(argc, argv, o)) return getUsage();
    // Every https request would fail for it: said before anything else.
    if (const std::string problem = tlsCaFileProblem(); !problem.empty())
        std::fprintf(stderr, "lumisift-cli: %s\n", problem.c_str());

    BodyOutput out;
    if (!out.open(o.outFile)) {
        std::fprintf(stderr, "lumisift-cli: cannot create %s: %s\n", o.outFile.c_str(),
                     out.error().c_str());
        return 1;
    }

    THttpCli cli;
    cli.URL = o.url;
    cli.Proxy = o.proxy;
    if (!o.proxyPort.empty()) cli.ProxyPort = o.proxyPort;
    if (o.trace) attachTrace(cli);
    // Without a file and without a trace the body goes to standard output, as curl does.
    if (out.toFile() || !o.trace)
        cli.OnDocData = [&out, trace = cli.OnDocData](THttpCli* s, const char* data, int len) {
            if (trace) trace(s, data, len);
            if (!out.take(data, len)) s->Abort();
        };

    QEventLoop loop;
    int requestError = -1;
    cli.OnRequestDone = [&](THttpCli*, THttpRequest rqType, int error) {
        requestError = error;
        if (o.trace)
            traceLine(
                {"OnRequestDone", std::to_string(static_cast<int>(rqType)), std::to_string(error)});
        loop.quit();
    };

    try {
        cli.StartGet();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lumisift-cli: %s\n", e.what());
        return 1;
    }
    if (requestError < 0) loop.exec();
    const bool answered = requestError == 0 && cli.StatusCode() < 400;
    const bool kept = out.finish(answered);
    if (!out.error().empty())
        std::fprintf(stderr, "lumisift-cli: cannot keep the body%s%s: %s\n",
                     out.toFile() ? " in " : "", o.outFile.c_str(), out.error().c_str());

    if (o.trace) {
        traceLine({"StatusCode", std::to_string(cli.StatusCode())});
        traceLine({"ReasonPhrase", cli.ReasonPhrase()});
        traceLine({"ContentType", cli.ContentType()});
        traceLine({"ContentLength", std::to_string(cli.ContentLength())});
        traceLine({"DocName", cli.DocName()});
        traceLine({"RcvdCount", std::to_string(cli.RcvdCount())});
        traceLine({"Location", cli.Location()});
    } else {
        const std::string statusLine =
            cli.RcvdHeader().empty() ? std::string("(no status line)") : cli.RcvdHeader().front();
        std::fprintf(stderr, "%s\n", statusLine.c_str());
        std::fprintf(stderr, "lumisift-cli: status %d \"%s\", error %d, %lld bytes%s%s\n",
                     cli.StatusCode(), cli.ReasonPhrase().c_str(), requestError,
                     static_cast<long long>(cli.RcvdCount()), kept && out.toFile() ? " saved to " : "",
                     kept && out.toFile() ? o.outFile.c_str() : "");
    }
    if (!cli.Notice().empty()) std::fprintf(stderr, "lumisift-cli: %s\n", cli.Notice().c_str());
    std::fflush(stdout);
    return kept ? 0 : 1;
}

} // namespace lumi::cli
