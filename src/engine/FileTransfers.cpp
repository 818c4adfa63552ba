#include "engine/FileTransfers.h"

#include <algorithm>
#include <future>
#include <stdexcept>

#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QTimer>

#include "analysis/UrlUtils.h"
#include "base/AppPaths.h"
#include "base/Clock.h"
#include "base/ErrorReport.h"
#include "base/PartFile.h"
#include "base/ProxySetting.h"
#include "base/SettingKeys.h"
#include "engine/IdleWatchdog.h"
#include "engine/PictureSink.h"
#include "engine/ProxyUse.h"

namespace lumi {

namespace {

std::string lastComponent(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string lastStatusLine(const THttpCli& client) {
    const auto& header = client.RcvdHeader();
    for (auto line = header.rbegin(); line != header.rend(); ++line)
        if (line->rfind("HTTP/", 0) == 0) return *line;
    return "(no status line)";
}

// "30 s", or "0.25 s" for the short time-outs of tests.
std::string secondsText(std::chrono::milliseconds span) {
    const auto ms = span.count();
    if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
    std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
    while (fraction.back() == '0')
        fraction.pop_back();
    return std::to_string(ms / 1000) + "." + fraction + " s";
}

// How often a running transfer's speed is looked at.
constexpr std::chrono::milliseconds SpeedCheckInterval{1000};

} // namespace

// A flush running on a worker thread; destroying it waits for its end.
struct PendingFlush {
    std::future<int> done;
    PendingFlush() = default;
    PendingFlush(const PendingFlush&) = delete;
    PendingFlush& operator=(const PendingFlush&) = delete;
    ~PendingFlush() {
        if (done.valid()) done.wait();
    }
};

struct FileTransfers::Transfer {
    std::unique_ptr<THttpCli> client;
    // The temporary until the first body block; then the sink holds it.
    std::unique_ptr<PartFile> file;
    std::unique_ptr<PictureSink> sink;
    IdleWatchdog watchdog;
    bool connected = false;
    // The answer whose header ended last is a picture's 200: only its body is kept.
    bool pictureAnswer = false;
    int64_t sizeLimit = PictureCeilingBytes;
    // The current span of the speed check: its start (tick count) and the bytes since.
    QTimer speedTimer;
    uint32_t spanStart = 0;
    int64_t spanBytes = 0;
    // Set when the transfer was ended from here (a refused body, a time-out).
    std::string failure;
    // The flush of a complete body, and the object its end is reported to. Last, so that a
    // transfer destroyed mid-flush waits for it before its file goes.
    QObject flushDone;
    PendingFlush flushing;
};

bool isPictureStatusLine(const std::string& statusLine) {
    // "HTTP/1.x 200" followed by the end or a blank; "2004" and "20" are no 200.
    const size_t blank = statusLine.find(' ');
    if (blank == std::string::npos || statusLine.compare(blank + 1, 3, "200") != 0) return false;
    const size_t after = blank + 4;
    return after == statusLine.size() || statusLine[after] == ' ';
}

std::string statusLineReason(const std::string& statusLine) {
    const size_t blank = statusLine.find(' ');
    if (blank != std::string::npos && statusLine.compare(blank + 1, 3, "407") == 0 &&
        (statusLine.size() == blank + 4 || statusLine[blank + 4] == ' '))
        return statusLine + ": the proxy refused the login: check the proxy name and password in "
                            "Options";
    return statusLine;
}

int64_t pictureSizeLimit(const TIniFile& settings) {
    if (!readSetting(settings, setting::SmallerThanBool)) return PictureCeilingBytes;
    return std::clamp<int64_t>(readSetting(settings, setting::SmallerThan), 0,
                               PictureCeilingBytes / 1000) * 1000;
}

std::string sizeLimitText(int64_t limit) {
    return "Larger than the size limit (" + std::to_string(limit / 1000) + " kB)";
}

std::string transferFailureReason(const THttpCli& client, int error) {
    std::string reason = client.ReasonPhrase().empty() ? "error " + std::to_string(error)
                                                       : client.ReasonPhrase();
    // The proxy never answered: name it, or the user looks for the fault at the picture's host.
    if (client.RcvdHeader().empty() && !proxyLabel(client).empty())
        reason = "Proxy " + proxyLabel(client) + ": " + reason;
    return reason;
}

// So that two spellings of a path cannot both hold it.
std::string normalFilePath(const std::string& path) {
    return QDir::cleanPath(QFileInfo(qtPath(path)).absoluteFilePath())
        .toLocal8Bit()
        .toStdString();
}

bool plainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('\0') == std::string::npos;
}

FileTransfers::FileTransfers(std::string settingsPath, QObject* parent,
                             std::function<std::string()> slideshowFolder)
    : QObject(parent), settings_(std::move(settingsPath)),
      slideshowFolder_(slideshowFolder ? std::move(slideshowFolder) : &lumi::slideshowFolder) {
    // A disk may take long over a flush: enough threads that a batch does not queue behind one.
    flushers_.setMaxThreadCount(FlushThreads);
}

FileTransfers::~FileTransfers() {
    while (!transfers_.empty())
        cancel(transfers_.begin()->first);
}

std::string FileTransfers::targetPath(const std::string& target, TransferKind kind) const {
    return kind == tkSave ? target : slideshowFolder_() + target;
}

bool FileTransfers::holds(const std::string& path) const {
    return transfers_.count(normalFilePath(path)) > 0;
}

bool FileTransfers::refuseOnFailure(const std::function<void()>& attempt) {
    lastRefusal_.clear();
    try {
        attempt();
        return true;
    } catch (const std::exception& e) {
        lastRefusal_ = e.what();
    } catch (...) {
        lastRefusal_ = GetFileErrorText;
    }
    ReportError(GetFileErrorText);
    return false;
}

bool FileTransfers::GetFile(const std::string& address, const std::string& target,
                            TransferKind kind) {
    return refuseOnFailure([&] {
        // A bare name for the scratch folder must not climb out of it.
        if (kind != tkSave && target.find('/') != std::string::npos)
            throw std::invalid_argument("Not a bare file name: " + target);
        if (kind != tkSave) QDir().mkdir(qtPath(slideshowFolder_()));
        const std::string path = targetPath(target, kind);
        // An empty, "." or ".." name would write onto the folder itself or its parent.
        if (!plainFileName(lastComponent(path)))
            throw std::invalid_argument("No file name in " + path);
        SaveTarget save;
        std::string error;
        save.folder = openFolderOf(path, save.claim, error);
        if (!save.folder) throw std::runtime_error(error);
        start(address, path, std::move(save), kind);
    });
}

bool FileTransfers::SaveFile(const std::string& address, const std::string& path,
                             SaveTarget target) {
    return refuseOnFailure([&] {
        if (!plainFileName(target.claim.name))
            throw std::invalid_argument("No file name in " + path);
        start(address, path, std::move(target), tkSave);
    });
}

void FileTransfers::start(const std::string& address, const std::string& path, SaveTarget target,
                          TransferKind kind) {
    const std::string key = normalFilePath(path);
    // The file system lets a second writer open the file; the rule that a file being written
    // is held exclusively is kept here.
    if (transfers_.count(key)) throw std::runtime_error("Already being saved: " + path);
    const ProxySetting proxy = proxyFromSettings(settings_);
    if (proxy.missingServer) throw std::runtime_error(MissingProxyServerText);

    auto transfer = std::make_unique<Transfer>();
    std::string error;
    transfer->file = PartFile::create(std::move(target.folder), std::move(target.claim), error);
    if (!transfer->file) throw std::runtime_error(error);
    transfer->sizeLimit = pictureSizeLimit(settings_);
    // A start that fails from here on leaves neither a client nor a file behind: the
    // Transfer's members clean up.
    transfer->client = std::make_unique<THttpCli>();
    THttpCli& client = *transfer->client;
    useProxy(client, proxy);
    client.URL = address;
    client.Tag = kind;
    if (AgentFor)
        if (std::string agent = AgentFor(address); !agent.empty()) client.Agent = std::move(agent);
    Transfer* t = transfer.get();
    client.OnSessionConnected = [this, t](THttpCli*) {
        t->connected = true;
        t->spanStart = tickCount();
        t->spanBytes = 0;
        t->speedTimer.start();
        t->watchdog.alive();
    };
    client.OnHeaderData = [t](THttpCli*) { t->watchdog.alive(); };
    client.OnHeaderEnd = [this, t](THttpCli*) { headerEnd(*t); };
    client.OnLocationChange = [t](THttpCli*) {
        t->connected = false;
        t->speedTimer.stop();
        t->watchdog.alive();
    };
    client.OnDocData = [this, t, key](THttpCli*, const char* data, int len) {
        bodyBlock(*t, data, len);
        if (OnProgress && t->sink && t->failure.empty()) OnProgress(key, t->sink->written());
    };
    client.OnRequestDone = [this](THttpCli* sender, THttpRequest rqType, int doneError) {
        GetFileRequestDone(sender, rqType, doneError);
    };
    transfer->speedTimer.setInterval(SpeedCheckInterval);
    QObject::connect(&transfer->speedTimer, &QTimer::timeout, this, [this, t] { checkSpeed(*t); });
    transfer->watchdog.OnFire = [this, t](bool timedOut) {
        if (timedOut && t->failure.empty())
            t->failure = "Timed out: " +
                         std::string(t->connected ? "no data for " : "no connection within ") +
                         secondsText(idleTimeout_);
        t->client->Abort();
    };
    t->watchdog.start(idleTimeout_);
    if (connections_) connections_->prepare(client);
    client.StartGet();
    transfers_.emplace(key, std::move(transfer));
}

// A body refused here ends the transfer from the watchdog's timer rather than from inside
// the client's data event.
void FileTransfers::stop(Transfer& transfer, const std::string& reason) {
    if (transfer.failure.empty()) transfer.failure = reason;
    transfer.watchdog.end();
}

// A trickle is never idle long enough for the watchdog, yet would hold its slot for ever.
void FileTransfers::checkSpeed(Transfer& transfer) {
    const uint32_t now = tickCount();
    if (ticksSince(transfer.spanStart, now) < SlowTransferSpan) return;
    if (transfer.spanBytes < SlowTransferBytes) {
        transfer.speedTimer.stop();
        return stop(transfer, SlowTransferText);
    }
    transfer.spanStart = now;
    transfer.spanBytes = 0;
}

// An announced body beyond the bound fails before a byte of it is written.
void FileTransfers::headerEnd(Transfer& transfer) {
    const THttpCli& client = *transfer.client;
    transfer.pictureAnswer = isPictureStatusLine(lastStatusLine(client));
    if (transfer.pictureAnswer && client.ContentLength() > transfer.sizeLimit)
        stop(transfer, sizeLimitText(transfer.sizeLimit));
}

void FileTransfers::bodyBlock(Transfer& transfer, const char* data, int len) {
    transfer.watchdog.alive();
    transfer.spanBytes += len;
    checkSpeed(transfer);
    const THttpCli& client = *transfer.client;
    // The body of anything but the picture's own answer (an error page, a relocation) is
    // not kept.
    if (!transfer.failure.empty() || !transfer.pictureAnswer) return;
    if (!transfer.sink)
        transfer.sink =
            std::make_unique<PictureSink>(std::move(transfer.file), client.ContentType(),
                                          transfer.sizeLimit, sizeLimitText(transfer.sizeLimit));
    if (!transfer.sink->take(data, static_cast<size_t>(len)))
        stop(transfer, transfer.sink->reason());
}

FileTransfers::TransferMap::iterator FileTransfers::findClient(const THttpCli* client) {
    for (auto it = transfers_.begin(); it != transfers_.end(); ++it)
        if (it->second->client.get() == client) return it;
    return transfers_.end();
}

void FileTransfers::GetFileRequestDone(THttpCli* sender, THttpRequest, int error) {
    catchAll(RequestDoneErrorText, [&] {
        const auto it = findClient(sender);
        if (it == transfers_.end()) return;
        Transfer& transfer = *it->second;
        if (connections_) connections_->recycle(*transfer.client);
        transfer.watchdog.stop();
        transfer.speedTimer.stop();

        const THttpCli& client = *transfer.client;
        std::string reason = transfer.failure;
        if (reason.empty() && error != 0) reason = transferFailureReason(client, error);
        const std::string statusLine = lastStatusLine(client);
        // A proxy's refusal of the login may also end a tunnel with a socket error.
        const bool loginRefused = statusLineReason(statusLine) != statusLine;
        if ((reason.empty() && !isPictureStatusLine(statusLine)) ||
            (loginRefused && transfer.failure.empty()))
            reason = statusLineReason(statusLine);
        if (reason.empty()) reason = transfer.sink ? transfer.sink->finish() : "Empty body";
        if (!reason.empty()) return complete(it, reason);
        // The flush before the name waits for the disk: it runs beside the event loop, and
        // the transfer completes once it is done.
        // Its end comes back as a queued call, dropped should the transfer be gone by then.
        Transfer* t = &transfer;
        auto flush = std::make_shared<std::packaged_task<int()>>([this, t,
                                                                  &file = t->sink->file()] {
            const int code = file.flushData();
            QMetaObject::invokeMethod(
                &t->flushDone,
                [this, t, code] {
                    catchAll(RequestDoneErrorText, [&] {
                        for (auto at = transfers_.begin(); at != transfers_.end(); ++at)
                            if (at->second.get() == t)
                                return complete(
                                    at, code == 0 ? std::string() : systemErrorText(code));
                    });
                },
                Qt::QueuedConnection);
            return code;
        });
        t->flushing.done = flush->get_future();
        flushers_.start([flush] { (*flush)(); });
    });
}

void FileTransfers::complete(TransferMap::iterator it, std::string reason) {
    TransferOutcome outcome;
    outcome.path = it->first;
    std::unique_ptr<Transfer> transfer = std::move(it->second);
    transfers_.erase(it);
    const THttpCli& client = *transfer->client;
    outcome.kind = static_cast<TransferKind>(client.Tag);
    outcome.address = client.URL;
    outcome.name = ExtractFileNameFromURL(client.URL);
    // Only a whole picture replaces what the target held.
    if (reason.empty() && !transfer->sink->file().commit()) reason = transfer->sink->file().error();
    if (reason.empty()) {
        const PartFile& file = transfer->sink->file();
        outcome.savedPath = file.finalPath();
        outcome.nameFitted = file.nameFitted();
        outcome.replaced = file.replacedOld();
    }
    if (transfer->sink) outcome.bytes = transfer->sink->written();
    outcome.failed = !reason.empty();
    outcome.reason = reason;
    // The temporary of a failed transfer goes with it.
    transfer.reset();

    const auto& step = outcome.kind == tkSave   ? OnSaveDone
                       : outcome.kind == tkView ? OnViewDone
                                                : OnSlideDone;
    if (step) step(outcome);
}

bool FileTransfers::cancel(const std::string& path) {
    const auto it = transfers_.find(normalFilePath(path));
    if (it == transfers_.end()) return false;
    std::unique_ptr<Transfer> transfer = std::move(it->second);
    transfers_.erase(it);
    // Destroying the client stops it without any further event; the temporary goes with the
    // transfer.
    transfer.reset();
    return true;
}

} // namespace lumi
