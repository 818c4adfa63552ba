#include "engine/SearchEngine.h"

#include <QString>

#include "analysis/UrlUtils.h"
#include "analysis/PageAnalysis.h"
#include "base/Clock.h"
#include "base/ErrorReport.h"
#include "base/Latin1.h"
#include "base/SettingKeys.h"
#include "base/TextOps.h"
#include "engine/PageBuffer.h"
#include "engine/RunningLines.h"
#include "engine/SearchPhrase.h"
#include "net/HttpProt.h"
#include "net/TlsSession.h"

namespace lumi {

namespace {

QTimer* makeTimer(QObject* owner, int intervalMs, bool active, std::function<void()> handler) {
    auto* timer = new QTimer(owner);
    timer->setInterval(intervalMs);
    QObject::connect(timer, &QTimer::timeout, owner, std::move(handler));
    if (active) timer->start();
    return timer;
}

} // namespace

SearchEngine::SearchEngine(SearchEngineSetup setup, QObject* parent)
    : QObject(parent), SettingsFile(std::move(setup.settingsPath)), hosts_(std::move(setup.hosts)),
      connections_(std::move(setup.connections)) {
    if (setup.seedRandomFromClock) seedRandomFromClock();
    // Handlers without a catch-all of their own run under the default handler, so that no
    // exception travels through Qt's event dispatch.
    Timer1 =
        makeTimer(this, 200, true, [this] { runUnderDefaultHandler([this] { Timer1Timer(); }); });
    Timer2 =
        makeTimer(this, 500, true, [this] { runUnderDefaultHandler([this] { Timer2Timer(); }); });
    Timer3 = makeTimer(this, 100, true, [this] { Timer3Timer(); });
    Timer4 = makeTimer(this, 100, true, [this] { Timer4Timer(); });
    Timer5 =
        makeTimer(this, 1000, true, [this] { runUnderDefaultHandler([this] { Timer5Timer(); }); });
    analysisTimer_ = makeTimer(this, 0, false, [this] { continuePageAnalysis(); });
    analysisTimer_->setSingleShot(true);
    poolRefillTimer_ =
        makeTimer(this, 0, false, [this] { runUnderDefaultHandler([this] { refillPools(); }); });
    poolRefillTimer_->setSingleShot(true);
    archiveHandOffTimer_ = makeTimer(this, 0, false, [this] {
        catchAll("error code : #0039 (GetPageRequestDone)", [this] { handOnArchivePictures(); });
    });
    archiveHandOffTimer_->setSingleShot(true);
    // The "Found:" counter is raised row by row but shown with each batch of rows.
    connect(&results_, &QAbstractItemModel::rowsInserted, this, &SearchEngine::displayChanged);
    TimerBlinkSearch = makeTimer(
        this, 1000, false, [this] { runUnderDefaultHandler([this] { TimerBlinkSearchTimer(); }); });
}

// Clients go before their receive buffers and before the timers: none of them fires again.
SearchEngine::~SearchEngine() {
    pageAnalyses_.clear();
    for (PageClient& page : GetPageClients)
        page.client.reset();
    GetPageClients.clear();
    CheckLinkClients.clear();
}

bool SearchEngine::checkLinksChecked() const {
    return checkLinksReader_ ? checkLinksReader_() : true;
}

void SearchEngine::appendDiagnosticsLine(const std::string& line) {
    if (memo_.size() >= MaxDiagnosticsLines) memo_.pop_front();
    memo_.push_back(line);
    // Lines carry the services' own words in UTF-8; 8-bit text that is no UTF-8 (a classic
    // page's address) is shown as Latin-1.
    Q_EMIT diagnosticsLineAdded(shownText(line));
}

void SearchEngine::setStatus(const char* text) {
    display_.statusText = text;
    Q_EMIT displayChanged();
}

void SearchEngine::raiseCounter(std::string& counterText) {
    counterText = incrementCounterText(counterText);
    Q_EMIT displayChanged();
}

void SearchEngine::SearchButtonClick(const std::string& typed) {
    catchAll("error code : #0047 (SearchButtonClick)", [&] {
        GetPageSeen.clear();
        const bool slow = readSetting(SettingsFile, setting::SlowConnection);
        GetPageClientLimit = getPageLimit(slow);
        CheckLinkClientLimit = checkLinkLimit(slow);
        const std::string phrase = phraseFromUnicode(QString::fromStdString(typed));
        // Blanks alone would ask every service for nothing, and a phrase longer than the
        // phrase box takes would not fit the services' addresses: neither starts a search.
        if (!phraseCanSearch(phrase)) return;

        // The folder keeps what the user typed, in UTF-8 as the file system names it.
        SearchDirName = MakeValidDir(textTrim(typed));
        Searching = true;
        idleSince_.reset();
        clearResults();
        display_.statusText = "Searching...";
        TimerBlinkSearch->start();
        Q_EMIT displayChanged();
        SearchRecursive = recursiveReader_ ? recursiveReader_() : true;
        serviceChoice_ = readServiceChoice(*SettingsFile.Entries());
        if (filterOverride_) {
            serviceChoice_.licence = filterOverride_->licence;
            serviceChoice_.minWidth = filterOverride_->minWidth;
            serviceChoice_.minHeight = filterOverride_->minHeight;
        }
        clearSources();
        // Every https request of the search would fail for it: said once, where it lies.
        if (const std::string problem = tlsCaFileProblem(); !problem.empty())
            appendDiagnosticsLine(problem);
        for (const SearchAddress& address : searchAddresses(hosts_, phrase))
            if (serviceChoice_.enabledFor(serviceOfEngine(address.engine)))
                QueueForGetPage(address.url, address.engine);
        startArchiveSearches(archivePhraseFromUnicode(QString::fromStdString(typed)));
        display_.abortButtonVisible = true;
        Q_EMIT displayChanged();
    });
}

void SearchEngine::clearResults() {
    results_.clearRows();
    FoundList.clear();
    // A new string rather than a literal assigned in place: GCC 12 at -O3 reports a false
    // overflow (-Wstringop-overflow) in the latter.
    display_.foundText = std::string("0");
    Q_EMIT displayChanged();
}

void SearchEngine::AbortButtonClick() {
    catchAll("error code : #0048 (AbortButtonClick)", [&] {
        setStatus("Aborting...");
        Searching = false;
        ++aborts_;
        // Pages still being analysed would queue work for a search that has ended.
        pageAnalyses_.clear();
        archiveHandOffs_.clear();
        CheckLinkQueue.clear();
        GetPageQueue.clear();
        display_.abortButtonVisible = false;
        Q_EMIT displayChanged();

        // The sweeps must not see half-marked tables. Only sweeps that were running are
        // restarted (tests drive them by hand).
        const bool pageSweepActive = Timer3->isActive();
        const bool checkSweepActive = Timer4->isActive();
        Timer3->stop();
        Timer4->stop();
        for (StringList* running : {&GetPageRunning, &CheckLinkRunning})
            for (size_t i = 0; i < running->size(); ++i)
                if (!isDoneLine((*running)[i])) running->set(i, doneLine((*running)[i]));
        if (pageSweepActive) Timer3->start();
        if (checkSweepActive) Timer4->start();

        display_.statusText = "Ready";
        TimerBlinkSearch->stop();
        display_.statusVisible = true;
        Q_EMIT displayChanged();
    });
}

void SearchEngine::Edit1KeyPress(char& key, const std::string& typed) {
    catchAll("error code : #0049 (Edit1KeyPress)", [&] {
        if (key != 13) return;
        key = 0;
        if (display_.abortButtonVisible) AbortButtonClick();
        SearchButtonClick(typed);
    });
}

void SearchEngine::TimerBlinkSearchTimer() {
    display_.statusVisible = !display_.statusVisible;
    Q_EMIT displayChanged();
}

// A search ends by itself once nothing has been queued, running or under analysis for
// SearchIdleEndMs: every page it led to has been read and every picture checked.
void SearchEngine::endSearchWhenIdle() {
    if (!Searching) return;
    const bool idle = GetPageQueue.empty() && CheckLinkQueue.empty() && GetPageRunning.empty() &&
                      CheckLinkRunning.empty() && GetPageClients.empty() &&
                      CheckLinkClients.empty() && pageAnalyses_.empty();
    if (!idle) {
        idleSince_.reset();
        return;
    }
    const uint32_t now = tickCount();
    if (!idleSince_) idleSince_ = now;
    if (now - *idleSince_ < SearchIdleEndMs) return;
    Searching = false;
    TimerBlinkSearch->stop();
    // Services that never answered are named, with why, rather than a plain "Done".
    const std::string unreached = health_.unreached();
    if (unreached.empty())
        display_.statusText = "Done";
    else if (resultPagesAnswered_ == 0)
        display_.statusText = "No search service could be reached: " + unreached;
    else
        display_.statusText = "Done; not reached: " + unreached;
    // Engines that failed and pictures the filter left out are said too.
    for (const std::string& more : {health_.failedEngines(), leftOutText()})
        if (!more.empty()) display_.statusText += "; " + more;
    display_.statusVisible = true;
    display_.abortButtonVisible = false;
    display_.processesText = "0";
    Q_EMIT displayChanged();
}

// While the search waits on nothing but pages that are slow to come, the status names the
// host of the one waited on longest and for how long, instead of blinking "Searching...".
void SearchEngine::showSlowPageWait() {
    if (!Searching) return;
    const bool onlyPages = GetPageQueue.empty() && CheckLinkQueue.empty() &&
                           CheckLinkRunning.empty() && pageAnalyses_.empty();
    const uint32_t now = tickCount();
    uint32_t longest = 0;
    std::string waitedFor;
    for (size_t i = 0; onlyPages && i < GetPageRunning.size(); ++i) {
        const std::string& line = GetPageRunning[i];
        if (isDoneLine(line) || now - runningStartTick(line) < longest) continue;
        longest = now - runningStartTick(line);
        waitedFor = std::string(runningItem(line));
    }
    if (longest >= SlowPageNoticeMs)
        display_.statusText =
            "Waiting for " + SiteOfURL(waitedFor) + " (" + std::to_string(longest / 1000) + " s)";
    else if (display_.statusText.rfind("Waiting for ", 0) == 0)
        display_.statusText = "Searching...";
}

void SearchEngine::Timer5Timer() {
    showSlowPageWait();
    const size_t pages = GetPageClients.size();
    const size_t checks = CheckLinkClients.size();
    display_.processesText = std::to_string(pages + checks);
    display_.getPageClientsText = std::to_string(pages);
    display_.checkLinkClientsText = std::to_string(checks);
    display_.getPageQueueText = std::to_string(GetPageQueue.size());
    display_.checkLinkQueueText = std::to_string(CheckLinkQueue.size());
    Q_EMIT displayChanged();
}

} // namespace lumi
