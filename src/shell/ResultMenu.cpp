#include "shell/ResultMenu.h"

#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

namespace lumi {

QMimeData* addressesData(const std::vector<std::string>& addresses) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    QStringList lines;
    for (const std::string& address : addresses) {
        const QString text = QString::fromLatin1(address.data(), qsizetype(address.size()));
        urls.push_back(QUrl(text));
        lines.push_back(text);
    }
    data->setUrls(urls);
    data->setText(lines.join(QLatin1Char('\n')));
    return data;
}

QMimeData* pictureData(const QImage& picture, const std::string& address) {
    QMimeData* data = addressesData({address});
    data->setImageData(picture);
    return data;
}

ResultMenu::ResultMenu(std::vector<QAbstractItemView*> views, Actions actions, QObject* parent)
    : QObject(parent), views_(std::move(views)), actions_(std::move(actions)) {
    for (QAbstractItemView* view : views_) {
        view->setContextMenuPolicy(Qt::DefaultContextMenu);
        view->installEventFilter(this);
        view->viewport()->installEventFilter(this);
    }
}

QMenu* ResultMenu::build(QWidget* parent) {
    delete last_.data();
    last_ = new QMenu(parent);
    const auto add = [this](const char* caption, const std::function<void()>& run,
                            QKeySequence keys = {}) {
        QAction* action = last_->addAction(QString::fromLatin1(caption));
        action->setShortcut(keys);
        QObject::connect(action, &QAction::triggered, last_, [run] {
            if (run) run();
        });
        return action;
    };
    add("&View", actions_.view, QKeySequence(Qt::Key_Return));
    add("&Download", actions_.download, QKeySequence(Qt::CTRL | Qt::Key_S));
    add("Visit &page", actions_.visitPage, QKeySequence(Qt::CTRL | Qt::Key_B));
    add("Open picture in &browser", actions_.openPicture);
    last_->addSeparator();
    add("&Copy address", actions_.copyAddresses, QKeySequence(Qt::CTRL | Qt::Key_C));
    add("Copy p&icture", actions_.copyPicture, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    if (actions_.loadThumbnail) {
        if (std::function<void()> load = actions_.loadThumbnail()) {
            last_->addSeparator();
            add("&Load thumbnail", load);
        }
    }
    last_->addSeparator();
    QMenu* sort = last_->addMenu(QStringLiteral("&Sort by"));
    const char* const columns[] = {"&Name", "Si&ze", "S&ource"};
    for (int column = 0; column < 3; ++column)
        QObject::connect(sort->addAction(QString::fromLatin1(columns[column])), &QAction::triggered,
                         last_, [this, column] {
                             if (actions_.sortBy) actions_.sortBy(column);
                         });
    return last_;
}

void ResultMenu::popUp(QAbstractItemView& view, QPoint at) {
    QMenu* menu = build(&view);
    menu->popup(at);
    // Whatever the menu did, the focus goes back to the cell it was opened on.
    QObject::connect(menu, &QMenu::aboutToHide, &view, [&view] { view.setFocus(); });
}

bool ResultMenu::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ContextMenu) return false;
    QAbstractItemView* view = nullptr;
    for (QAbstractItemView* candidate : views_)
        if (watched == candidate || watched == candidate->viewport()) view = candidate;
    if (!view) return false;
    const auto atCurrent = [view] {
        const QRect cell = view->visualRect(view->currentIndex());
        return view->viewport()->mapToGlobal(cell.isValid() ? cell.center() : QPoint(8, 8));
    };
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F10 || key->modifiers() != Qt::ShiftModifier) return false;
        popUp(*view, atCurrent());
        return true;
    }
    if (event->type() != QEvent::ContextMenu) return false;
    const auto* menu = static_cast<QContextMenuEvent*>(event);
    popUp(*view, menu->reason() == QContextMenuEvent::Mouse ? menu->globalPos() : atCurrent());
    return true;
}

} // namespace lumi
