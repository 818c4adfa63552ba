#include "engine/DownloadBatch.h"

#include <algorithm>
#include <ctime>

#include "analysis/UrlUtils.h"
#include "base/DescriptorLimit.h"
#include "base/IniFiles.h"
#include "base/SettingKeys.h"
#include "net/HttpProt.h"

namespace lumi {

timespec batchClock() {
    // The coarse clock is the one file times are stamped from: a file written after this
    // never looks older.
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return now;
}

SavePlan planBatch(const std::vector<std::string>& addresses, const SaveOptions& options,
                   const std::string& searchDirName, const FolderNames& listNames,
                   const timespec& batchStart, std::shared_ptr<const FileCalls> calls) {
    SavePlan plan;
    if (addresses.empty()) return plan;
    if (options.savePath.empty()) {
        plan.items.resize(addresses.size());
        return plan;
    }
    std::string error;
    const std::shared_ptr<SaveFolder> folder =
        openSaveFolder(options, searchDirName, error, std::move(calls));
    plan.folder = folder ? folder->path() : options.savePath;
    if (!folder) {
        plan.writeProblem = "Cannot write to " + plan.folder + ": " + error;
        return plan;
    }
    plan.saveFolder = folder;
    plan.writeProblem = folderWriteProblem(folder);
    folder->removeStaleTemporaries(std::time(nullptr));
    // Plain names need the listing only where case folds, to see another case of a name.
    const NameRules rules = folder->nameRules();
    auto namer = std::make_shared<BatchNamer>(
        searchDirName, options.numbered,
        options.numbered || rules.foldsCase ? listNames(plan.folder) : std::vector<std::string>(),
        rules);
    for (const std::string& address : addresses) {
        BatchItem item;
        item.address = address;
        item.name = ExtractFileNameFromURL(address);
        item.folder = folder;
        item.claim.name = namer->next(address);
        // The first plain use of a name replaces the file it names now if that was there
        // before the batch began, and nothing else.
        if (!options.numbered && item.claim.name == plainSaveName(address))
            item.claim.replaceable = folder->fileUnchangedSince(item.claim.name, batchStart);
        item.claim.nextName = [namer, address](const std::string& taken) {
            return namer->nextAfter(address, taken);
        };
        item.path = folder->pathOf(item.claim.name);
        plan.items.push_back(std::move(item));
    }
    return plan;
}

BatchWidth batchWidth(const TIniFile& settings) {
    BatchWidth width =
        readSetting(settings, setting::SlowConnection) ? DefaultBatchWidth : FastBatchWidth;
    // Each transfer holds a socket and a file, and leaves a kept connection behind: under a
    // low descriptor limit the batch runs only as many as the descriptors above the reserve,
    // less what the program holds besides, can carry, so that pictures wait their turn
    // rather than fail.
    constexpr uint64_t HeldBesides = 16;
    const uint64_t limit = softLimit();
    const uint64_t spare = limit > DescriptorReserve + HeldBesides
                               ? (limit - DescriptorReserve - HeldBesides) / 3
                               : 1;
    width.inAll = size_t(std::clamp<uint64_t>(spare, 1, width.inAll));
    width.perHost = std::min(width.perHost, width.inAll);
    return width;
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
        if (stopWhenFolderGone(item)) return;
    }
}

// A picture named in a folder no longer at its path would be printed where it is not.
bool DownloadBatch::stopWhenFolderGone(const BatchItem& item) {
    if (!item.folder || item.folder->stillAtPath() || !stopReason_.empty()) return false;
    stopReason_ = item.folder->goneText();
    abort();
    if (OnStopped) OnStopped();
    return true;
}

void DownloadBatch::creditInto(std::unique_ptr<CreditsJournal> journal,
                               std::function<const PictureSource*(const std::string&)> sourceOf) {
    credits_ = std::move(journal);
    sourceOf_ = std::move(sourceOf);
}

// A picture that replaced an older one of its name takes that one's line too.
void DownloadBatch::credit(const BatchItem& item, bool replaced) {
    if (!credits_) return;
    const PictureSource* source = sourceOf_ ? sourceOf_(item.address) : nullptr;
    const std::string fileName = item.path.substr(item.path.rfind('/') + 1);
    const std::string line =
        source && !source->licence.empty() ? creditLine(fileName, *source) : std::string();
    if (line.empty() && !replaced) return;
    std::string problem = credits_->record(fileName, line, replaced);
    if (creditsProblem_.empty()) creditsProblem_ = std::move(problem);
}

std::string DownloadBatch::notes() const {
    std::string notes;
    const SaveFolder* folder = items_.empty() ? nullptr : items_.front().folder.get();
    if (!stopReason_.empty()) {
        notes += stopReason_ + "\n";
        if (folder && !folder->removed() && done_ > failed_)
            notes += "The pictures saved before stay in that folder, wherever it is now.\n";
    }
    if (!creditsProblem_.empty()) notes += creditsProblem_ + "\n";
    if (const size_t fitted = fittedCount(); fitted > 0 && folder)
        notes += std::to_string(fitted) + (fitted == 1 ? " name was" : " names were") +
                 " changed to suit the file system of " + folder->path() + "\n";
    return notes;
}

size_t DownloadBatch::fittedCount() const {
    return static_cast<size_t>(
        std::count_if(items_.begin(), items_.end(), [](const BatchItem& item) {
            return item.state == BatchItem::State::Saved && item.nameFitted;
        }));
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
        if (!outcome.failed) {
            item.path = outcome.savedPath;
            item.nameFitted = outcome.nameFitted;
            credit(item, outcome.replaced);
        }
        finish(item);
        if (outcome.failed && stopWhenFolderGone(item)) return;
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
        item.reason = stopReason_.empty() ? "Connection aborted on request" : stopReason_;
        --running_;
        --runningAt_[hosts_[i]];
        ++done_;
        ++failed_;
    }
    syncFolder();
}

} // namespace lumi
