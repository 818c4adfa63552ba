#pragma once
// The context menu of the results, on a cell of the grid or a row of the list (right click,
// Shift+F10 or the Menu key): View, Download, Visit page, Open picture in browser, Copy address,
// Copy picture, Load thumbnail (for a cell that waits to be asked) and Sort by. It also gives
// the clipboard and a drag what the picks are: their addresses, one a line, as text and as a
// list of addresses.
#include <functional>
#include <string>
#include <vector>

#include <QObject>
#include <QMenu>
#include <QPointer>

class QAbstractItemView;
class QImage;

class QMimeData;

namespace lumi {

// The addresses as a drag or the clipboard carries them: text/uri-list and text, one a line.
QMimeData* addressesData(const std::vector<std::string>& addresses);
// A picture with its address, for the clipboard.
QMimeData* pictureData(const QImage& picture, const std::string& address);

class ResultMenu : public QObject {
public:
    struct Actions {
        std::function<void()> view, download, visitPage, openPicture, copyAddresses, copyPicture;
        // Present while the cell under the menu waits to be asked for its thumbnail.
        std::function<std::function<void()>()> loadThumbnail;
        // Sorts the views by a column (ascending, then descending on the same column again).
        std::function<void(int column)> sortBy;
    };

    // Opens the menu over either view.
    ResultMenu(std::vector<QAbstractItemView*> views, Actions actions, QObject* parent);

    // The menu as it is offered now, for the point at (global) position.
    void popUp(QAbstractItemView& view, QPoint at);
    // The last menu shown (null before any), for tests.
    QMenu* lastMenu() const { return last_.data(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QMenu* build(QWidget* parent);

    std::vector<QAbstractItemView*> views_;
    Actions actions_;
    QPointer<QMenu> last_;
};

} // namespace lumi
