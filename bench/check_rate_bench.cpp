// Link checks a second: a searching engine with "Fast Connection", all its timers running,
// reads a page that links 500 pictures from nginx on loopback and checks them all. Measured
// from the moment the page's links are queued until the last picture is listed.
#include <chrono>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "common/Peers.h"

#include "base/IniFiles.h"
#include "engine/SearchEngine.h"
#include "net/ConnectionPool.h"

namespace {

constexpr int Pictures = 500;

// nginx on loopback serving a gallery page and its pictures from a scratch folder.
class PictureWeb {
public:
    PictureWeb() {
        QDir(folder_.path()).mkdir(QStringLiteral("p"));
        std::string page = "<html><body>\r\n";
        for (int i = 0; i < Pictures; ++i) {
            const std::string name = "p/" + std::to_string(i) + ".jpg";
            write(name, std::string(40000, 'j'));
            page += "<img src=\"" + name + "\">\r\n";
        }
        write("gallery.htm", page + "</body></html>");
        nginx_ = std::make_unique<lumi::test::NginxPeer>(folder_.path().toStdString());
    }
    bool running() const { return nginx_->running(); }
    std::string url(const std::string& path) const { return nginx_->url(path); }

private:
    void write(const std::string& name, const std::string& bytes) {
        QFile file(folder_.filePath(QString::fromStdString(name)));
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
    QTemporaryDir folder_;
    std::unique_ptr<lumi::test::NginxPeer> nginx_;
};

void BM_LinkChecksPerSecondFastConnection(benchmark::State& state) {
    PictureWeb server;
    if (!server.running()) {
        state.SkipWithError("nginx did not start");
        return;
    }
    double perSecond = 0;
    for (auto _ : state) {
        QTemporaryDir dir;
        const std::string settings = dir.filePath(QStringLiteral("lumisift.ini")).toStdString();
        TIniFile(settings).WriteString("Options", "SlowConnection", "0");
        // The services' hosts refuse at once, so only the gallery leads anywhere.
        lumi::SearchEngine engine(lumi::SearchEngineSetup{
            settings, {"127.0.0.1:1", "127.0.0.1:1", "127.0.0.1:1"}, false,
            std::make_shared<lumi::ConnectionPool>()});
        engine.SearchButtonClick("bench");
        engine.GetPageQueue.clear();
        engine.QueueForGetPage(server.url("/gallery.htm"), 99);
        while (engine.CheckLinkQueue.empty())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const auto start = std::chrono::steady_clock::now();
        while (engine.FoundList.size() < static_cast<size_t>(Pictures) && engine.Searching)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        perSecond = static_cast<double>(engine.FoundList.size()) / took.count();
    }
    state.counters["checks_per_second"] = perSecond;
    state.SetLabel("goal: at least 300 checks a second");
}

} // namespace

BENCHMARK(BM_LinkChecksPerSecondFastConnection)->Unit(benchmark::kMillisecond)->Iterations(2);
