#include "shell/PickingViews.h"

#include <algorithm>

#include <QApplication>
#include <QDrag>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

namespace lumi {

namespace {

bool movesCurrent(int key) {
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        return true;
    default:
        return false;
    }
}

void frameCurrent(QPainter& painter, const QRect& place, const QPalette& colours) {
    painter.save();
    painter.setPen(QPen(colours.color(QPalette::Active, QPalette::Highlight), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(place).adjusted(1, 1, -1, -1));
    painter.restore();
}

void sayWhenEmpty(QAbstractItemView& view) {
    if (view.model() && view.model()->rowCount(view.rootIndex()) > 0) return;
    QPainter painter(view.viewport());
    painter.setPen(view.palette().color(QPalette::PlaceholderText));
    painter.drawText(view.viewport()->rect(), Qt::AlignCenter | Qt::TextWordWrap,
                     QString::fromLatin1(EmptyViewHint));
}

void dragOut(QAbstractItemView& view, const std::function<QMimeData*()>& data) {
    QMimeData* carried = data ? data() : nullptr;
    if (!carried) return;
    auto* drag = new QDrag(&view);
    drag->setMimeData(carried);
    drag->exec(Qt::CopyAction | Qt::LinkAction, Qt::CopyAction);
}

// A press on a cell starts a drag; a press on empty space a rubber band.
void allowDrag(QAbstractItemView& view) {
    view.setDragEnabled(true);
    view.setDragDropMode(QAbstractItemView::DragOnly);
}

} // namespace

ResultTree::ResultTree(QWidget* parent) : QTreeView(parent) {
    allowDrag(*this);
}

void ResultTree::startDrag(Qt::DropActions) {
    dragOut(*this, OnDrag);
}

ResultCells::ResultCells(QWidget* parent) : QListView(parent) {
    allowDrag(*this);
}

void ResultCells::startDrag(Qt::DropActions) {
    dragOut(*this, OnDrag);
}

QItemSelectionModel::SelectionFlags pickCommand(const QEvent* event,
                                                QItemSelectionModel::SelectionFlags stock) {
    if (!event || event->type() != QEvent::KeyPress) return stock;
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (key->key() == Qt::Key_Space && !(key->modifiers() & Qt::ShiftModifier))
        return QItemSelectionModel::Toggle | QItemSelectionModel::Rows;
    if (movesCurrent(key->key()) && !(key->modifiers() & Qt::ShiftModifier))
        return QItemSelectionModel::NoUpdate;
    return stock;
}

QItemSelectionModel::SelectionFlags ResultTree::selectionCommand(const QModelIndex& index,
                                                                 const QEvent* event) const {
    return pickCommand(event, QTreeView::selectionCommand(index, event));
}

void ResultTree::paintEvent(QPaintEvent* event) {
    QTreeView::paintEvent(event);
    sayWhenEmpty(*this);
}

void ResultTree::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
    QTreeView::drawRow(painter, option, index);
    if (hasFocus() && index.row() == currentIndex().row())
        frameCurrent(*painter, QRect(0, option.rect.top(), viewport()->width(), option.rect.height()),
                     palette());
}

void ResultCells::setCellSize(QSize cell) {
    if (cell == cell_) return;
    cell_ = cell;
    spread();
}

int ResultCells::columns() const {
    return gridSize().width() > 0 ? std::max(1, viewport()->width() / gridSize().width()) : 1;
}

void ResultCells::spread() {
    if (cell_.isEmpty()) return;
    const int width = viewport()->width();
    const int columns = std::max(1, width / cell_.width());
    const QSize grid(std::max(cell_.width(), width / columns), cell_.height());
    if (grid != gridSize()) setGridSize(grid);
}

void ResultCells::resizeEvent(QResizeEvent* event) {
    QListView::resizeEvent(event);
    spread();
}

void ResultCells::paintEvent(QPaintEvent* event) {
    QListView::paintEvent(event);
    sayWhenEmpty(*this);
}

QItemSelectionModel::SelectionFlags ResultCells::selectionCommand(const QModelIndex& index,
                                                                  const QEvent* event) const {
    return pickCommand(event, QListView::selectionCommand(index, event));
}

QModelIndex ResultCells::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    const bool down = action == MovePageDown;
    const int row = gridSize().height();
    if ((!down && action != MovePageUp) || row <= 0 || !model())
        return QListView::moveCursor(action, modifiers);
    const int rows = std::max(1, (viewport()->height() - row) / row);
    const int count = model()->rowCount(rootIndex());
    if (count == 0) return {};
    const int from = std::max(0, currentIndex().row());
    const int to = std::clamp(from + (down ? 1 : -1) * rows * columns(), 0, count - 1);
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->value() + (down ? 1 : -1) * rows * row);
    return model()->index(to, 0, rootIndex());
}

void ResultCells::updateGeometries() {
    QListView::updateGeometries();
    const int row = gridSize().height();
    if (row <= 0) return;
    verticalScrollBar()->setSingleStep(std::max(1, row / (3 * QApplication::wheelScrollLines())));
    verticalScrollBar()->setPageStep(std::max(row, viewport()->height() - row));
}

} // namespace lumi
