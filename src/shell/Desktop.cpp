#include "shell/Desktop.h"

#include <stdexcept>

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

#include "base/ConfiguredHosts.h"
#include "base/ErrorReport.h"
#include "base/Latin1.h"
#include "base/WindowPlacement.h"

namespace lumi {

std::string tellAFriendLink() {
    return "mailto:?subject=Check out Lumisift!&body=The easiest way to find images on the net. "
           "It's freeware! You can download it from " +
           makerHomePage();
}

void centreOverOwner(QWidget& dialog, const QWidget& owner) {
    const QSize size = dialog.testAttribute(Qt::WA_Resized) ? dialog.size() : dialog.sizeHint();
    const QScreen* screen = owner.screen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    dialog.move(centredOver(owner.frameGeometry(), size, area).topLeft());
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
    ShowUnopened = [owner](const QString& address) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Lumisift"), unopenedMessage(address),
                        QMessageBox::Close, owner);
        box.setTextFormat(Qt::PlainText);
        QPushButton* copy = box.addButton(QStringLiteral("&Copy"), QMessageBox::ActionRole);
        box.exec();
        if (box.clickedButton() == copy) QGuiApplication::clipboard()->setText(address);
    };
}

QString unopenedMessage(const QString& address) {
    return QStringLiteral("No web browser or mail program could be started for this address:\n") +
           address;
}

void Desktop::openInBrowser(const std::string& target) {
    if (target.size() > BrowserTargetLimit)
        throw std::length_error("address longer than the browser buffer");
    const QUrl url(latin1(target), QUrl::TolerantMode);
    if (!url.isValid()) throw std::invalid_argument("not an address");
    if (!OpenBrowser || !OpenBrowser(url)) throw DesktopRefused("the desktop did not open it");
}

void Desktop::CallBrowser(const std::string& target) {
    bool refused = false;
    catchAll("error code : #0037 (CallBrowser)", [&] {
        try {
            openInBrowser(target);
        } catch (const DesktopRefused&) {
            refused = true;
            throw;
        }
    });
    if (refused && ShowUnopened) ShowUnopened(latin1(target));
}

} // namespace lumi
