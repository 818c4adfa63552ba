#include "shell/ResultList.h"

#include <algorithm>

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

#include "engine/SearchEngine.h"
#include "shell/PanelArt.h"

namespace lumi {

namespace {
// The black strips around the list.
constexpr int ListStrip = 5;
} // namespace

void styleResultColumns(QTreeView& list) {
    if (QAbstractItemModel* model = list.model()) {
        model->setHeaderData(0, Qt::Horizontal, QStringLiteral("Filename:"));
        model->setHeaderData(1, Qt::Horizontal, QStringLiteral("Size:"));
        model->setHeaderData(1, Qt::Horizontal, int(Qt::AlignRight | Qt::AlignVCenter),
                             Qt::TextAlignmentRole);
    }
    list.header()->resizeSection(0, 300);
    list.header()->resizeSection(1, 80);
}

ResultList::ResultList(QWidget* parent) {
    ListFrame = blackPanel(parent);
    auto* frameLayout = new QVBoxLayout(ListFrame);
    frameLayout->setContentsMargins(ListStrip, ListStrip, ListStrip, ListStrip);
    ListView1 = new QTreeView(ListFrame);
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
    ListView1->setModel(new QStandardItemModel(0, 2, ListView1));
    styleResultColumns(*ListView1);
    frameLayout->addWidget(ListView1);
    ListView1->viewport()->installEventFilter(this);
    ListView1->installEventFilter(this);
}

void ResultList::attachEngine(SearchEngine* engine) {
    engine_ = engine;
    ListView1->setModel(&engine->results());
    styleResultColumns(*ListView1);
    QObject::connect(&engine->results(), &ResultsModel::repaintSuspended, ListView1,
                     [this](bool suspended) { ListView1->setUpdatesEnabled(!suspended); });
}

std::vector<size_t> ResultList::selectedRows() const {
    std::vector<size_t> rows;
    const size_t listed = engine_ ? engine_->FoundList.size() : 0;
    for (const QModelIndex& index : ListView1->selectionModel()->selectedRows())
        if (static_cast<size_t>(index.row()) < listed)
            rows.push_back(static_cast<size_t>(index.row()));
    std::sort(rows.begin(), rows.end());
    return rows;
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
