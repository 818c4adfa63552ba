#pragma once
// Shared scaffolding of the engine tests: a settings file in a temporary folder, an engine
// whose timers are stopped (tests drive the handlers), an injected tick counter and a real
// loopback web server with fast, slow, gated and never-answering pages.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

#include <QTemporaryDir>

#include "analysis/ArchiveService.h"
#include "base/Clock.h"
#include "base/ErrorReport.h"
#include "base/IniFiles.h"
#include "engine/SearchEngine.h"

namespace lumi::test {

// Replaces the tick counter for the lifetime of the object.
class FakeClock {
public:
    explicit FakeClock(uint32_t start = 1000) : now_(start) {
        setTickSource([this] { return now_.load(); });
    }
    ~FakeClock() { setTickSource({}); }
    void set(uint32_t tick) { now_ = tick; }
    void advance(uint32_t ms) { now_ += ms; }
    uint32_t now() const { return now_; }

private:
    std::atomic<uint32_t> now_;
};

// Collects the texts that reach ReportError while it lives.
class ReportedErrors {
public:
    ReportedErrors() {
        setErrorSink([this](const std::string& text) { texts.push_back(text); });
    }
    ~ReportedErrors() { setErrorSink({}); }
    std::vector<std::string> texts;
};

// An engine over a fresh settings file, with every timer stopped.
class EngineUnderTest {
public:
    explicit EngineUnderTest(SearchHosts hosts = {"127.0.0.1:1", "127.0.0.1:1", "127.0.0.1:1"},
                             std::shared_ptr<ConnectionPool> connections = nullptr) {
        settingsPath_ = dir_.filePath(QStringLiteral("lumisift.ini")).toStdString();
        // The classic services only: the archives' public addresses are never asked here.
        for (const ArchiveService* archive : archiveServices())
            TIniFile(settingsPath_).WriteBool("Services", archive->setting.key, false);
        setRandomSeed(7);
        engine = std::make_unique<SearchEngine>(
            SearchEngineSetup{settingsPath_, std::move(hosts), false, std::move(connections)});
        for (QTimer* timer : {engine->Timer1, engine->Timer2, engine->Timer3, engine->Timer4,
                              engine->Timer5, engine->TimerBlinkSearch})
            timer->stop();
    }
    // Writes an option the way the options dialog does.
    void option(const std::string& key, const std::string& value) {
        TIniFile(settingsPath_).WriteString("Options", key, value);
    }
    SearchEngine& operator*() { return *engine; }
    SearchEngine* operator->() { return engine.get(); }

    std::unique_ptr<SearchEngine> engine;

private:
    QTemporaryDir dir_;
    std::string settingsPath_;
};

// A web server on 127.0.0.1 (any free port), serving in its own thread until destroyed.
//   ...hang...          accepts and never answers (until the server stops)
//   /gate...            answers "image/jpeg" with 30000 bytes once openGate() was called
//   /gate....htm        answers like /gallery.htm once openGate() was called
//   /big                a text/html page of 9 MiB
//   /img/<n>.jpg        "image/jpeg" with a Content-Length of n bytes
//   /nolen.gif          "image/gif" without a Content-Length
//   /gallery.htm        a page showing the image /img/25000.jpg
//   /page.htm           the text of setPage()
//   /moved/<n>.jpg      relocates to /slow/<n>.jpg, which answers like /img/<n>.jpg after 300 ms
//   /away/<n>.jpg       relocates to an ftp address
//   /old/index.html     relocates to /new/place/index.html, showing pics/x.jpg (30000 bytes)
//   /zero.jpg           "image/jpeg" with a Content-Length of 0
//   anything else       a short text/html page
class LoopbackServer {
public:
    LoopbackServer() {
        server_.new_task_queue = [] { return new httplib::ThreadPool(64); };
        server_.Get(R"(/.*hang.*)", [this](const httplib::Request&, httplib::Response& res) {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return stopping_; });
            res.set_content("late", "text/html");
        });
        server_.Get(R"(/gate.*)", [this](const httplib::Request& req, httplib::Response& res) {
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [this] { return stopping_ || gateOpen_; });
            }
            if (req.path.ends_with(".htm"))
                res.set_content(galleryPage(), "text/html");
            else
                res.set_content(std::string(30000, 'j'), "image/jpeg");
        });
        server_.Get("/big", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(9 * 1024 * 1024, 'b'), "text/html");
        });
        server_.Get(R"(/img/(\d+)\.jpg)", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(std::string(std::stoul(req.matches[1].str()), 'i'), "image/jpeg");
        });
        server_.Get("/nolen.gif", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("image/gif", [](size_t, httplib::DataSink& sink) {
                sink.write("GIF89a", 6);
                sink.done();
                return true;
            });
        });
        server_.Get("/gallery.htm", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(galleryPage(), "text/html");
        });
        server_.Get("/page.htm", [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(mutex_);
            res.set_content(page_, "text/html");
        });
        server_.Get(R"(/(moved|slow|away)/(\d+)\.jpg)",
                    [](const httplib::Request& req, httplib::Response& res) {
                        const std::string kind = req.matches[1].str(), n = req.matches[2].str();
                        if (kind == "moved") return res.set_redirect("/slow/" + n + ".jpg", 302);
                        if (kind == "away") return res.set_redirect("ftp://127.0.0.1/x.jpg", 302);
                        std::this_thread::sleep_for(std::chrono::milliseconds(300));
                        res.set_content(std::string(std::stoul(n), 's'), "image/jpeg");
                    });
        server_.Get(R"(/(old/index.html|new/place/index.html|new/place/pics/x.jpg|zero.jpg))",
                    [](const httplib::Request& req, httplib::Response& res) {
                        if (req.path == "/old/index.html")
                            return res.set_redirect("/new/place/index.html");
                        if (req.path == "/new/place/index.html")
                            return res.set_content("<img src=\"pics/x.jpg\">", "text/html");
                        res.set_content(std::string(req.path == "/zero.jpg" ? 0 : 30000, 'x'),
                                        "image/jpeg");
                    });
        server_.Get(R"(/.*)", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html>\r\n<body>page</body>\r\n</html>", "text/html");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        // stop() is a no-op until the accept loop runs, so the server must be running before
        // a test can end.
        for (int i = 0; i < 5000 && !server_.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~LoopbackServer() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        server_.stop();
        thread_.join();
    }
    void openGate() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            gateOpen_ = true;
        }
        changed_.notify_all();
    }
    void setPage(std::string page) {
        std::lock_guard<std::mutex> lock(mutex_);
        page_ = std::move(page);
    }
    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string url(const std::string& path) const { return "http://" + host() + path; }

private:
    std::string galleryPage() const {
        return "<html><body>\r\n<img src=\"" + url("/img/25000.jpg") +
               "\" width=100>\r\n</body></html>";
    }

    httplib::Server server_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    bool gateOpen_ = false;
    std::string page_;
    int port_ = 0;
};

} // namespace lumi::test
