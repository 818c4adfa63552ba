#include "shell/ResultGrid.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "analysis/SearchServices.h"
#include "base/AppPaths.h"
#include "base/IniFiles.h"
#include "base/SettingKeys.h"
#include "engine/ResultsModel.h"
#include "engine/SearchEngine.h"
#include "shell/GridCells.h"
#include "shell/GridThumbnails.h"
#include "shell/ResultList.h"

namespace lumi {

namespace {
// Scrolling and rows arriving are gathered for this long before thumbnails are asked for.
constexpr int AskDelayMs = 30;
} // namespace

ResultGrid::ResultGrid(ResultList& list, TIniFile& settings)
    : list_(list), settings_(settings),
      thumbnails_(
          std::make_unique<GridThumbnails>(settings.FileName(), thumbnailCacheFolder())) {
    auto* frameLayout = static_cast<QVBoxLayout*>(list.ListFrame->layout());
    auto* switchRow = new QHBoxLayout;
    switchRow->addStretch(1);
    ViewSwitch = new QPushButton(list.ListFrame);
    ViewSwitch->setToolTip(
        QStringLiteral("Switch between the list and the grid (Alt+G or Ctrl+G)"));
    switchRow->addWidget(ViewSwitch);
    frameLayout->insertLayout(0, switchRow);

    GridView = new QListView(list.ListFrame);
    GridView->setPalette(list.ListView1->palette());
    GridView->setAutoFillBackground(true);
    GridView->setViewMode(QListView::IconMode);
    GridView->setMovement(QListView::Static);
    GridView->setResizeMode(QListView::Adjust);
    GridView->setUniformItemSizes(true);
    GridView->setSpacing(4);
    GridView->setWrapping(true);
    GridView->setLayoutMode(QListView::Batched);
    GridView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    GridView->setSelectionBehavior(QAbstractItemView::SelectRows);
    GridView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GridView->setModel(list.sortedModel());
    // One selection for both views: the commands read it through the list.
    QItemSelectionModel* own = GridView->selectionModel();
    GridView->setSelectionModel(list.ListView1->selectionModel());
    delete own;
    const auto textOf = [this](const QModelIndex& index) {
        CellText text;
        const int row = list_.sortedModel()->mapToSource(index).row();
        if (!engine_ || row < 0 || static_cast<size_t>(row) >= engine_->FoundList.size())
            return text;
        const ResultsModel::Row& r = engine_->results().row(static_cast<size_t>(row));
        text.key = engine_->FoundList[static_cast<size_t>(row)];
        text.name = QString::fromLatin1(r.caption.data(), qsizetype(r.caption.size()));
        text.size = QString::fromLatin1(r.sizeText.data(), qsizetype(r.sizeText.size()));
        if (isArchiveService(r.source.service)) {
            text.origin = QString::fromStdString(serviceName(r.source.service));
            if (!r.source.licence.empty())
                text.origin += QStringLiteral(" \u00b7 ") + QString::fromStdString(r.source.licence);
        }
        return text;
    };
    GridView->setItemDelegate(new GridCells(*thumbnails_, textOf, GridView));
    frameLayout->addWidget(GridView);

    askTimer_ = new QTimer(this);
    askTimer_->setSingleShot(true);
    askTimer_->setInterval(AskDelayMs);
    connect(askTimer_, &QTimer::timeout, this, &ResultGrid::askVisible);
    const auto askSoon = [this] {
        if (!askTimer_->isActive()) askTimer_->start();
    };
    connect(GridView->verticalScrollBar(), &QScrollBar::valueChanged, this, askSoon);
    // The layout of cells arriving in batches ends with the scroll range growing.
    connect(GridView->verticalScrollBar(), &QScrollBar::rangeChanged, this, askSoon);
    QAbstractItemModel* sorted = list.sortedModel();
    connect(sorted, &QAbstractItemModel::rowsInserted, this, askSoon);
    connect(sorted, &QAbstractItemModel::layoutChanged, this, askSoon);
    connect(sorted, &QAbstractItemModel::modelReset, this, [this, askSoon] {
        thumbnails_->clear();
        askSoon();
    });
    thumbnails_->OnChanged = [this] { GridView->viewport()->update(); };
    connect(ViewSwitch, &QPushButton::clicked, this, &ResultGrid::toggle);
    GridView->viewport()->installEventFilter(this);
    GridView->installEventFilter(this);
    show(readSetting(settings_, setting::View) == "grid");
}

ResultGrid::~ResultGrid() = default;

void ResultGrid::attachEngine(SearchEngine* engine) {
    engine_ = engine;
    thumbnails_->fetches().AgentFor = [engine](const std::string& address) {
        return engine->pictureAgent(address);
    };
    connect(&engine->results(), &ResultsModel::repaintSuspended, GridView,
            [this](bool suspended) { GridView->setUpdatesEnabled(!suspended); });
}

bool ResultGrid::showingGrid() const {
    return !GridView->isHidden();
}

void ResultGrid::toggle() {
    const bool grid = !showingGrid();
    show(grid);
    settings_.WriteString(setting::View.section, setting::View.key, grid ? "grid" : "list");
}

void ResultGrid::show(bool grid) {
    // The current row follows into the view that takes over.
    QWidget* from = grid ? static_cast<QWidget*>(list_.ListView1) : GridView;
    QWidget* to = grid ? static_cast<QWidget*>(GridView) : list_.ListView1;
    const bool hadFocus = from->hasFocus();
    from->hide();
    to->show();
    if (hadFocus) to->setFocus();
    // Every letter of "List" is another button's Alt key, so the one key, Alt+G, serves both
    // captions; setting a caption resets the shortcut to its mnemonic.
    ViewSwitch->setText(grid ? QStringLiteral("List") : QStringLiteral("&Grid"));
    ViewSwitch->setShortcut(QKeySequence(Qt::ALT | Qt::Key_G));
    if (grid) {
        askTimer_->start();
    } else {
        // Nothing on screen wants a thumbnail now.
        thumbnails_->want({});
    }
}

void ResultGrid::askVisible() {
    if (!engine_ || !showingGrid()) return;
    const QRect screen = GridView->viewport()->rect();
    // One screen ahead, below what is shown.
    const QRect ahead = screen.adjusted(0, 0, 0, screen.height());
    QAbstractItemModel* sorted = list_.sortedModel();
    // Cells flow left to right, top to bottom: the first one reaching the screen is found
    // by halving, and the walk stops below the screen ahead. In the grid's order, so those
    // on screen come before those ahead.
    const auto cell = [&](int row) { return GridView->visualRect(sorted->index(row, 0)); };
    int first = 0;
    for (int last = sorted->rowCount(); first < last;) {
        const int middle = first + (last - first) / 2;
        // A cell not laid out yet (an empty place) counts as below.
        const QRect place = cell(middle);
        if (place.isValid() && place.bottom() < ahead.top())
            first = middle + 1;
        else
            last = middle;
    }
    std::vector<ThumbnailRequest> wanted;
    for (int row = first; row < sorted->rowCount(); ++row) {
        const QRect place = cell(row);
        if (!place.isValid() || place.top() > ahead.bottom()) break;
        const int found = list_.sortedModel()->mapToSource(sorted->index(row, 0)).row();
        if (found < 0 || static_cast<size_t>(found) >= engine_->FoundList.size()) continue;
        const std::string& address = engine_->FoundList[static_cast<size_t>(found)];
        wanted.push_back(
            {address, thumbnailSources(address, engine_->results().row(size_t(found)).source)});
    }
    thumbnails_->want(wanted);
}

bool ResultGrid::eventFilter(QObject* watched, QEvent* event) {
    if (watched == GridView->viewport()) {
        if (event->type() == QEvent::Resize) askTimer_->start();
        if (event->type() == QEvent::MouseButtonDblClick && list_.OnView) list_.OnView();
        return false;
    }
    if (event->type() != QEvent::KeyPress || watched != GridView) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        if (list_.OnView) list_.OnView();
        return true;
    }
    if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
        const QModelIndex current = GridView->currentIndex();
        if (current.isValid())
            GridView->selectionModel()->select(current, QItemSelectionModel::Toggle |
                                                            QItemSelectionModel::Rows);
        return true;
    }
    return false;
}

} // namespace lumi
