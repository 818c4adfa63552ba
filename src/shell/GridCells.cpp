#include "shell/GridCells.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include "shell/GridThumbnails.h"

namespace lumi {

namespace {
constexpr int CellMargin = 6;
constexpr int TextLines = 3;

// A grey frame with a word in it, where no thumbnail is (yet).
void drawNote(QPainter& painter, const QRect& box, const QString& note, const QColor& ink) {
    painter.setPen(QPen(ink, 1, Qt::DashLine));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.setPen(ink);
    painter.drawText(box, Qt::AlignCenter | Qt::TextWordWrap, note);
}

// A torn page: a frame with a zigzag across it.
void drawBroken(QPainter& painter, const QRect& box, const QColor& ink) {
    const QRect mark(box.center() - QPoint(16, 16), QSize(32, 32));
    painter.setPen(QPen(ink, 2));
    painter.drawRect(mark);
    const int y = mark.center().y();
    const QPoint zigzag[] = {{mark.left(), y},           {mark.left() + 8, y - 6},
                             {mark.left() + 16, y + 6},  {mark.left() + 24, y - 6},
                             {mark.right(), y}};
    painter.drawPolyline(zigzag, 5);
}
} // namespace

GridCells::GridCells(GridThumbnails& thumbnails,
                     std::function<CellText(const QModelIndex&)> textOf, QObject* parent)
    : QStyledItemDelegate(parent), thumbnails_(thumbnails), textOf_(std::move(textOf)) {}

QSize GridCells::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return {ThumbWidth + 2 * CellMargin,
            ThumbHeight + 3 * CellMargin + TextLines * option.fontMetrics.height()};
}

void GridCells::paint(QPainter* painter, const QStyleOptionViewItem& option,
                      const QModelIndex& index) const {
    painter->save();
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette& colours = option.palette;
    if (selected) painter->fillRect(option.rect, colours.highlight());
    const QColor ink = selected ? colours.highlightedText().color() : colours.text().color();
    const QColor faint = selected ? ink : colours.placeholderText().color();
    const CellText text = textOf_(index);
    const QRect box(option.rect.left() + CellMargin, option.rect.top() + CellMargin, ThumbWidth,
                    ThumbHeight);

    const QImage* image = nullptr;
    std::string reason;
    switch (thumbnails_.state(text.key, &image, &reason)) {
    case GridThumbnails::State::Ready: {
        QRect placed(QPoint(), image->size());
        placed.moveCenter(box.center());
        painter->drawImage(placed, *image);
        break;
    }
    case GridThumbnails::State::Broken:
        drawBroken(*painter, box, faint);
        break;
    case GridThumbnails::State::Large:
        drawNote(*painter, box, QStringLiteral("large picture"), faint);
        break;
    default:
        drawNote(*painter, box, QString(), faint);
        break;
    }

    const QFontMetrics& metrics = option.fontMetrics;
    QRect line(option.rect.left() + CellMargin, box.bottom() + CellMargin, ThumbWidth,
               metrics.height());
    const auto say = [&](const QString& words, Qt::TextElideMode elide, const QColor& colour) {
        painter->setPen(colour);
        painter->drawText(line, Qt::AlignHCenter | Qt::AlignVCenter,
                          metrics.elidedText(words, elide, line.width()));
        line.translate(0, metrics.height());
    };
    say(text.name, Qt::ElideMiddle, ink);
    say(text.size, Qt::ElideRight, faint);
    if (!text.origin.isEmpty()) say(text.origin, Qt::ElideRight, faint);
    if (option.state & QStyle::State_HasFocus) {
        painter->setPen(QPen(ink, 1, Qt::DotLine));
        painter->drawRect(option.rect.adjusted(1, 1, -2, -2));
    }
    painter->restore();
}

bool GridCells::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                          const QStyleOptionViewItem& option, const QModelIndex& index) {
    const QImage* image = nullptr;
    std::string reason;
    if (event->type() == QEvent::ToolTip && index.isValid() &&
        thumbnails_.state(textOf_(index).key, &image, &reason) == GridThumbnails::State::Broken) {
        QToolTip::showText(event->globalPos(), QString::fromStdString(reason), view);
        return true;
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

} // namespace lumi
