// The page-fetch and link-check queues of SearchEngine: queueing, the dispatchers that
// start clients, the handlers of finished work and the sweeps that release clients.
#include "engine/SearchEngine.h"

#include "analysis/PageAnalysis.h"
#include "base/Clock.h"
#include "base/ErrorReport.h"
#include "base/ProxySetting.h"
#include "engine/ProxyUse.h"
#include "base/TextOps.h"
#include "engine/PageBuffer.h"
#include "engine/RunningLines.h"
#include "net/HttpAddress.h"
#include "net/ConnectionPool.h"
#include "net/HttpProt.h"

namespace lumi {

namespace {

// Tags of link checks: uniform over 0 .. 2147483646.
constexpr int32_t CheckTagRange = 2147483647;

// One sweep tick over a running table: times out stale lines while searching and releases
// the client of every finished line that has one. findClient(item) gives the pool index of
// the line's client or -1; release(index) aborts and destroys it.
template <class FindClient, class Release>
void sweepRunning(bool searching, StringList& running, FindClient findClient, Release release) {
    const uint32_t now = tickCount();
    for (size_t i = 0; i < running.size();) {
        const std::string& line = running[i];
        if (searching && !isDoneLine(line)) {
            if (runningTimedOut(line, now)) running.set(i, doneLine(line));
            ++i;
            continue;
        }
        const long client = findClient(std::string(runningItem(line)));
        if (client < 0) {
            ++i;
            continue;
        }
        release(static_cast<size_t>(client));
        running.removeAt(i);
    }
}

// The address a page finally came from: the requested one with each relocation of its
// header applied in turn, as the client followed them.
std::string finalPageAddress(const THttpCli& client) {
    const UrlParts requested = splitUrl(withoutFragment(client.URL));
    HttpAddress address{requested.host, requested.port, requested.path,
                        isHttpsScheme(requested.proto)};
    bool moved = false;
    for (const std::string& line : client.RcvdHeader()) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos || !textSameAnyCase(line.substr(0, colon), "location"))
            continue;
        const std::string value = textTrim(std::string_view(line).substr(colon + 1));
        if (withoutFragment(value).empty()) continue;
        const ResolvedLocation next = resolveLocation(address, value);
        if (!next.unsupportedScheme.empty()) break;
        address = next.address;
        moved = true;
    }
    if (!moved) return client.URL;
    return (address.tls ? "https://" : "http://") + hostWithPort(address) +
           (address.path.empty() ? "/" : address.path);
}

// The client speaks http and https: an address of any other scheme (ftp, ...) fails at once,
// as a start that raised, rather than being asked for over http.
void requireHttp(const std::string& url) {
    const std::string scheme = textLower(splitUrl(url).proto);
    if (!scheme.empty() && scheme != "http" && scheme != "https")
        throw std::invalid_argument("unsupported protocol: " + scheme);
}

int32_t parseTag(const std::string& item) {
    int32_t tag = 0;
    if (!parseInteger(item, tag))
        throw std::invalid_argument("'" + item + "' is not a valid integer value");
    return tag;
}

} // namespace

void SearchEngine::QueueForGetPage(const std::string& url, int engine) {
    catchAll("TForm1.QueueForGetPage", [&] {
        // A TAB would split the queue and running lines in the wrong place.
        if (url.find('\t') != std::string::npos || url.size() > MaxUrlLength) return;
        if (GetPageQueue.size() >= MaxWaitingPages) { // not marked seen: it may come again
            if (GetPageSeen.contains(url)) raiseCounter(display_.doubleGetPageText);
            return;
        }
        if (!GetPageSeen.addUnique(url)) {
            raiseCounter(display_.doubleGetPageText);
            return;
        }
        GetPageQueue.add(url + '\t' + std::to_string(engine));
        notePageOrigin(url);
    });
}

void SearchEngine::QueueForCheckLink(const std::string& url) {
    if (url.size() > MaxUrlLength) return;
    rememberClassicFind(url);
    const bool duplicate = CheckLinkQueue.size() < MaxWaitingChecks ? !CheckLinkQueue.addUnique(url)
                                                                    : CheckLinkQueue.contains(url);
    if (duplicate) raiseCounter(display_.doubleCheckText);
}

