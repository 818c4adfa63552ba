#pragma once
// The search engine of the main window, without widgets: the search session, the page-fetch
// and link-check queues with their client pools and timers, the results list and the
// counters the windows show. It owns its HTTP clients, their receive buffers and its timers;
// views read its state and follow displayChanged() and the results model.
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <QObject>
#include <QTimer>

#include "analysis/ArchiveAnswers.h"
#include "analysis/SearchHost.h"
#include "analysis/SearchServices.h"
#include "base/IniFiles.h"
#include "base/StringList.h"
#include "engine/ResultsModel.h"
#include "engine/SearchAddresses.h"
#include "engine/ServiceChoice.h"
#include "engine/ServiceHealth.h"

class THttpCli;
namespace lumi {
class ConnectionPool;
}

namespace lumi {

class CappedBuffer;
class PageAnalysis;

// What the windows show of the engine; every text is kept exactly as its label shows it.
struct SearchDisplay {
    std::string statusText = "Ready"; // Label7
    bool statusVisible = true;        // the blink hides and shows it
    bool abortButtonVisible = false;  // SearchButton shows exactly when this is false
    std::string foundText = "0";      // Label1, the "Found:" counter
    std::string processesText = "0";  // Label2, the "Processes:" counter
    // Diagnostics window: pool and queue sizes show their labels' names until the first
    // counter tick; the duplicate counters add up over all searches.
    std::string getPageClientsText = "Label9";
    std::string checkLinkClientsText = "Label10";
    std::string getPageQueueText = "Label13";
    std::string checkLinkQueueText = "Label14";
    std::string doubleCheckText = "0";   // Form2.Label2 "Double Check:"
    std::string doubleGetPageText = "0"; // Form2.Label1 "Double GetPage:"
};

struct SearchEngineSetup {
    std::string settingsPath; // the TIniFile the engine reads its options from
    SearchHosts hosts = searchHostsFromEnvironment();
    bool seedRandomFromClock = true; // false: the caller seeded lumi::randomGenerator()
    // Connections kept open between requests, shared with the program's other transfers;
    // none: every request opens its own.
    std::shared_ptr<ConnectionPool> connections;
};

class SearchEngine : public QObject, public SearchHost {
    Q_OBJECT
public:
    // Page-fetch and link-check limits by connection kind; a pool grows to limit + 1.
    static constexpr int32_t ModemGetPageLimit = 4, ModemCheckLinkLimit = 9;
    static constexpr int32_t LanGetPageLimit = 19, LanCheckLinkLimit = 24;
    static constexpr int32_t getPageLimit(bool slowConnection) {
        return slowConnection ? ModemGetPageLimit : LanGetPageLimit;
    }
    static constexpr int32_t checkLinkLimit(bool slowConnection) {
        return slowConnection ? ModemCheckLinkLimit : LanCheckLinkLimit;
    }
    // Most memo lines kept; older lines are dropped first.
    static constexpr size_t MaxDiagnosticsLines = 10000;
    // Bounds on what pages can make the engine keep: a longer address is neither queued nor
    // listed (links resolved against a long page address would otherwise multiply one page's
    // size many times over), and a full queue or list refuses further entries until it has
    // room again. Refused addresses leave no trace, as other refusals do.
    static constexpr size_t MaxUrlLength = 2048;
    static constexpr size_t MaxWaitingPages = 100000;
    static constexpr size_t MaxWaitingChecks = 100000;
    static constexpr size_t MaxFoundRows = 100000;
    // A search with nothing queued, running or being analysed for this long is done.
    static constexpr uint32_t SearchIdleEndMs = 2000;
    // A search waiting this long on nothing but pages says in its status what it waits for.
    static constexpr uint32_t SlowPageNoticeMs = 5000;
    // Most bytes of an archive's answer that are read; a longer answer is not read at all.
    static constexpr int64_t MaxArchiveAnswerBytes = 4 * 1024 * 1024;
    // A compressed answer that unpacks to more than this is refused as a decompression bomb;
    // one between the two bounds is read to its end and dropped as too large.
    static constexpr int64_t MaxArchiveDecodedBytes = 4 * MaxArchiveAnswerBytes;
    // A 429 is waited out (once per page) only when it asks for fewer seconds than this.
    static constexpr int MaxRetryAfterSeconds = 10;
    // Longest stretch of page analysis between two turns of the event loop.
    static constexpr std::chrono::milliseconds AnalysisSlice{8};

    explicit SearchEngine(SearchEngineSetup setup, QObject* parent = nullptr);
    ~SearchEngine() override;

    // The "Check Links" box, read live, and the "Recursive Search" box, read at search
    // start. Unset readers count as checked (the boxes' state with no settings).
    void setCheckLinksReader(std::function<bool()> reader) {
        checkLinksReader_ = std::move(reader);
    }
    void setRecursiveSearchReader(std::function<bool()> reader) {
        recursiveReader_ = std::move(reader);
    }

    const TIniFile& settings() const { return SettingsFile; }
    const SearchDisplay& display() const { return display_; }
    const std::deque<std::string>& diagnosticsMemo() const { return memo_; }
    ResultsModel& results() { return results_; }
    const ResultsModel& results() const { return results_; }

