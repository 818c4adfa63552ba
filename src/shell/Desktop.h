#pragma once
// What the main window's parts use to reach the user and the desktop: a message box, a Yes/No
// question and the desktop's handler for addresses. Tests replace the three hooks.
#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>

#include <QString>
#include <QUrl>

class QWidget;

namespace lumi {

// Longest address CallBrowser hands to the desktop; a longer one is refused, never cut.
inline constexpr size_t BrowserTargetLimit = 1024;

// The mail link that recommends the program (no recipient, nothing percent-encoded).
std::string tellAFriendLink();

// Moves dialog so that it opens centred over owner, inside the free area of owner's screen.
void centreOverOwner(QWidget& dialog, const QWidget& owner);

// Thrown when the desktop started no program for an address.
struct DesktopRefused : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// What ShowUnopened says by default.
QString unopenedMessage(const QString& address);

// Opens an address with the desktop's handler; true when it was handed over.
using BrowserOpener = std::function<bool(const QUrl& url)>;
// Asks a Yes/No question; true for Yes.
using YesNoQuestion = std::function<bool(const QString& question)>;

class Desktop {
public:
    // owner: the window the boxes open over.
    explicit Desktop(QWidget* owner);

    BrowserOpener OpenBrowser;
    YesNoQuestion AskYesNo;
    // Shows a message with an OK button.
    std::function<void(const QString& message)> ShowMessage;
    // Says that no program could be started for address, and offers to copy it.
    std::function<void(const QString& address)> ShowUnopened;

    // Hands an http address or a mailto link to the desktop's handler; when the desktop
    // starts no program for it, ShowUnopened names it.
    void CallBrowser(const std::string& target);
    // Hands target to OpenBrowser; raises when it is too long, no address, or not opened.
    void openInBrowser(const std::string& target);
};

} // namespace lumi
