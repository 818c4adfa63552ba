#include "shell/ResultList.h"

#include <algorithm>

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QSortFilterProxyModel>
#include <QTreeView>
#include <QVBoxLayout>

#include "engine/ResultsModel.h"
#include "engine/SearchEngine.h"
#include "shell/PanelArt.h"
#include "shell/PickingViews.h"

namespace lumi {

namespace {
// The black strips around the list.
constexpr int ListStrip = 5;
} // namespace

void styleResultColumns(QTreeView& list) {
    QHeaderView& header = *list.header();
    // The name takes the room the others leave; the size fits its figures; the source can be
    // widened by hand.
    header.setSectionResizeMode(ResultsModel::NameColumn, QHeaderView::Stretch);
    header.setSectionResizeMode(ResultsModel::SizeColumn, QHeaderView::ResizeToContents);
    header.setSectionResizeMode(ResultsModel::SourceColumn, QHeaderView::Interactive);
    header.resizeSection(ResultsModel::SourceColumn, 160);
    header.setMinimumSectionSize(60);
}

ResultList::ResultList(QWidget* parent) {
    ListFrame = blackPanel(parent);
    auto* frameLayout = new QVBoxLayout(ListFrame);
    frameLayout->setContentsMargins(ListStrip, ListStrip, ListStrip, ListStrip);
    ListView1 = new ResultTree(ListFrame);
    // The list keeps the desktop's own colours rather than the black of its frame.
    QPalette desktop = QApplication::palette(ListView1);
    desktop.setResolveMask(~QPalette::ResolveMask(0));
    ListView1->setPalette(desktop);
    ListView1->setAutoFillBackground(true);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->header()->setStretchLastSection(false);
    ListView1->header()->setSectionsMovable(false);
    // The view shows the rows through a sorting layer: a click on a column header sorts by
    // it, another reverses, and rows that arrive later take their places in that order.
    // Until the first click the rows stand in the order they were found.
    sorted_ = new QSortFilterProxyModel(ListView1);
    sorted_->setSortRole(ResultsModel::SortRole);
    sorted_->setSortCaseSensitivity(Qt::CaseInsensitive);
    sorted_->setSourceModel(new ResultsModel(ListView1));
    ListView1->setModel(sorted_);
    ListView1->header()->setSortIndicator(-1, Qt::AscendingOrder);
    ListView1->setSortingEnabled(true);
    styleResultColumns(*ListView1);
    frameLayout->addWidget(ListView1);
    const auto selectionChanged = [this] {
        if (OnSelectionChanged) OnSelectionChanged();
    };
    connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            selectionChanged);
    connect(ListView1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            selectionChanged);
    connect(sorted_, &QAbstractItemModel::modelReset, this, selectionChanged);
    // A new order keeps the current row in sight.
    connect(sorted_, &QAbstractItemModel::layoutChanged, this, [this] {
        if (ListView1->isVisible()) ListView1->scrollTo(ListView1->currentIndex());
    });
    ListView1->viewport()->installEventFilter(this);
    ListView1->installEventFilter(this);
}

void ResultList::attachEngine(SearchEngine* engine) {
    engine_ = engine;
    sorted_->setSourceModel(&engine->results());
    styleResultColumns(*ListView1);
    QObject::connect(&engine->results(), &ResultsModel::repaintSuspended, ListView1,
                     [this](bool suspended) { ListView1->setUpdatesEnabled(!suspended); });
}

std::vector<size_t> ResultList::selectedRows() const {
    std::vector<size_t> rows;
    const size_t listed = engine_ ? engine_->FoundList.size() : 0;
    for (const QModelIndex& index : ListView1->selectionModel()->selectedRows()) {
        const int row = sorted_->mapToSource(index).row();
        if (row >= 0 && static_cast<size_t>(row) < listed) rows.push_back(static_cast<size_t>(row));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::vector<size_t> ResultList::targetRows() const {
    std::vector<size_t> rows;
    const size_t listed = engine_ ? engine_->FoundList.size() : 0;
    QModelIndexList picked = ListView1->selectionModel()->selectedRows();
    if (picked.isEmpty() && ListView1->currentIndex().isValid())
        picked.push_back(ListView1->currentIndex());
    std::sort(picked.begin(), picked.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& index : picked) {
        const int row = sorted_->mapToSource(index).row();
        if (row >= 0 && static_cast<size_t>(row) < listed) rows.push_back(static_cast<size_t>(row));
    }
    return rows;
}

int ResultList::currentRow() const {
    const int row = sorted_->mapToSource(ListView1->currentIndex()).row();
    return engine_ && row >= 0 && static_cast<size_t>(row) < engine_->FoundList.size() ? row : -1;
}

std::vector<size_t> ResultList::rowsInViewOrder() const {
    std::vector<size_t> rows;
    rows.reserve(size_t(sorted_->rowCount()));
    for (int i = 0; i < sorted_->rowCount(); ++i)
        rows.push_back(size_t(sorted_->mapToSource(sorted_->index(i, 0)).row()));
    return rows;
}

void ResultList::setCurrentRow(size_t row) {
    const QModelIndex index = sorted_->mapFromSource(sorted_->sourceModel()->index(int(row), 0));
    if (index.isValid())
        ListView1->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

bool ResultList::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick && watched == ListView1->viewport()) {
        if (OnView) OnView();
        return false;
    }
    if (event->type() != QEvent::KeyPress || watched != ListView1) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
    if (OnView) OnView();
    return true;
}

} // namespace lumi
