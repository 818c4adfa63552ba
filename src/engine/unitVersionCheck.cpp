#include "engine/unitVersionCheck.h"

#include <QPointer>

#include "base/ConfiguredHosts.h"
#include "base/TextOps.h"
#include "engine/PageBuffer.h"
#include "engine/ProxyUse.h"

namespace {

// Cuts text before the first tab off line (with the tab); without a tab the field is empty.
std::string takeField(std::string& line) {
    const auto tab = line.find('\t');
    if (tab == std::string::npos) return {};
    std::string field = line.substr(0, tab);
    line.erase(0, tab + 1);
    return field;
}

constexpr int HttpOk = 200;

} // namespace

TCheckResult ParseVersionLine(const std::string& line) {
    std::string rest = line;
    TCheckResult result;
    result.ProductKey = takeField(rest);
    result.Version = takeField(rest);
    result.Notice = takeField(rest);
    result.DownloadURL = std::move(rest);
    return result;
}

namespace lumi {

std::string versionFileUrl() {
    return hostOrigin(makerHost()) + "/progver.txt";
}

std::string productName(const std::string& productKey) {
    return productKey.rfind('*', 0) == 0 ? productKey.substr(1) : productKey;
}

std::string productRegistryKey(const std::string& name) {
    return "Software\\Orbelle\\" + name;
}

std::string newVersionQuestion(const TCheckResult& line) {
    return "A new version (" + line.Version + ") of " + productName(line.ProductKey) +
           " has been released. \r\r" + line.Notice + "\r\rDownload it Now?\r" +
           textTrim(line.DownloadURL);
}

bool isWebAddress(const std::string& address) {
    const std::string lower = textLower(address);
    return lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0;
}

namespace {
std::string makerSiteHost() {
    return splitUrl(hostOrigin(makerHost())).host;
}
} // namespace

bool isMakerDownloadAddress(const std::string& address) {
    const std::string target = textTrim(address);
    return textLower(target).rfind("https://", 0) == 0 &&
           textSameAnyCase(splitUrl(target).host, makerSiteHost());
}

VersionCheck::VersionCheck(UserRegistry registry, QObject* parent)
    : QObject(parent), Registry(std::move(registry)) {}

VersionCheck::~VersionCheck() = default;

void VersionCheck::show(const char* message) {
    if (ShowMessage) ShowMessage(message);
}

void VersionCheck::finish(bool parsed) {
    if (OnFinished) OnFinished(parsed);
}

void VersionCheck::StartVersionCheck() {
    if (client_) return;
    try {
        questionsAsked_ = 0;
        stream_ = std::make_unique<CappedBuffer>(MaxVersionFileBytes);
        client_ = std::make_unique<THttpCli>();
        useProxy(*client_, Proxy);
        client_->URL = versionFileUrl();
        client_->RcvdStream = stream_.get();
        client_->OnRequestDone = [this](THttpCli* sender, THttpRequest rqType, int error) {
            VersionCheckDone(sender, rqType, error);
        };
        client_->StartGet();
    } catch (...) {
        client_.reset();
        stream_.reset();
        show("Error code: #CN001.");
        finish(false);
    }
}

void VersionCheck::VersionCheckDone(THttpCli* sender, THttpRequest, int error) {
    if (sender != client_.get()) return;
    // The client and the stream go when this handler ends, whatever happens on the way.
    const std::unique_ptr<THttpCli> client = std::move(client_);
    const std::unique_ptr<CappedBuffer> stream = std::move(stream_);
    // A proxy's, a portal's or a broken server's error page is no version file.
    const bool complete = error == 0 && client->StatusCode() == HttpOk;
    const QPointer<VersionCheck> alive(this);
    try {
        if (complete) {
            PageLines lines;
            SplitVersionLines(lines, *stream);
            for (const std::string& text : lines) {
                TCheckResult line;
                try {
                    line = ParseVersionLine(text);
                } catch (...) {
                    show("Error code: #CN007");
                    continue;
                }
                const VersionOutcome outcome = CheckProductVersion(line);
                // A question's nested event loop may have closed the window that owns us.
                if (!alive) return;
                if (OnChecked) OnChecked(line, outcome);
            }
        }
    } catch (...) {
        if (!alive) return;
        show("Error code: #CN003.");
    }
    if (alive) finish(complete);
}

void VersionCheck::SplitVersionLines(PageLines& lines, const CappedBuffer& stream) {
    try {
        std::string_view bytes = stream.bytes();
        // A file cut at the bound ends with a partial line, which must not be read as whole.
        if (stream.droppedBytes() > 0) {
            const auto lastEnd = bytes.find_last_of("\r\n");
            bytes = lastEnd == std::string_view::npos ? std::string_view()
                                                      : bytes.substr(0, lastEnd + 1);
        }
        appendTextLines(lines, bytes);
    } catch (...) {
        show("Error code: #CN004.");
    }
}

VersionOutcome VersionCheck::CheckProductVersion(const TCheckResult& line) {
    try {
        const std::string name = productName(line.ProductKey);
        const bool forced = name.size() != line.ProductKey.size(); // a leading "*"
        const std::string key = productRegistryKey(name);
        const std::string recorded = Registry.ReadString(key, "Version");
        if (recorded == line.Version && !forced) return VersionOutcome::Same;
        VersionOutcome outcome = VersionOutcome::Recorded;
        if (!recorded.empty() && !isMakerDownloadAddress(line.DownloadURL)) {
            // Anyone between here and the maker could have written the line.
            if (OnNote)
                OnNote("Version check: " + name + " " + line.Version +
                       " not offered, its download address is not https on " +
                       makerSiteHost() + ": " + line.DownloadURL);
            outcome = VersionOutcome::Ignored;
        } else if (!recorded.empty()) {
            if (questionsAsked_ >= MaxVersionQuestions) return VersionOutcome::Deferred;
            ++questionsAsked_;
            const QPointer<VersionCheck> alive(this);
            OfferNewVersion(line);
            if (!alive) return VersionOutcome::Offered;
            outcome = VersionOutcome::Offered;
        }
        Registry.WriteString(key, "Version", line.Version);
        return outcome;
    } catch (...) {
        show("Error code: #CN008");
        return VersionOutcome::Failed;
    }
}

void VersionCheck::OfferNewVersion(const TCheckResult& line) {
    try {
        if (AskYesNo && AskYesNo(newVersionQuestion(line))) OpenVersionPage(line.DownloadURL);
    } catch (...) {
        show("Error code: #CN005.");
    }
}

void VersionCheck::OpenVersionPage(const std::string& address) {
    try {
        // The address comes from the network: only a web page may be opened, never a local
        // file or another program's scheme.
        const std::string target = textTrim(address);
        if (!isWebAddress(target) || !OpenAddress || !OpenAddress(target))
            show("Error code: #CN006.");
    } catch (...) {
        show("Error code: #CN006.");
    }
}

} // namespace lumi