    // --- session (the phrase is Edit1's text as typed, in UTF-8) ---
    // The classic services are asked for its 8-bit form (phraseFromUnicode), the archives for
    // its UTF-8 (archivePhraseFromUnicode); SearchDirName is set
    // from it, trimmed, only when a search starts.
    void SearchButtonClick(const std::string& typed);
    void AbortButtonClick();
    // Enter (13) is replaced by 0, aborts a running search and starts one with phrase.
    void Edit1KeyPress(char& key, const std::string& typed);
    void TimerBlinkSearchTimer();

    // --- queues, pools and their timers ---
    void QueueForGetPage(const std::string& url, int engine) override;
    void QueueForCheckLink(const std::string& url) override;
    void Timer1Timer(); // link-check dispatcher
    void Timer2Timer(); // page-fetch dispatcher
    void Timer3Timer(); // page-fetch sweep; also ends a search that has gone idle
    void Timer4Timer(); // link-check sweep
    void Timer5Timer(); // counters

    // --- results ---
    void AddToListView(const std::string& url, int64_t size) override;
    bool CheckSizeLimits(int64_t size) const;
    // What Visit opens for row i: an archive picture's landing page, else the picture's
    // web folder.
    std::string visitAddress(size_t row) const;
    // Where the listed picture at address came from; nullptr when it is not listed.
    const PictureSource* sourceOfAddress(const std::string& address) const;
    // The User-Agent to fetch the listed picture at address with: the archives' own for their
    // pictures (they refuse anonymous agents), empty for the client's usual one.
    std::string pictureAgent(const std::string& address) const;

    // Reads a 200 answer of an archive: its JPEG pictures go on as found images with their
    // sources, and its next page is queued while the page budget lasts. False when the
    // body is not the service's JSON.
    bool takeArchiveAnswer(ServiceId service, std::string_view body);
    // Archive pictures still waiting to be handed on.
    size_t archivePicturesWaiting() const { return archiveHandOffs_.size(); }
    // How each service fared in the current search (ArchiveSearch.cpp).
    const ServiceHealth& serviceHealth() const { return health_; }

    // The command line's --licence, --min-width and --min-height, which stand in for the
    // settings' filter from the next search on.
    struct PictureFilter {
        LicenceFilter licence = LicenceFilter::Any;
        int32_t minWidth = 0;
        int32_t minHeight = 0;
    };
    void setPictureFilterOverride(std::optional<PictureFilter> filter) {
        filterOverride_ = filter;
    }
    // Pictures the filter left out of the current search, by why.
    struct LeftOut {
        uint64_t licence = 0; // no licence, or one the filter does not pass
        uint64_t size = 0;    // smaller than the minimum, or of unknown size
    };
    const LeftOut& leftOut() const { return leftOut_; }
    // "5 left out: 3 without a licence that may be used commercially, 2 under 1600 x 0
    // pixels or of unknown size"; "" when none was.
    std::string leftOutText() const;

    // --- the rest of the analysis' view of the engine ---
    bool foundListContains(const std::string& url) const override {
        return FoundList.contains(url);
    }
    bool checkLinksChecked() const override;
    bool searchRecursive() const override { return SearchRecursive; }
    void appendDiagnosticsLine(const std::string& line) override;
    // Result pages of the services (engine numbers 1 to 4) that got an answer, over all
    // searches.
    size_t resultPagesAnswered() const { return resultPagesAnswered_; }

    // The search state, as the program names it. Read freely; changed only by the engine.
    TIniFile SettingsFile;
    bool Searching = false;
    bool SearchRecursive = false;
    std::string SearchDirName;
    int32_t GetPageClientLimit = 0;
    int32_t CheckLinkClientLimit = 0;

    StringList CheckLinkQueue;   // URL
    StringList GetPageQueue;     // URL TAB engine
    StringList FoundList;        // URL of row i
    StringList ViewList;         // kept for the viewer
    StringList GetPageSeen;      // URL
    StringList GetPageRunning;   // tick TAB URL, or X TAB URL
    StringList CheckLinkRunning; // tick TAB tag, or X TAB tag

    struct PageClient {
        std::unique_ptr<CappedBuffer> buffer; // the client's RcvdStream; outlives the client
        std::unique_ptr<THttpCli> client;
    };
    std::vector<PageClient> GetPageClients;
    std::vector<std::unique_ptr<THttpCli>> CheckLinkClients;

    QTimer* Timer1;
    QTimer* Timer2;
    QTimer* Timer3;
    QTimer* Timer4;
    QTimer* Timer5;
    QTimer* TimerBlinkSearch;

Q_SIGNALS:
    // Any text or visibility of display() changed.
    void displayChanged();
    void diagnosticsLineAdded(const QString& line);

private:
    void GetPage(const std::string& url, int engine);
    void CheckLink(const std::string& url);
    void GetPageRequestDone(THttpCli* sender, int rqType, int error);
    void CheckLinkHeaderEnd(THttpCli* sender);
    // `finalUrl`: where the check's relocations ended, when they did elsewhere.
    void addRow(const std::string& url, int64_t size, bool sizeKnown,
                const std::string& finalUrl = {});
    // Whether the picture passes the search's licence and size filter; counts it when not.
    bool passesPictureFilter(const PictureSource& source, const std::string& key);
    // Counts a listed picture for each service that found it.
    void countListed(const std::vector<ServiceId>& finders);
    // Goes on with the oldest finished page's analysis for one slice.
    void continuePageAnalysis();

