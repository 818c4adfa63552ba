#include "shell/ResultGrid.h"

#include <algorithm>

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QWheelEvent>
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
#include "engine/ServiceChoice.h"
#include "shell/GridThumbnails.h"
#include "shell/PickingViews.h"
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
    TopRow = new QHBoxLayout;
    TopRow->addStretch(1);
    ZoomSlider = new QSlider(Qt::Horizontal, list.ListFrame);
    ZoomSlider->setRange(SmallestThumb, LargestThumb);
    ZoomSlider->setSingleStep(ThumbStep / 2);
    ZoomSlider->setPageStep(ThumbStep);
    ZoomSlider->setFixedWidth(120);
    ZoomSlider->setToolTip(QStringLiteral(
        "Thumbnail size (Ctrl+plus, Ctrl+minus, Ctrl+wheel; Ctrl+0 for the usual size)"));
    TopRow->addWidget(ZoomSlider);
    ViewSwitch = new QPushButton(list.ListFrame);
    ViewSwitch->setToolTip(
        QStringLiteral("Switch between the list and the grid (Alt+G or Ctrl+G)"));
    TopRow->addWidget(ViewSwitch);
    frameLayout->insertLayout(0, TopRow);

    GridView = new ResultCells(list.ListFrame);
    GridView->setPalette(list.ListView1->palette());
    GridView->setAutoFillBackground(true);
    GridView->setViewMode(QListView::IconMode);
    GridView->setMovement(QListView::Static);
    GridView->setResizeMode(QListView::Adjust);
    GridView->setUniformItemSizes(true);
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
    cells_ = new GridCells(*thumbnails_, [this](const QModelIndex& index) { return textOf(index); },
                           GridView);
    GridView->setItemDelegate(cells_);
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
        archiveThumbnails_.clear();
        askSoon();
    });
    thumbnails_->OnChanged = [this] { GridView->viewport()->update(); };
    connect(ViewSwitch, &QPushButton::clicked, this, &ResultGrid::toggle);
    connect(ZoomSlider, &QSlider::valueChanged, this, &ResultGrid::setThumbSize);
    // A new order keeps the current cell in sight.
    connect(sorted, &QAbstractItemModel::layoutChanged, this, [this] {
        if (showingGrid()) GridView->scrollTo(GridView->currentIndex());
    });
    GridView->viewport()->installEventFilter(this);
    GridView->installEventFilter(this);
    setThumbSize(readSetting(settings_, setting::ThumbSize));
    show(readSetting(settings_, setting::View) == "grid");
}

CellText ResultGrid::textOf(const QModelIndex& index) const {
    CellText text;
    const int row = list_.sortedModel()->mapToSource(index).row();
    if (!engine_ || row < 0 || static_cast<size_t>(row) >= engine_->FoundList.size()) return text;
    const ResultsModel::Row& r = engine_->results().row(static_cast<size_t>(row));
    const std::string& address = engine_->FoundList[static_cast<size_t>(row)];
    text.key = address;
    text.name = unescapedName(r.caption);
    const int64_t bytes = knownSize(r.sizeText);
    text.size = bytes < 0 ? QString::fromLatin1(r.sizeText.data(), qsizetype(r.sizeText.size()))
                          : readableSize(bytes);
    QStringList tip{text.name};
    tip.push_back(bytes < 0 ? QStringLiteral("Size unknown")
                            : QStringLiteral("%1 (%2 bytes)").arg(text.size).arg(bytes));
    // Archives say the picture's pixels, which people pick pictures by as much as by bytes.
    if (r.source.width > 0 && r.source.height > 0) {
        const QString pixels =
            QStringLiteral("%1 × %2").arg(r.source.width).arg(r.source.height);
        text.size += QStringLiteral(" · ") + pixels;
        tip.push_back(pixels + QStringLiteral(" pixels"));
    }
    if (isArchiveService(r.source.service)) {
        text.origin = QString::fromStdString(serviceName(r.source.service));
        tip.push_back(QStringLiteral("From ") + text.origin);
        if (!r.source.licence.empty()) {
            const QString licence = QString::fromStdString(r.source.licence);
            text.origin += QStringLiteral(" \u00b7 ") + licence;
            tip.push_back(QStringLiteral("Licence: ") + licence);
        }
    } else {
        tip.push_back(QStringLiteral("Found on ") + QString::fromStdString(r.sourceText));
    }
    tip.push_back(QString::fromLatin1(address.data(), qsizetype(address.size())));
    text.tip = tip.join(QLatin1Char('\n'));
    return text;
}

int ResultGrid::thumbSize() const {
    return thumbnails_->box().width();
}

void ResultGrid::setThumbSize(int width) {
    width = std::clamp(width, SmallestThumb, LargestThumb);
    thumbnails_->setBox(width, GridView->devicePixelRatioF());
    GridView->setCellSize(cells_->cellSize(GridView->fontMetrics()));
    const QSignalBlocker quiet(ZoomSlider);
    ZoomSlider->setValue(width);
    if (readSetting(settings_, setting::ThumbSize) != width)
        settings_.WriteInteger(setting::ThumbSize.section, setting::ThumbSize.key, width);
    GridView->viewport()->update();
    askTimer_->start();
}

void ResultGrid::zoomIn() {
    setThumbSize(thumbSize() + ThumbStep);
}

void ResultGrid::zoomOut() {
    setThumbSize(thumbSize() - ThumbStep);
}

void ResultGrid::zoomReset() {
    setThumbSize(DefaultThumb);
}

QAbstractItemView* ResultGrid::shownView() const {
    return showingGrid() ? static_cast<QAbstractItemView*>(GridView) : list_.ListView1;
}

ResultGrid::~ResultGrid() = default;

void ResultGrid::attachEngine(SearchEngine* engine) {
    engine_ = engine;
    // A thumbnail an archive named is the archive's, asked for as every archive request is.
    thumbnails_->fetches().AgentFor = [this, engine](const std::string& address) {
        return archiveThumbnails_.count(address) ? archiveUserAgent()
                                                 : engine->pictureAgent(address);
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
        wanted.push_back(requestOf(size_t(found)));
    }
    thumbnails_->want(wanted);
}

ThumbnailRequest ResultGrid::requestOf(size_t row) {
    const std::string& address = engine_->FoundList[row];
    const PictureSource& source = engine_->results().row(row).source;
    if (isArchiveService(source.service) && !source.thumbnail.empty())
        archiveThumbnails_.insert(source.thumbnail);
    return {address, thumbnailSources(address, source)};
}

bool ResultGrid::eventFilter(QObject* watched, QEvent* event) {
    if (watched == GridView->viewport()) {
        if (event->type() == QEvent::Resize) askTimer_->start();
        if (event->type() == QEvent::Wheel &&
            static_cast<QWheelEvent*>(event)->modifiers() & Qt::ControlModifier) {
            const int turn = static_cast<QWheelEvent*>(event)->angleDelta().y();
            if (turn > 0) zoomIn();
            if (turn < 0) zoomOut();
            return true;
        }
        if (event->type() == QEvent::MouseButtonDblClick && list_.OnView) list_.OnView();
        return false;
    }
    if (event->type() != QEvent::KeyPress || watched != GridView) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        if (list_.OnView) list_.OnView();
        return true;
    }
    return false;
}

} // namespace lumi
