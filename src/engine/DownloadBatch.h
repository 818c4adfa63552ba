#pragma once
// One Download command's batch: every selected picture named at once (so numbering stays
// consecutive), then saved through FileTransfers with at most a bounded number of transfers
// running; each completion starts the next, and each picture's credit goes into the journal
// the moment it gets its name. Abort stops what runs and removes its partial files; a save
// folder moved or removed mid-batch stops it too. While it lives the batch owns
// FileTransfers::OnSaveDone.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <time.h>
#include <vector>

#include "base/PartFile.h"
#include "engine/CreditsFile.h"
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
    bool nameFitted = false; // saved under a name changed to suit the file system
};

// The folder and the names of a batch. An empty folder with items means "SavePath" is empty:
// nothing may be started. A folder that cannot be written is said once, in writeProblem,
// and nothing may be started either.
struct SavePlan {
    std::string folder;
    std::shared_ptr<const SaveFolder> saveFolder;
    std::vector<BatchItem> items;
    std::string writeProblem;
    bool missingSaveFolder() const { return folder.empty() && !items.empty(); }
};

// The time a batch starting now starts at, on the clock file times are taken from.
timespec batchClock();

using FolderNames = std::function<std::vector<std::string>(const std::string& folder)>;

// Decides folder and names for addresses: the folder is prepared (created when missing),
// opened, checked for writing, cleared of stale temporaries, read once (listNames) and every
// name chosen before any transfer starts, so that a numbered name counts the names given
// earlier in the batch as taken. A name found taken when the picture is complete gives way
// to the next free one; only a plain name replaces the file it held when planned, and only
// one last changed before batchStart, so that no batch replaces what another one saved
// since this one began.
SavePlan planBatch(const std::vector<std::string>& addresses, const SaveOptions& options,
                   const std::string& searchDirName, const FolderNames& listNames = namesInFolder,
                   const timespec& batchStart = batchClock(),
                   std::shared_ptr<const FileCalls> calls = FileCalls::system());

// Transfers a batch runs at once: the link-check pool's limit for the connection setting
// ("SlowConnection", on unless set).
size_t transferLimit(const TIniFile& settings);

class DownloadBatch {
public:
    DownloadBatch(FileTransfers& transfers, std::vector<BatchItem> items, size_t maxRunning);
    // Aborts what still runs.
    ~DownloadBatch();
    DownloadBatch(const DownloadBatch&) = delete;
    DownloadBatch& operator=(const DownloadBatch&) = delete;

    // When an item's transfer starts.
    std::function<void(const BatchItem& item)> OnItemStarted;
    // After each item ends, saved or failed. It may call abort().
    std::function<void(const BatchItem& item)> OnItemDone;
    // When the batch stopped by itself (stopReason() says why); items not saved stay.
    std::function<void()> OnStopped;

    // Credits each saved picture that sourceOf gives a licence for in journal.
    void creditInto(std::unique_ptr<CreditsJournal> journal,
                    std::function<const PictureSource*(const std::string&)> sourceOf);

    // Starts the first transfers (up to the bound).
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
    // The first credit that could not be written, in words; empty while none failed.
    const std::string& creditsProblem() const { return creditsProblem_; }
    // Why the batch stopped by itself; empty unless it did.
    const std::string& stopReason() const { return stopReason_; }
    // Saved pictures whose names were changed to suit the file system.
    size_t fittedCount() const;
    // What the user must hear beside the counts, one line each: why the batch stopped (and
    // where the pictures saved before are), the credits' problem, names changed to fit.
    std::string notes() const;

private:
    void startNext();
    void transferDone(const TransferOutcome& outcome);
    void finish(BatchItem& item);
    void syncFolder();
    void credit(const BatchItem& item, bool replaced);
    bool stopWhenFolderGone(const BatchItem& item);

    FileTransfers& transfers_;
    std::vector<BatchItem> items_;
    std::vector<std::string> heldPaths_; // normalFilePath of each item's path
    size_t maxRunning_;
    size_t next_ = 0;
    size_t running_ = 0;
    size_t done_ = 0;
    size_t failed_ = 0;
    int64_t savedBytes_ = 0;
    bool aborted_ = false;
    bool synced_ = false;
    std::unique_ptr<CreditsJournal> credits_;
    std::function<const PictureSource*(const std::string&)> sourceOf_;
    std::string creditsProblem_;
    std::string stopReason_;
};

} // namespace lumi
