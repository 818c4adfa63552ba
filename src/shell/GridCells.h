#pragma once
// How a cell of the results grid is drawn: the thumbnail (or a placeholder, the "large
// picture" note or a broken mark) fitted into its box, the file name elided in the middle,
// the size, and for archive rows the service and the licence. A broken cell's tooltip gives
// the reason.
#include <functional>
#include <string>

#include <QStyledItemDelegate>

namespace lumi {

class GridThumbnails;

// What a cell shows besides its thumbnail, for a row of the sorted model.
struct CellText {
    std::string key; // the picture's address, which the thumbnails are kept under
    QString name;
    QString size;
    QString origin; // "Openverse · CC BY 4.0"; empty for classic rows
};

class GridCells : public QStyledItemDelegate {
public:
    GridCells(GridThumbnails& thumbnails, std::function<CellText(const QModelIndex&)> textOf,
              QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

private:
    GridThumbnails& thumbnails_;
    std::function<CellText(const QModelIndex&)> textOf_;
};

} // namespace lumi
