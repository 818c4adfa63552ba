#pragma once
// The picture transfers shared by the downloader, the viewer and the slide show. GetFile
// starts one HTTP client per picture, received into a hidden temporary file beside the
// target (PictureSink); GetFileRequestDone ends it, renames the temporary over the target
// only when a whole picture arrived, and hands the outcome to the step of the transfer's
// kind. A transfer that stays silent too long is ended. Owns the running clients and files.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include <QObject>
#include <QThreadPool>

#include "base/IniFiles.h"
#include "base/PartFile.h"
#include "net/ConnectionPool.h"
#include "net/HttpProt.h"

class QTimer;

// The purpose of one transfer, kept in its client's Tag (the value 2 is not used).
enum TransferKind { tkSlide = 0, tkView = 1, tkSave = 3 };

namespace lumi {

class PictureSink;

// How long a transfer may wait for its connection or for the next byte.
inline constexpr std::chrono::milliseconds TransferIdleTimeout{30000};
// A transfer that receives less than SlowTransferBytes in any SlowTransferSpan fails.
inline constexpr int64_t SlowTransferBytes = 1024;
inline constexpr uint32_t SlowTransferSpan = 60000; // ms of the tick counter
inline constexpr const char* SlowTransferText = "Too slow: less than 1 KB in 60 s";
// The most one picture may hold when the upper size bound is off.
inline constexpr int64_t PictureCeilingBytes = int64_t{1} << 30;

// Where a saved picture goes: a name claimed in a folder held open.
struct SaveTarget {
    std::shared_ptr<const SaveFolder> folder;
    NameClaim claim;
};

// What a finished transfer brought.
struct TransferOutcome {
    TransferKind kind = tkSave;
    std::string address; // the client's URL
    std::string name;    // the file-name part of the address
    std::string path;    // the path the transfer held (normalFilePath of its target)
    std::string savedPath; // the saved file's real path (its name as claimed); empty when failed
    bool failed = false;
    // Why it failed, in the program's words: the status line, the socket error text (naming
    // the proxy when one was used), the system's text for a file error, or a local reason.
    // Empty when it did not fail.
    std::string reason;
    int64_t bytes = 0; // body bytes received
    bool nameFitted = false; // the name was changed to suit the file system
    bool replaced = false;   // the picture replaced the older file of its name
};

// The status line's code is exactly three digits and 200: the only answer that is a picture.
bool isPictureStatusLine(const std::string& statusLine);

// The reason for a failed transfer of client that ended with error.
std::string transferFailureReason(const THttpCli& client, int error);
// The status line as a reason; a proxy's refusal of the login says so in words.
std::string statusLineReason(const std::string& statusLine);

// The most bytes one picture may hold: the upper size bound ("SmallerThanBool",
// "SmallerThan" kB) when on, else PictureCeilingBytes; and the text of a refusal.
int64_t pictureSizeLimit(const TIniFile& settings);
std::string sizeLimitText(int64_t limit);

// One spelling per file (absolute, cleaned), as TransferOutcome::path gives it.
std::string normalFilePath(const std::string& path);

// A path's last component may be written as a file: neither empty, "." nor "..", no NUL.
bool plainFileName(const std::string& name);

class FileTransfers : public QObject {
    Q_OBJECT
public:
    // The text a refused or failed start reports.
    static constexpr const char* GetFileErrorText = "error code : #0053 (GetFile)";
    static constexpr const char* RequestDoneErrorText = "error code : #0054 (GetFileRequestDone)";

    // settingsPath: the settings file read for the proxy of each transfer. slideshowFolder
    // gives the folder of tkSlide and tkView files, ending in "/" (the program's scratch
    // folder unless replaced).
    explicit FileTransfers(std::string settingsPath, QObject* parent = nullptr,
                           std::function<std::string()> slideshowFolder = {});
    // Running transfers are stopped; their temporary files are removed.
    ~FileTransfers() override;

    // Starts one transfer and returns at once; the outcome arrives through the step of its
    // kind. For tkSave target is a full file path; for tkSlide and tkView a bare file name in
    // the slideshow folder (created on demand). A path that a running transfer holds, a name
    // that is empty, "." or "..", a temporary that cannot be created or a proxy option that
    // cannot be followed refuses the start: GetFileErrorText is reported, lastRefusal() says
    // why in words, nothing is written, and false is returned.
    bool GetFile(const std::string& address, const std::string& target, TransferKind kind);
    // A tkSave transfer of address into target, holding path (the target's path, as the
    // caller names it) while it runs. Refuses and reports as GetFile does.
    bool SaveFile(const std::string& address, const std::string& path, SaveTarget target);
    const std::string& lastRefusal() const { return lastRefusal_; }

    // The OnRequestDone handler of every transfer; frees sender.
    void GetFileRequestDone(THttpCli* sender, THttpRequest rqType, int error);

    // The step after each finished transfer of that kind, failed ones included (check
    // outcome.failed). The viewer plugs into OnViewDone and OnSlideDone, the downloader into
    // OnSaveDone. A step may start further transfers.
    std::function<void(const TransferOutcome& outcome)> OnSlideDone;
    std::function<void(const TransferOutcome& outcome)> OnViewDone;
    std::function<void(const TransferOutcome& outcome)> OnSaveDone;
    // The picture bytes a running transfer holding path has received so far, after each block.
    std::function<void(const std::string& path, int64_t bytes)> OnProgress;
    // The User-Agent a transfer of address sends; unset or empty keeps the client's own.
    std::function<std::string(const std::string& address)> AgentFor;

    // The file a GetFile of target and kind would write.
    std::string targetPath(const std::string& target, TransferKind kind) const;
    // Stops the running transfer that writes path and removes its temporary; no step follows.
    // False when no running transfer writes it.
    bool cancel(const std::string& path);
    bool holds(const std::string& path) const;
    size_t running() const { return transfers_.size(); }
    // Transfers started from now on keep their connections there between requests.
    void setConnectionPool(std::shared_ptr<ConnectionPool> pool) { connections_ = std::move(pool); }
    // Replaces TransferIdleTimeout for transfers started from now on.
    void setIdleTimeout(std::chrono::milliseconds timeout) { idleTimeout_ = timeout; }

private:
    struct Transfer;
    std::shared_ptr<ConnectionPool> connections_;
    // The threads that flush complete pictures to the disk before they get their names.
    static constexpr int FlushThreads = 8;
    QThreadPool flushers_;
    using TransferMap = std::map<std::string, std::unique_ptr<Transfer>>;
    TransferMap::iterator findClient(const THttpCli* client);
    bool refuseOnFailure(const std::function<void()>& attempt);
    void start(const std::string& address, const std::string& path, SaveTarget target,
               TransferKind kind);
    void checkSpeed(Transfer& transfer);
    // Ends the transfer at it (committing its file unless reason says why it failed) and
    // runs the step of its kind.
    void complete(TransferMap::iterator it, std::string reason);
    void headerEnd(Transfer& transfer);
    void bodyBlock(Transfer& transfer, const char* data, int len);
    void stop(Transfer& transfer, const std::string& reason);

    TIniFile settings_;
    std::function<std::string()> slideshowFolder_;
    std::chrono::milliseconds idleTimeout_ = TransferIdleTimeout;
    std::string lastRefusal_;
    // Keyed by the file path: a path is held open by at most one transfer.
    TransferMap transfers_;
};

} // namespace lumi
