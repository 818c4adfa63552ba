#pragma once
// One Download command's batch: every selected picture named at once (so numbering stays
// consecutive), then saved through FileTransfers with a bounded number of transfers running
// at each host and in all; each completion starts the next waiting picture whose host has
// room, in the order of the selection. Abort stops what runs and removes its partial
// files. While it lives the batch owns FileTransfers::OnSaveDone.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/PartFile.h"
#include "engine/FileTransfers.h"
#include "engine/SmartSave.h"

class TIniFile;

namespace lumi {

struct BatchItem {
    enum class State { Waiting, Running, Saved, Failed };
    std::string address;
    std::string name; // the file-name part of the address, as the lists show it
    std::string path; // where it is saved: after saving, the name it got
    // The folder held open and the name claimed in it when the picture is complete.
    std::shared_ptr<const SaveFolder> folder;
    NameClaim claim;
    State state = State::Waiting;
    std::string reason; // why it failed, in the program's words
    int64_t bytes = 0;
};

// The folder and the names of a batch. An empty folder with items means "SavePath" is empty:
// nothing may be started. A folder that cannot be written is said once, in writeProblem,
// and nothing may be started either.
struct SavePlan {
    std::string folder;
    std::vector<BatchItem> items;
    std::string writeProblem;
    bool missingSaveFolder() const { return folder.empty() && !items.empty(); }
};

using FolderNames = std::function<std::vector<std::string>(const std::string& folder)>;

// Decides folder and names for addresses: the folder is prepared (created when missing),
// opened, checked for writing, cleared of stale temporaries, read once (listNames) and every
// name chosen before any transfer starts, so that a numbered name counts the names given
// earlier in the batch as taken. A name found taken when the picture is complete gives way
// to the next free one; only a plain name replaces the file it held when planned.
SavePlan planBatch(const std::vector<std::string>& addresses, const SaveOptions& options,
                   const std::string& searchDirName,
                   const FolderNames& listNames = namesInFolder);

// How many transfers a batch runs at once: at one host (each on its own kept connection)
// and in all.
struct BatchWidth {
    size_t perHost;
    size_t inAll;
};
inline constexpr BatchWidth DefaultBatchWidth{8, 32};
inline constexpr BatchWidth FastBatchWidth{16, 32};

// The width for the connection setting: "Fast Connection" (SlowConnection off) the wider.
BatchWidth batchWidth(const TIniFile& settings);

class DownloadBatch {
public:
    DownloadBatch(FileTransfers& transfers, std::vector<BatchItem> items, BatchWidth width);
    // Aborts what still runs.
    ~DownloadBatch();
    DownloadBatch(const DownloadBatch&) = delete;
    DownloadBatch& operator=(const DownloadBatch&) = delete;

    // When an item's transfer starts.
    std::function<void(const BatchItem& item)> OnItemStarted;
    // After each item ends, saved or failed. It may call abort().
    std::function<void(const BatchItem& item)> OnItemDone;

    // Starts the first transfers (up to the bounds).
    void start();
    // Stops the running transfers (their temporary files are removed) and starts no more;
    // saved files stay. Stopped items become Failed without an OnItemDone; waiting ones
    // stay Waiting.
    void abort();

    const std::vector<BatchItem>& items() const { return items_; }
    size_t runningCount() const { return running_; }
    size_t doneCount() const { return done_; }
    size_t failedCount() const { return failed_; }
    int64_t savedBytes() const { return savedBytes_; }
    bool finished() const { return done_ == items_.size(); }

private:
    void startNext();
    void transferDone(const TransferOutcome& outcome);
    void finish(BatchItem& item);
    void syncFolder();

    FileTransfers& transfers_;
    std::vector<BatchItem> items_;
    std::vector<std::string> heldPaths_; // normalFilePath of each item's path
    std::vector<std::string> hosts_;     // hostAndPort of each item's address
    std::map<std::string, size_t> runningAt_;
    BatchWidth width_;
    size_t firstWaiting_ = 0; // no item before it waits
    size_t running_ = 0;
    size_t done_ = 0;
    size_t failed_ = 0;
    int64_t savedBytes_ = 0;
    bool aborted_ = false;
    bool synced_ = false;
};

} // namespace lumi
