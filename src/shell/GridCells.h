#pragma once
// How a cell of the results grid is drawn: the thumbnail (or a placeholder, the "large
// picture" note or a broken mark) fitted into its box, the file name elided in the middle,
// the size, and for archive rows the service and the licence. A picked cell is tinted with the
// highlight and carries a check mark; the current cell of the focused grid is framed 2 px wide
// in the highlight colour. The tooltip says what the picture is and what the cell shows.
#include <functional>
#include <string>

#include <QStyledItemDelegate>

namespace lumi {

class GridThumbnails;

// What a cell shows besides its thumbnail, for a row of the sorted model.
struct CellText {
    std::string key; // the picture's address, which the thumbnails are kept under
    QString name;    // escapes decoded
    QString size;    // "57 kB"
    QString origin;  // "Openverse · CC BY 4.0"; empty for classic rows
    QString tip;     // the full name, the size in bytes, the service, the licence, the address
};

// The thumbnail sizes the grid offers (the box's width; its height is three quarters).
inline constexpr int SmallestThumb = 96;
inline constexpr int LargestThumb = 320;
inline constexpr int DefaultThumb = 160;
inline constexpr int ThumbStep = 32;

// What a cell's tooltip adds to text.tip for the state the cell is in.
QString cellStateNote(int state, const std::string& reason);

class GridCells : public QStyledItemDelegate {
public:
    GridCells(GridThumbnails& thumbnails, std::function<CellText(const QModelIndex&)> textOf,
              QObject* parent);

    // The smallest cell for the thumbnail size and the view's font.
    QSize cellSize(const QFontMetrics& metrics) const;

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