// Each dispatcher tick fills its pool: an item starts while the pool holds at most its limit.
// Between ticks, finished work frees its place and the place is filled at once (refillPools),
// so the pace is the network's; the ticks remain for time-outs and the display.
void SearchEngine::Timer1Timer() {
    while (!CheckLinkQueue.empty() &&
           static_cast<int64_t>(CheckLinkClients.size()) <= CheckLinkClientLimit) {
        const std::string url = CheckLinkQueue.front();
        CheckLinkQueue.removeFirst();
        CheckLink(url);
    }
}

void SearchEngine::Timer2Timer() {
    while (!GetPageQueue.empty() &&
           static_cast<int64_t>(GetPageClients.size()) <= GetPageClientLimit) {
        const std::string line = GetPageQueue.front();
        GetPageQueue.removeFirst();
        const size_t tab = line.find('\t');
        int32_t engine = 0;
        if (tab == std::string::npos ||
            !parseInteger(std::string_view(line).substr(tab + 1), engine))
            throw std::invalid_argument("'" + line + "' is not a page queue line");
        GetPage(line.substr(0, tab), engine);
    }
}

// A client whose start raised is destroyed at once with its buffer (it would otherwise sit
// idle until the program ends); the work item is lost as it is in every failed start.
void SearchEngine::CheckLink(const std::string& url) {
    catchAll("error code : #0002 (CheckLink)", [&] {
        const ProxySetting proxy = proxyFromSettings(SettingsFile);
        if (!Searching) return;
        requireHttp(url);
        auto client = std::make_unique<THttpCli>();
        useProxy(*client, proxy);
        client->Tag = randomBelow(CheckTagRange);
        client->URL = url;
        // Archives (Wikimedia above all) refuse anonymous agents for their pictures too.
        if (foundInArchive(url)) client->Agent = archiveUserAgent();
        client->OnHeaderEnd = [this, startedAfter = aborts_](THttpCli* sender) {
            if (startedAfter == aborts_) CheckLinkHeaderEnd(sender);
        };
        // However the request ends (refused, unresolved, a relocation that cannot be
        // followed, an error answer cut short), its place in the pool is free at once.
        client->OnRequestDone = [this, startedAfter = aborts_](THttpCli* sender, THttpRequest,
                                                               int) {
            if (startedAfter == aborts_)
                catchAll("error code : #0003 (CheckLinkHeaderEnd)",
                         [&] { markRunningDone(CheckLinkRunning, std::to_string(sender->Tag)); });
        };
        // A check ends at the header: it may take a kept connection but leaves none.
        if (connections_) connections_->prepare(*client);
        client->StartGet();
        const int tag = client->Tag;
        CheckLinkClients.push_back(std::move(client));
        CheckLinkRunning.add(runningLine(tickCount(), std::to_string(tag)));
    });
}

void SearchEngine::GetPage(const std::string& url, int engine) {
    catchAll("error code : #0038 (GetPage)", [&] {
        const ProxySetting proxy = proxyFromSettings(SettingsFile);
        if (!Searching) return;
        requireHttp(url);
        PageClient page;
        page.buffer = std::make_unique<CappedBuffer>(MaxPageBytes);
        page.client = std::make_unique<THttpCli>();
        useProxy(*page.client, proxy);
        page.client->URL = url;
        page.client->RcvdStream = page.buffer.get();
        page.client->OnRequestDone =
            [this, startedAfter = aborts_](THttpCli* sender, THttpRequest rqType, int error) {
                if (connections_) connections_->recycle(*sender);
                if (startedAfter == aborts_) GetPageRequestDone(sender, rqType, error);
            };
        page.client->Tag = engine;
        prepareServiceFetch(page, engine);
        if (connections_) connections_->prepare(*page.client);
        page.client->StartGet();
        GetPageClients.push_back(std::move(page));
        GetPageRunning.add(runningLine(tickCount(), url));
    });
}

// Only a line still running is marked: when an abandoned search's finished line for the
// same page waits for its release, the new line must not be left to time out.
void SearchEngine::markRunningDone(StringList& running, const std::string& item) {
    for (size_t i = 0; i < running.size(); ++i) {
        if (!isDoneLine(running[i]) && runningItem(running[i]) == item) {
            running.set(i, doneLine(running[i]));
            poolRefillTimer_->start(); // after the client's own handler has returned
            return;
        }
    }
}

