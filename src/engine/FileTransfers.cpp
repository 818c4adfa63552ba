#include "engine/FileTransfers.h"

#include <stdexcept>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "analysis/UrlUtils.h"
#include "base/AppPaths.h"
#include "base/ErrorReport.h"
#include "base/ProxySetting.h"

namespace lumi {

namespace {

QString localPath(const std::string& path) {
    return QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size()));
}

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

} // namespace

bool transferFailed(int statusCode, int error, int64_t contentLength, int64_t rcvdCount) {
    if (error != 0 || statusCode < 200 || statusCode > 299) return true;
    return contentLength >= 0 && rcvdCount < contentLength;
}

std::string transferFailureReason(const THttpCli& client, int error) {
    if (error != 0)
        return client.ReasonPhrase().empty() ? "error " + std::to_string(error)
                                             : client.ReasonPhrase();
    if (client.StatusCode() < 200 || client.StatusCode() > 299) return lastStatusLine(client);
    return "body ended after " + std::to_string(client.RcvdCount()) + " of " +
           std::to_string(client.ContentLength()) + " bytes";
}

// So that two spellings of a path cannot both hold it.
std::string normalFilePath(const std::string& path) {
    return QDir::cleanPath(QFileInfo(localPath(path)).absoluteFilePath())
        .toLocal8Bit()
        .toStdString();
}

bool plainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('\0') == std::string::npos;
}

FileTransfers::FileTransfers(std::string settingsPath, QObject* parent,
                             std::function<std::string()> slideshowFolder)
    : QObject(parent), settings_(std::move(settingsPath)),
      slideshowFolder_(slideshowFolder ? std::move(slideshowFolder) : &lumi::slideshowFolder) {}

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

bool FileTransfers::GetFile(const std::string& address, const std::string& target,
                            TransferKind kind) {
    return catchAll(GetFileErrorText, [&] {
        // A bare name for the scratch folder must not climb out of it.
        if (kind != tkSave && target.find('/') != std::string::npos)
            throw std::invalid_argument("not a bare file name");
        if (kind != tkSave) QDir().mkdir(localPath(slideshowFolder_()));
        start(address, targetPath(target, kind), kind);
    });
}

void FileTransfers::start(const std::string& address, const std::string& path, TransferKind kind) {
    // An empty, "." or ".." name would write onto the folder itself or its parent.
    if (!plainFileName(lastComponent(path))) throw std::invalid_argument("no file name");
    const std::string key = normalFilePath(path);
    // The file system lets a second writer open the file; the rule that a file being written
    // is held exclusively is kept here.
    if (transfers_.count(key)) throw std::runtime_error("file held by a running transfer");

    Transfer transfer;
    transfer.file = std::make_unique<QFile>(localPath(key));
    if (!transfer.file->open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot create the file");
    // A start that fails from here on leaves neither a client nor a file behind.
    try {
        const ProxySetting proxy = proxyFromSettings(settings_);
        transfer.client = std::make_unique<THttpCli>();
        transfer.client->Proxy = proxy.host;
        transfer.client->ProxyPort = proxy.port;
        transfer.client->URL = address;
        transfer.client->Tag = kind;
        transfer.client->RcvdStream = transfer.file.get();
        transfer.client->OnRequestDone = [this](THttpCli* sender, THttpRequest rqType, int error) {
            GetFileRequestDone(sender, rqType, error);
        };
        transfer.client->StartGet();
    } catch (...) {
        transfer.client.reset();
        transfer.file->remove();
        throw;
    }
    transfers_.emplace(key, std::move(transfer));
}

FileTransfers::TransferMap::iterator FileTransfers::findClient(const THttpCli* client) {
    for (auto it = transfers_.begin(); it != transfers_.end(); ++it)
        if (it->second.client.get() == client) return it;
    return transfers_.end();
}

void FileTransfers::GetFileRequestDone(THttpCli* sender, THttpRequest, int error) {
    catchAll(RequestDoneErrorText, [&] {
        const auto it = findClient(sender);
        if (it == transfers_.end()) return;
        TransferOutcome outcome;
        outcome.path = it->first;
        Transfer transfer = std::move(it->second);
        transfers_.erase(it);

        const THttpCli& client = *transfer.client;
        outcome.kind = static_cast<TransferKind>(client.Tag);
        outcome.address = client.URL;
        outcome.name = ExtractFileNameFromURL(client.URL);
        outcome.bytes = client.RcvdCount();
        outcome.failed =
            transferFailed(client.StatusCode(), error, client.ContentLength(), client.RcvdCount());
        if (outcome.failed) outcome.reason = transferFailureReason(client, error);
        // A write that the disk refused spoils the file as much as a broken transfer.
        transfer.file->close();
        if (!outcome.failed && transfer.file->error() != QFileDevice::NoError) {
            outcome.failed = true;
            outcome.reason = "cannot write " + outcome.path + ": " +
                             transfer.file->errorString().toLocal8Bit().toStdString();
        }
        // What did not arrive whole must not stay behind under a picture's name.
        if (outcome.failed) transfer.file->remove();
        transfer.file.reset();
        transfer.client.reset();

        const auto& step = outcome.kind == tkSave   ? OnSaveDone
                           : outcome.kind == tkView ? OnViewDone
                                                    : OnSlideDone;
        if (step) step(outcome);
    });
}

bool FileTransfers::cancel(const std::string& path) {
    const auto it = transfers_.find(normalFilePath(path));
    if (it == transfers_.end()) return false;
    Transfer transfer = std::move(it->second);
    transfers_.erase(it);
    // Destroying the client stops it without any further event.
    transfer.client.reset();
    transfer.file->remove();
    return true;
}

} // namespace lumi
