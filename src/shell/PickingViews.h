#pragma once
// The two views of the results, list and grid, as an image browser's: the arrows, the page
// keys, Home and End move the current cell and leave the picks alone (Shift still picks the
// range passed over); Space toggles the current cell's pick; a click picks one, Ctrl+click
// toggles, Shift+click picks a range. The current cell of the focused view is framed 2 px
// wide in the highlight colour. An empty view says how to fill it. Dragging a cell or row
// (a press on empty space draws a rubber band instead) carries what OnDrag gives.
#include <functional>

#include <QListView>
#include <QTreeView>

namespace lumi {

// How a key or mouse event changes the picks: what the stock extended selection does, except
// that moving without Shift changes nothing and Space toggles.
QItemSelectionModel::SelectionFlags pickCommand(const QEvent* event,
                                                QItemSelectionModel::SelectionFlags stock);
// What a view without rows says.
inline constexpr const char* EmptyViewHint = "Type a phrase and press Enter";

class ResultTree : public QTreeView {
public:
    explicit ResultTree(QWidget* parent);

    // What a drag of the picks carries (the caller's to delete; null: no drag).
    std::function<QMimeData*()> OnDrag;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;
    void paintEvent(QPaintEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void startDrag(Qt::DropActions actions) override;
};

class ResultCells : public QListView {
public:
    explicit ResultCells(QWidget* parent);

    std::function<QMimeData*()> OnDrag;

    // The smallest a cell may be; cells grow to share the width out with no band left over.
    void setCellSize(QSize cell);
    QSize cellSize() const { return cell_; }
    // Cells in a row, as laid out now.
    int columns() const;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;
    // Page Down and Page Up move by one screen less one row, and scroll as far.
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    // A wheel step scrolls a third of a row.
    void updateGeometries() override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void startDrag(Qt::DropActions actions) override;

private:
    void spread();

    QSize cell_;
};

} // namespace lumi