// The sweeps release what has finished and the dispatchers start what waits, each only while
// its timer runs (stopped timers are driven by hand).
void SearchEngine::refillPools() {
    for (auto [timer, step] : {std::pair{Timer4, &SearchEngine::Timer4Timer},
                               std::pair{Timer3, &SearchEngine::Timer3Timer},
                               std::pair{Timer1, &SearchEngine::Timer1Timer},
                               std::pair{Timer2, &SearchEngine::Timer2Timer}})
        if (timer->isActive()) (this->*step)();
}

// Neither the error nor the status code matters to the classic path: whatever body arrived
// is routed, its links resolved against the address the page finally came from. A large page
// is analysed in slices behind the pages that finished before it; a fetch that brought no
// lines has nothing to hand on and is finished at once. An archive's answer is taken whole
// by the archive search, which does weigh the status.
void SearchEngine::GetPageRequestDone(THttpCli* sender, int, int error) {
    catchAll("error code : #0039 (GetPageRequestDone)", [&] {
        // A page over https whose stream ended without close_notify may be cut short.
        if (!sender->Notice().empty()) appendDiagnosticsLine(sender->Notice());
        // Every service's own result pages (the classic four and the archives) count.
        if (error == 0 && serviceOfEngine(sender->Tag) != ServiceId::None) ++resultPagesAnswered_;
        if (serviceAnswerDone(sender, error)) return;
        PageLines lines;
        if (const auto* buffer = qobject_cast<const CappedBuffer*>(sender->RcvdStream))
            LoadMemoFromMemoryStream(lines, buffer->bytes());
        if (lines.empty()) {
            markRunningDone(GetPageRunning, sender->URL);
            return;
        }
        pageAnalyses_.push_back(
            {std::make_unique<PageAnalysis>(*this, sender->Tag, std::move(lines),
                                            finalPageAddress(*sender)),
             sender->URL});
        if (pageAnalyses_.size() == 1) continuePageAnalysis();
    });
}

void SearchEngine::continuePageAnalysis() {
    if (pageAnalyses_.empty()) return;
    bool complete = true;
    catchAll("error code : #0039 (GetPageRequestDone)",
             [&] { complete = pageAnalyses_.front().analysis->run(AnalysisSlice); });
    if (!complete) {
        analysisTimer_->start();
        return;
    }
    const std::string requested = std::move(pageAnalyses_.front().requestedUrl);
    pageAnalyses_.pop_front();
    catchAll("error code : #0039 (GetPageRequestDone)",
             [&] { markRunningDone(GetPageRunning, requested); });
    if (!pageAnalyses_.empty()) analysisTimer_->start();
}

// The status code does not matter: any final response whose content type names an image
// counts. A relocation's own header comes while the client still waits for the next one; it
// is no verdict. Only the header is wanted, so the transfer stops here.
void SearchEngine::CheckLinkHeaderEnd(THttpCli* sender) {
    if (sender->State() != httpWaitingBody || awaitJpegSignature(*sender)) return;
    catchAll("error code : #0003 (CheckLinkHeaderEnd)", [&] {
        if (checkedImageFits(*sender))
            addRow(sender->URL, sender->ContentLength(), sender->ContentLength() >= 0,
                   sender->Location());
        markRunningDone(CheckLinkRunning, std::to_string(sender->Tag));
    });
    sender->Abort();
}

void SearchEngine::Timer3Timer() {
    catchAll("error code : #1001 (Timer3 (getpage)", [&] {
        sweepRunning(
            Searching, GetPageRunning,
            [this](const std::string& url) -> long {
                for (size_t c = 0; c < GetPageClients.size(); ++c)
                    if (GetPageClients[c].client->URL == url) return static_cast<long>(c);
                return -1;
            },
            [this](size_t c) {
                GetPageClients[c].client->Abort();
                GetPageClients[c].client.reset();
                GetPageClients.erase(GetPageClients.begin() + static_cast<std::ptrdiff_t>(c));
            });
        endSearchWhenIdle();
    });
}

void SearchEngine::Timer4Timer() {
    catchAll("error code : #1002 (Timer4 (checklink)", [&] {
        sweepRunning(
            Searching, CheckLinkRunning,
            [this](const std::string& item) -> long {
                const int32_t tag = parseTag(item);
                for (size_t c = 0; c < CheckLinkClients.size(); ++c)
                    if (CheckLinkClients[c]->Tag == tag) return static_cast<long>(c);
                return -1;
            },
            [this](size_t c) {
                CheckLinkClients[c]->Abort();
                CheckLinkClients.erase(CheckLinkClients.begin() + static_cast<std::ptrdiff_t>(c));
            });
    });
}

} // namespace lumi