    // --- the archives and where pictures came from (ArchiveSearch.cpp) ---
    void startArchiveSearches(const std::string& phrase);
    // Counts a fetch of a service's result page; an archive's gets its answer cap and agent.
    void prepareServiceFetch(PageClient& page, int engine);
    void handOnArchivePictures();
    // takeArchiveAnswer on an answer already read; its pictures are moved out.
    bool takeArchivePage(ServiceId service, ArchiveAnswer& answer);
    // Whether the checked answer's Content-Type lets its picture be listed: any image, but
    // "image/jpeg" for an archive picture whose type its archive did not tell.
    bool checkedImageFits(const THttpCli& client) const;
    // Such a picture whose answer names no type at all shows its first bytes instead: true
    // when the check goes on to them (it then ends on the JPEG signature or its absence).
    bool awaitJpegSignature(THttpCli& client);
    // Counts a service's finished result page. An archive's answer is taken whole here
    // (true: nothing is left to route); a classic page goes on to its parser (false).
    bool serviceAnswerDone(THttpCli* sender, int error);
    // Pages queued while a page is analysed inherit the service it was found through.
    void notePageOrigin(const std::string& url);
    ServiceId currentPageOrigin() const;
    void rememberSource(const std::string& url, PictureSource source);
    // An image found by the page now in analysis: that page and its service are its source.
    void rememberClassicFind(const std::string& url);
    bool foundInArchive(const std::string& url) const;
    PictureSource takeSource(const std::string& url);
    void clearSources();

    void clearResults();
    void setStatus(const char* text);
    void raiseCounter(std::string& counterText);
    void markRunningDone(StringList& running, const std::string& item);
    void refillPools();
    void endSearchWhenIdle();
    void showSlowPageWait();

    // Aborts so far. Every client remembers the count it was started under; its completion
    // after a later abort belongs to an abandoned search (whose lines the abort marked done)
    // and is dropped, so work still in flight can neither list rows nor queue pages in the
    // next search.
    uint64_t aborts_ = 0;
    // Tick at which the running search was first seen with nothing left to do.
    std::optional<uint32_t> idleSince_;
    size_t resultPagesAnswered_ = 0;

    SearchHosts hosts_;
    std::shared_ptr<ConnectionPool> connections_;
    SearchDisplay display_;
    std::deque<std::string> memo_;
    ResultsModel results_;
    std::function<bool()> checkLinksReader_;
    std::function<bool()> recursiveReader_;
    // Finished pages whose analysis is under way, oldest first; their hand-offs keep the
    // order of the pages' completions.
    struct PendingAnalysis {
        std::unique_ptr<PageAnalysis> analysis; // resolves against the final address
        std::string requestedUrl;               // the item of the page's running line
    };
    std::deque<PendingAnalysis> pageAnalyses_;
    QTimer* analysisTimer_; // single shot, 0 ms: the next slice
    QTimer* poolRefillTimer_; // single shot, 0 ms: finished work gives its place at once

    struct ArchiveRun {
        std::string base;     // "" when the service is not asked
        int64_t position = 0; // of the page asked last
        int32_t pagesRead = 0;
        bool retried = false; // the page asked last was asked again after a 429
        int32_t continuations = 0; // requests of the unfinished batch, bounded
    };
    // Most requests one unfinished Commons batch is continued with.
    static constexpr int32_t MaxBatchContinuations = 50;
    ServiceChoice serviceChoice_; // as read at the search start
    std::optional<PictureFilter> filterOverride_;
    LeftOut leftOut_;
    // Pictures the filter left out, by key and why (true: licence): a later finder may bring
    // a licence that passes, and then the picture is no longer counted as left out.
    std::unordered_map<std::string, bool> leftOutKeys_;
    // Listed pictures by key (row), and pictures on their way to the list by key (address):
    // a later finder of the same picture adds to its source instead of making a second row.
    std::unordered_map<std::string, size_t> listedKeys_;
    std::unordered_map<std::string, std::string> pendingKeys_;
    std::string archivePhrase_;
    std::array<ArchiveRun, ServiceCount> archiveRuns_;
    ServiceHealth health_;
    std::deque<ArchivePicture> archiveHandOffs_;
    QTimer* archiveHandOffTimer_; // single shot, 0 ms: the next slice of hand-offs
    // Sources of pictures on their way to the list, and the services pages were found
    // through, by address; both bounded as the queues are and emptied at each search start.
    std::unordered_map<std::string, PictureSource> pendingSources_;
    std::unordered_map<std::string, ServiceId> pageOrigins_;
    // Archive pictures whose type only their link check can tell; bounded as the queues are.
    std::unordered_set<std::string> jpegProofWanted_;
};

} // namespace lumi
