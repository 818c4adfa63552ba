#include "shell/Desktop.h"

#include <stdexcept>

#include <QDesktopServices>
#include <QMessageBox>

#include "base/ConfiguredHosts.h"
#include "base/ErrorReport.h"
#include "base/Latin1.h"

namespace lumi {

std::string tellAFriendLink() {
    return "mailto:?subject=Check out Lumisift!&body=The easiest way to find images on the net. "
           "It's freeware! You can download it from " +
           makerHomePage();
}

Desktop::Desktop(QWidget* owner) {
    OpenBrowser = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    AskYesNo = [owner](const QString& question) {
        return QMessageBox::question(owner, QStringLiteral("Lumisift"), question,
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    ShowMessage = [owner](const QString& message) {
        QMessageBox::information(owner, QStringLiteral("Lumisift"), message);
    };
}

void Desktop::openInBrowser(const std::string& target) {
    if (target.size() > BrowserTargetLimit)
        throw std::length_error("address longer than the browser buffer");
    const QUrl url(latin1(target), QUrl::TolerantMode);
    if (!url.isValid()) throw std::invalid_argument("not an address");
    if (!OpenBrowser || !OpenBrowser(url)) throw std::runtime_error("the desktop did not open it");
}

void Desktop::CallBrowser(const std::string& target) {
    catchAll("error code : #0037 (CallBrowser)", [&] { openInBrowser(target); });
}

} // namespace lumi
