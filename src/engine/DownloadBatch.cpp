#include "engine/DownloadBatch.h"

#include <algorithm>
#include <ctime>

#include "analysis/UrlUtils.h"
#include "base/IniFiles.h"
#include "base/SettingKeys.h"
#include "net/HttpProt.h"

namespace lumi {

SavePlan planBatch(const std::vector<std::string>& addresses, const SaveOptions& options,
                   const std::string& searchDirName, const FolderNames& listNames) {
    SavePlan plan;
    if (addresses.empty()) return plan;
    if (options.savePath.empty()) {
        plan.items.resize(addresses.size());
        return plan;
    }
    std::string error;
    const std::shared_ptr<SaveFolder> folder = openSaveFolder(options, searchDirName, error);
    plan.folder = folder ? folder->path() : options.savePath;
    if (!folder) {
        plan.writeProblem = "Cannot write to " + plan.folder + ": " + error;
        return plan;
    }
    plan.writeProblem = folderWriteProblem(folder);
    folder->removeStaleTemporaries(std::time(nullptr));
    auto namer = std::make_shared<BatchNamer>(
        searchDirName, options.numbered,
        options.numbered ? listNames(plan.folder) : std::vector<std::string>());
    for (const std::string& address : addresses) {
        BatchItem item;
        item.address = address;
        item.name = ExtractFileNameFromURL(address);
        item.folder = folder;
        item.claim.name = namer->next(address);
        // The first plain use of a name replaces the file it names now, and nothing else.
        if (!options.numbered && item.claim.name == plainSaveName(address))
            item.claim.replaceable = folder->fileAt(item.claim.name);
        item.claim.nextName = [namer, address](const std::string& taken) {
            return namer->nextAfter(address, taken);
        };
        item.path = folder->pathOf(item.claim.name);
        plan.items.push_back(std::move(item));
    }
    return plan;
}

BatchWidth batchWidth(const TIniFile& settings) {
    return readSetting(settings, setting::SlowConnection) ? DefaultBatchWidth : FastBatchWidth;
}

DownloadBatch::DownloadBatch(FileTransfers& transfers, std::vector<BatchItem> items,
                             BatchWidth width)
    : transfers_(transfers), items_(std::move(items)), width_{std::max<size_t>(1, width.perHost),
                                                              std::max<size_t>(1, width.inAll)} {
    for (const BatchItem& item : items_) {
        heldPaths_.push_back(normalFilePath(item.path));
        hosts_.push_back(hostAndPort(item.address));
    }
    transfers_.OnSaveDone = [this](const TransferOutcome& outcome) { transferDone(outcome); };
}

DownloadBatch::~DownloadBatch() {
    abort();
    transfers_.OnSaveDone = nullptr;
}

void DownloadBatch::start() {
    startNext();
}

void DownloadBatch::startNext() {
    while (firstWaiting_ < items_.size() &&
           items_[firstWaiting_].state != BatchItem::State::Waiting)
        ++firstWaiting_;
    for (size_t i = firstWaiting_; i < items_.size() && !aborted_ && running_ < width_.inAll; ++i) {
        BatchItem& item = items_[i];
        if (item.state != BatchItem::State::Waiting || runningAt_[hosts_[i]] >= width_.perHost)
            continue;
        if (transfers_.SaveFile(item.address, item.path, SaveTarget{item.folder, item.claim})) {
            item.state = BatchItem::State::Running;
            ++running_;
            ++runningAt_[hosts_[i]];
            if (OnItemStarted) OnItemStarted(item);
            continue;
        }
        item.state = BatchItem::State::Failed;
        item.reason = transfers_.lastRefusal();
        finish(item);
    }
}

void DownloadBatch::transferDone(const TransferOutcome& outcome) {
    for (size_t i = 0; i < items_.size(); ++i) {
        BatchItem& item = items_[i];
        if (item.state != BatchItem::State::Running || heldPaths_[i] != outcome.path) continue;
        --running_;
        --runningAt_[hosts_[i]];
        item.state = outcome.failed ? BatchItem::State::Failed : BatchItem::State::Saved;
        item.reason = outcome.reason;
        item.bytes = outcome.bytes;
        if (!outcome.failed) item.path = outcome.savedPath;
        finish(item);
        startNext();
        return;
    }
}

void DownloadBatch::finish(BatchItem& item) {
    ++done_;
    if (item.state == BatchItem::State::Failed)
        ++failed_;
    else
        savedBytes_ += item.bytes;
    if (finished()) syncFolder();
    if (OnItemDone) OnItemDone(item);
}

// The names given in the folder survive a power cut once this returns.
void DownloadBatch::syncFolder() {
    if (synced_) return;
    synced_ = true;
    for (const BatchItem& item : items_)
        if (item.folder) return item.folder->sync();
}

void DownloadBatch::abort() {
    aborted_ = true;
    for (size_t i = 0; i < items_.size(); ++i) {
        BatchItem& item = items_[i];
        if (item.state != BatchItem::State::Running) continue;
        transfers_.cancel(item.path);
        item.state = BatchItem::State::Failed;
        item.reason = "Connection aborted on request";
        --running_;
        --runningAt_[hosts_[i]];
        ++done_;
        ++failed_;
    }
    syncFolder();
}

} // namespace lumi
