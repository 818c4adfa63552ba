// The picture archives in a search, and where every listed picture came from. The archives
// are asked one result page at a time: each answer is read as JSON, its JPEG pictures take
// the classic path (link check or straight into the list) with their source remembered,
// and the next page is asked while the service's page budget lasts. Classic result pages
// are only counted here; their parsers read them as before.
#include "engine/SearchEngine.h"

#include <cstdlib>

#include "analysis/ArchiveAnswers.h"
#include "analysis/PageAnalysis.h"
#include "analysis/UrlUtils.h"
#include "base/ErrorReport.h"
#include "base/TextOps.h"
#include "engine/ArchiveHeaders.h"
#include "engine/PictureMerge.h"
#include "engine/PageBuffer.h"
#include "net/HttpFailure.h"
#include "net/HttpHeaderField.h"
#include "net/HttpProt.h"

namespace lumi {

namespace {

// The seconds a "Retry-After: N" header of the final answer asks for; -1 when absent or not a
// plain number.
int retryAfterSeconds(const std::vector<std::string>& header) {
    int32_t seconds = -1;
    return parseInteger(lastAnswerField(header, "retry-after"), seconds) && seconds >= 0 ? seconds
                                                                                          : -1;
}

// "in 45 seconds", "in 60 minutes", "in 3 hours": when a long wait ends, rounded up.
std::string whenToTryAgain(int seconds) {
    if (seconds < 120) return "in " + std::to_string(seconds) + " seconds";
    if (seconds < 7200) return "in " + std::to_string((seconds + 59) / 60) + " minutes";
    return "in " + std::to_string((seconds + 3599) / 3600) + " hours";
}

// The service's own words, quoted after what the program makes of the answer.
std::string withServiceWords(std::string why, const ArchiveAnswer& answer) {
    return answer.message.empty() ? why : why + "; the service says \"" + answer.message + "\"";
}

} // namespace

void SearchEngine::startArchiveSearches(const std::string& phrase) {
    archivePhrase_ = phrase;
    for (const ServiceId service : {ServiceId::Openverse, ServiceId::Commons, ServiceId::SearXNG}) {
        ArchiveRun& run = archiveRuns_[static_cast<size_t>(service)];
        run = ArchiveRun{};
        if (!serviceChoice_.enabledFor(service)) continue;
        run.base = archiveBase(service, serviceChoice_);
        if (run.base.empty()) {
            appendDiagnosticsLine(std::string(serviceName(service)) +
                                  ": no address entered; the service is not asked");
            continue;
        }
        run.position = firstArchivePosition(service);
        const std::string url = archiveRequestUrl(service, run.base, phrase, run.position, {},
                                                  serviceChoice_.licence);
        if (url.size() > MaxUrlLength) {
            appendDiagnosticsLine(std::string(serviceName(service)) +
                                  ": the phrase makes the request address too long; the service "
                                  "is not asked");
            continue;
        }
        QueueForGetPage(url, engineOfService(service));
    }
}

void SearchEngine::prepareServiceFetch(PageClient& page, int engine) {
    if (ServiceCounts* counts = health_.find(serviceOfEngine(engine))) ++counts->asked;
    if (!isArchiveEngine(engine)) return;
    page.buffer = std::make_unique<CappedBuffer>(MaxArchiveAnswerBytes);
    page.client->RcvdStream = page.buffer.get();
    useArchiveHeaders(*page.client, MaxArchiveDecodedBytes);
}

bool SearchEngine::serviceAnswerDone(THttpCli* sender, int error) {
    const ServiceId service = serviceOfEngine(sender->Tag);
    ServiceCounts* counts = health_.find(service);
    if (!counts) return false;
    const auto* buffer = qobject_cast<const CappedBuffer*>(sender->RcvdStream);
    const int status = error == 0 ? sender->StatusCode() : 0;
    ++counts->statuses[status];
    if (status != 0) ++counts->answered;
    if (status == 0) counts->failure = requestFailureText(*sender, error);
    if (!isArchiveService(service)) {
        if (status >= 200 && status < 300) ++counts->read;
        if (counts->answered == 1 && status == 200 && buffer &&
            !carriesResultMarkers(service, buffer->bytes()))
            counts->noMarkers = true;
        return false;
    }
    const std::string name = serviceName(service);
    const auto stop = [&](const std::string& why) {
        appendDiagnosticsLine(name + ": " + why + "; no further pages are asked");
    };
    ArchiveRun& run = archiveRuns_[static_cast<size_t>(service)];
    const bool complete = buffer && buffer->droppedBytes() == 0;
    // Error answers are read too: they may carry the service's own words.
    ArchiveAnswer answer;
    if (status != 0 && complete) answer = readArchiveAnswer(service, buffer->bytes(), run.position);
    if (status == 0) {
        stop("no answer from " + sender->URL + ": " + requestFailureText(*sender, error));
    } else if (status == 429 || (status == 200 && answer.lagged)) {
        const int wait = retryAfterSeconds(sender->RcvdHeader());
        const std::string what =
            status == 429 ? "too many requests (429)" : "the service is busy (maxlag)";
        if (wait >= 0 && wait < MaxRetryAfterSeconds && !run.retried) {
            run.retried = true;
            appendDiagnosticsLine(name + ": " + what + "; asking again in " +
                                  std::to_string(wait) + " s");
            QTimer::singleShot(wait * 1000, this, [this, url = sender->URL, engine = sender->Tag,
                                                    startedAfter = aborts_] {
                if (startedAfter == aborts_) GetPage(url, engine);
            });
        } else {
            std::string why = what;
            if (service == ServiceId::SearXNG && run.pagesRead == 0)
                why = "the instance's bot gate refused the request (429); its owner can turn "
                      "\"limiter\" off for a private instance";
            if (wait >= MaxRetryAfterSeconds) why += "; try again " + whenToTryAgain(wait);
            stop(withServiceWords(why, answer));
        }
    } else if (status == 403) {
        stop(withServiceWords(service == ServiceId::SearXNG
                                  ? "JSON output is not enabled on this SearXNG instance (403)"
                                  : "the service refused the request (403)",
                              answer));
    } else if (status != 200) {
        stop(withServiceWords("answered with status " + std::to_string(status), answer));
    } else if (!complete) {
        stop("the answer is larger than " + std::to_string(MaxArchiveAnswerBytes / 1048576) +
             " MB and was not read");
    } else if (!takeArchivePage(service, answer)) {
        stop(answer.message.empty() ? "the answer is not the expected JSON"
                                    : withServiceWords("the service answered with an error", answer));
    }
    markRunningDone(GetPageRunning, sender->URL);
    return true;
}

bool SearchEngine::takeArchiveAnswer(ServiceId service, std::string_view body) {
    ArchiveAnswer answer =
        readArchiveAnswer(service, body, archiveRuns_[static_cast<size_t>(service)].position);
    return takeArchivePage(service, answer);
}

bool SearchEngine::takeArchivePage(ServiceId service, ArchiveAnswer& answer) {
    ArchiveRun& run = archiveRuns_[static_cast<size_t>(service)];
    if (!answer.understood) return false;
    ServiceCounts& counts = health_[service];
    ++counts.read;
    if (!answer.failedEngines.empty())
        appendDiagnosticsLine(std::string(serviceName(service)) + ": " +
                              failedEnginesText(answer.failedEngines, answer.engines.size()));
    noteEngines(counts, answer);
    for (ArchivePicture& picture : answer.pictures)
        archiveHandOffs_.push_back(std::move(picture));
    handOnArchivePictures();
    run.retried = false;
    if (!answer.continuation.empty()) {
        // The same batch, until it is complete: it costs no page of the budget.
        if (++run.continuations > MaxBatchContinuations || run.base.empty()) return true;
        run.position = answer.next;
        QueueForGetPage(archiveRequestUrl(service, run.base, archivePhrase_, run.position,
                                          answer.continuation, serviceChoice_.licence),
                        engineOfService(service));
        return true;
    }
    run.continuations = 0;
    ++run.pagesRead;
    if (answer.next > 0 && run.pagesRead < serviceChoice_.maxPages && !run.base.empty()) {
        run.position = answer.next;
        QueueForGetPage(archiveRequestUrl(service, run.base, archivePhrase_, run.position, {},
                                          serviceChoice_.licence),
                        engineOfService(service));
    }
    return true;
}

// A long answer is handed on in slices, as a long page is analysed, so that the window
// stays responsive; the first slice goes at once.
void SearchEngine::handOnArchivePictures() {
    const auto until = std::chrono::steady_clock::now() + AnalysisSlice;
    for (size_t done = 1; !archiveHandOffs_.empty(); ++done) {
        ArchivePicture picture = std::move(archiveHandOffs_.front());
        archiveHandOffs_.pop_front();
        ServiceCounts& counts = health_[picture.source.service];
        // The list's address bound holds for the archives too, but is not passed silently.
        if (picture.url.size() > MaxUrlLength) {
            ++counts.tooLong;
            continue;
        }
        ++counts.handedOn;
        const std::string key = pictureKey(picture.url);
        const bool commonsFile = isCommonsFileKey(key);
        if (const auto listed = listedKeys_.find(key); listed != listedKeys_.end()) {
            countListed(
                results_.mergeRowSource(listed->second, std::move(picture.source), commonsFile));
            continue;
        }
        // Another address of a picture on its way to the list: both sources become one, and
        // this address is checked too, in case the other's check refuses it (a small rendition).
        const auto pending = pendingKeys_.find(key);
        const auto source = pending == pendingKeys_.end() ? pendingSources_.end()
                                                          : pendingSources_.find(pending->second);
        if (source != pendingSources_.end()) {
            mergeSource(source->second, std::move(picture.source), commonsFile);
            picture.source = source->second;
        } else if (pending != pendingKeys_.end()) {
            pending->second = picture.url; // the other's check has ended without a row
        } else if (pendingKeys_.size() < MaxWaitingChecks) {
            pendingKeys_.emplace(key, picture.url);
        }
        rememberSource(picture.url, std::move(picture.source));
        if (picture.typeUnknown && jpegProofWanted_.size() < MaxWaitingChecks)
            jpegProofWanted_.insert(picture.url);
        if (picture.typeUnknown || checkLinksChecked())
            QueueForCheckLink(picture.url);
        else
            AddToListView(picture.url, picture.size);
        if (done % 64 == 0 && std::chrono::steady_clock::now() >= until) break;
    }
    if (!archiveHandOffs_.empty()) archiveHandOffTimer_->start();
}

// An archive lists JPEGs only, and its word for a type is the answer's to confirm: a picture
// that relocates to a PNG is no JPEG, whatever the archive said.
bool SearchEngine::checkedImageFits(const THttpCli& client) const {
    const std::string& type = client.ContentType();
    if (!jpegProofWanted_.count(client.URL) && !foundInArchive(client.URL))
        return textContains(type, "image");
    return textContains(type, "image/jpeg") || textContains(type, "image/pjpeg");
}

bool SearchEngine::awaitJpegSignature(THttpCli& client) {
    const std::string& type = client.ContentType();
    const bool untyped = type.empty() || textContains(type, "octet-stream");
    if (!untyped || (!jpegProofWanted_.count(client.URL) && !foundInArchive(client.URL)))
        return false;
    client.OnDocData = [this, startedAfter = aborts_](THttpCli* sender, const char* data, int len) {
        if (len <= 0 || startedAfter != aborts_) return;
        catchAll("error code : #0003 (CheckLinkHeaderEnd)", [&] {
            const auto byte = [data](int i) { return static_cast<unsigned char>(data[i]); };
            if (len >= 3 && byte(0) == 0xFF && byte(1) == 0xD8 && byte(2) == 0xFF)
                addRow(sender->URL, sender->ContentLength(), sender->ContentLength() >= 0,
                       sender->Location());
            markRunningDone(CheckLinkRunning, std::to_string(sender->Tag));
        });
        sender->Abort();
    };
    return true;
}

// The service a page in analysis was found through: its own for a result page, else the
// one its finder was found through.
ServiceId SearchEngine::currentPageOrigin() const {
    if (pageAnalyses_.empty()) return ServiceId::None;
    const PendingAnalysis& pending = pageAnalyses_.front();
    const ServiceId own = serviceOfEngine(pending.analysis->engine());
    if (own != ServiceId::None) return own;
    // Origins are noted under the address the page was queued with.
    const auto it = pageOrigins_.find(pending.requestedUrl);
    return it == pageOrigins_.end() ? ServiceId::None : it->second;
}

void SearchEngine::notePageOrigin(const std::string& url) {
    const ServiceId origin = currentPageOrigin();
    if (origin != ServiceId::None && pageOrigins_.size() < MaxWaitingPages)
        pageOrigins_.try_emplace(url, origin);
}

// The first finder of a picture is the one named; a bounded table, as the queues are.
void SearchEngine::rememberSource(const std::string& url, PictureSource source) {
    if (pendingSources_.size() < MaxWaitingChecks) pendingSources_.try_emplace(url, std::move(source));
}

void SearchEngine::rememberClassicFind(const std::string& url) {
    if (pageAnalyses_.empty() || pendingSources_.count(url)) return;
    PictureSource source{currentPageOrigin(), pageAnalyses_.front().analysis->pageUrl(), {}, {}, {}, {}};
    if (ServiceCounts* counts = health_.find(source.service)) ++counts->handedOn;
    rememberSource(url, std::move(source));
}

bool SearchEngine::foundInArchive(const std::string& url) const {
    const auto it = pendingSources_.find(url);
    return it != pendingSources_.end() && isArchiveService(it->second.service);
}

PictureSource SearchEngine::takeSource(const std::string& url) {
    rememberClassicFind(url);
    const auto it = pendingSources_.find(url);
    if (it == pendingSources_.end()) return {};
    PictureSource source = std::move(it->second);
    pendingSources_.erase(it);
    return source;
}

void SearchEngine::clearSources() {
    pendingSources_.clear();
    pendingKeys_.clear();
    listedKeys_.clear();
    leftOutKeys_.clear();
    leftOut_ = {};
    jpegProofWanted_.clear();
    pageOrigins_.clear();
    health_.clear();
}

const PictureSource* SearchEngine::sourceOfAddress(const std::string& address) const {
    const long row = FoundList.indexOf(address);
    if (row < 0 || static_cast<size_t>(row) >= results_.totalRows()) return nullptr;
    return &results_.row(static_cast<size_t>(row)).source;
}

std::string SearchEngine::pictureAgent(const std::string& address) const {
    const PictureSource* source = sourceOfAddress(address);
    return source && isArchiveService(source->service) ? archiveUserAgent() : std::string();
}

std::string SearchEngine::visitAddress(size_t row) const {
    const PictureSource& source = results_.row(row).source;
    if (isArchiveService(source.service) && !source.page.empty()) return source.page;
    return ExtractPageLinkFromURL(FoundList[row]);
}

} // namespace lumi
