#pragma once
// The version check: at start the program fetches the maker's version file and, for each
// product line whose version differs from the one recorded in the user's registry, offers
// to open the download page; then it records the new version. The questions, the desktop
// and the message boxes are reached through hooks, so the window program and the
// command-line tool run the same check.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <QObject>

#include "analysis/PageRouting.h"
#include "base/ProxySetting.h"
#include "base/UserRegistry.h"
#include "net/HttpProt.h"

// One line of the version file.
struct TCheckResult {
    std::string ProductKey; // a leading "*" forces the question
    std::string Version;
    std::string Notice;
    std::string DownloadURL;
};

// Splits one line at its first three tabs; a missing tab leaves its field empty and the
// rest of the line goes to DownloadURL.
TCheckResult ParseVersionLine(const std::string& line);

namespace lumi {

class CappedBuffer;

// Most bytes of the version file kept; a longer file is read up to its last whole line.
inline constexpr int64_t MaxVersionFileBytes = 64 * 1024;
// Most questions asked in one start; further products that would ask keep their recorded
// version, so they ask at a later start.
inline constexpr int MaxVersionQuestions = 3;

// hostOrigin(makerHost()) + "/progver.txt": "http://" + the host unless it names https.
std::string versionFileUrl();
// The product's name: its key without the leading "*" of a forced line.
std::string productName(const std::string& productKey);
// The registry key of a product: "Software\Orbelle\" + name.
std::string productRegistryKey(const std::string& name);
// "A new version (V) of NAME has been released. " CR CR NOTICE CR CR "Download it Now?" CR
// and the download address as it will be opened.
std::string newVersionQuestion(const TCheckResult& line);
// True for an http or https address (letter case ignored): the only ones opened.
bool isWebAddress(const std::string& address);
// True for an https address on the host of the maker's site (letter case ignored): the only
// download addresses offered, whoever else may have answered for the version file.
bool isMakerDownloadAddress(const std::string& address);

// Ignored: a new version whose download address is not the maker's; recorded, not offered.
enum class VersionOutcome { Same, Recorded, Offered, Ignored, Deferred, Failed };

// One check per start: the client and its in-memory stream live from StartVersionCheck to
// the end of VersionCheckDone; destroying the check drops a request still under way.
class VersionCheck : public QObject {
    Q_OBJECT
public:
    explicit VersionCheck(UserRegistry registry, QObject* parent = nullptr);
    ~VersionCheck() override;

    UserRegistry Registry;
    // The proxy of the options, as every other request uses it; set before the start.
    ProxySetting Proxy;
    // The information box with Yes and No; CR in the text starts a new line. True for Yes.
    std::function<bool(const std::string& question)> AskYesNo;
    // Hands an address to the desktop's handler; false when it was not opened.
    std::function<bool(const std::string& address)> OpenAddress;
    // A message box with an OK button for the "Error code: #CN00x" texts.
    std::function<void(const std::string& message)> ShowMessage;
    // A line for the diagnostics: a download address ignored (optional).
    std::function<void(const std::string& line)> OnNote;
    // After each line is checked (optional).
    std::function<void(const TCheckResult& line, VersionOutcome outcome)> OnChecked;
    // After the answer was handled or the start failed; parsed is false when no version
    // file arrived (optional).
    std::function<void(bool parsed)> OnFinished;

    // Starts the GET of the version file through Proxy and returns at once.
    void StartVersionCheck();
    bool Running() const { return client_ != nullptr; }

    void VersionCheckDone(THttpCli* sender, THttpRequest rqType, int error);
    void SplitVersionLines(PageLines& lines, const CappedBuffer& stream);
    VersionOutcome CheckProductVersion(const TCheckResult& line);
    void OfferNewVersion(const TCheckResult& line);
    void OpenVersionPage(const std::string& address);

private:
    void show(const char* message);
    void finish(bool parsed);

    std::unique_ptr<THttpCli> client_;
    std::unique_ptr<CappedBuffer> stream_;
    int questionsAsked_ = 0;
};

} // namespace lumi
