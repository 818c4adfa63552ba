// lumisift-cli get: one THttpCli request from the command line, with an optional trace of
// every event as it fires (for checking the client's event order against a peer).
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include <QEventLoop>
#include <QFile>

#include "base/ErrorReport.h"
#include "net/HttpProt.h"

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

} // namespace

int runGet(int argc, char** argv) {
    GetOptions o;
    if (!parseGetOptions(argc, argv, o)) return getUsage();

    std::unique_ptr<QFile> out;
    if (!o.outFile.empty()) {
        out = std::make_unique<QFile>(QString::fromLocal8Bit(o.outFile.c_str()));
        if (!out->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            std::fprintf(stderr, "lumisift-cli: cannot create %s\n", o.outFile.c_str());
            return 1;
        }
    }

    THttpCli cli;
    cli.URL = o.url;
    cli.Proxy = o.proxy;
    if (!o.proxyPort.empty()) cli.ProxyPort = o.proxyPort;
    cli.RcvdStream = out.get();
    if (o.trace) attachTrace(cli);
    // Without a file and without a trace the body goes to standard output, as curl does.
    if (!out && !o.trace)
        cli.OnDocData = [](THttpCli*, const char* data, int len) {
            std::fwrite(data, 1, static_cast<size_t>(len), stdout);
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
    // The last buffered bytes reach the disk only here; a full disk shows now.
    bool outWritten = true;
    if (out) {
        out->close();
        outWritten = out->error() == QFileDevice::NoError;
        if (!outWritten)
            std::fprintf(stderr, "lumisift-cli: cannot write %s: %s\n", o.outFile.c_str(),
                         out->errorString().toLocal8Bit().constData());
    }

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
                     static_cast<long long>(cli.RcvdCount()), out ? " saved to " : "",
                     out ? o.outFile.c_str() : "");
    }
    if (!cli.Notice().empty()) std::fprintf(stderr, "lumisift-cli: %s\n", cli.Notice().c_str());
    std::fflush(stdout);
    return requestError == 0 && outWritten && cli.StatusCode() < 400 ? 0 : 1;
}

} // namespace lumi::cli
