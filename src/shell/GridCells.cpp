#include "shell/GridCells.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include "shell/GridThumbnails.h"

namespace lumi {

namespace {
constexpr int CellMargin = 6;
constexpr int TextLines = 3;
constexpr int CheckDiameter = 20;

// A grey frame with a word in it, where no thumbnail is (yet).
void drawNote(QPainter& painter, const QRect& box, const QString& note, const QColor& ink) {
    painter.setPen(QPen(ink, 1, Qt::DashLine));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.setPen(ink);
    painter.drawText(box, Qt::AlignCenter | Qt::TextWordWrap, note);
}

// A torn page: a frame with a zigzag across it, and below it what broke.
void drawBroken(QPainter& painter, const QRect& box, const QColor& ink, const QString& note) {
    const QRect mark(box.center() - QPoint(16, 24), QSize(32, 32));
    painter.setPen(QPen(ink, 2));
    painter.drawRect(mark);
    const int y = mark.center().y();
    const QPoint zigzag[] = {{mark.left(), y},           {mark.left() + 8, y - 6},
                             {mark.left() + 16, y + 6},  {mark.left() + 24, y - 6},
                             {mark.right(), y}};
    painter.drawPolyline(zigzag, 5);
    painter.setPen(ink);
    painter.drawText(QRect(box.left(), mark.bottom() + 4, box.width(), box.bottom() - mark.bottom()),
                     Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, note);
}

// The pick's mark: a tick in a disc of the highlight colour, at the box's top right.
void drawCheck(QPainter& painter, const QRect& box, const QPalette& colours) {
    const QRectF disc(box.right() - CheckDiameter - 2, box.top() + 2, CheckDiameter, CheckDiameter);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colours.color(QPalette::HighlightedText), 1.5));
    painter.setBrush(colours.color(QPalette::Active, QPalette::Highlight));
    painter.drawEllipse(disc);
    QPainterPath tick;
    tick.moveTo(disc.left() + 0.25 * CheckDiameter, disc.top() + 0.52 * CheckDiameter);
    tick.lineTo(disc.left() + 0.43 * CheckDiameter, disc.top() + 0.70 * CheckDiameter);
    tick.lineTo(disc.left() + 0.76 * CheckDiameter, disc.top() + 0.32 * CheckDiameter);
    painter.setPen(QPen(colours.color(QPalette::HighlightedText), 2.2, Qt::SolidLine, Qt::RoundCap,
                        Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(tick);
    painter.setRenderHint(QPainter::Antialiasing, false);
}

// "Cut short" for a picture whose data end early, the reason's first words otherwise.
QString brokenNote(const std::string& reason) {
    return reason.find(PictureCutShort) != std::string::npos ? QStringLiteral("picture cut short")
                                                             : QStringLiteral("not shown");
}

} // namespace

QString cellStateNote(int state, const std::string& reason) {
    switch (static_cast<GridThumbnails::State>(state)) {
    case GridThumbnails::State::Large:
        return QStringLiteral(
            "Large picture: it is over the thumbnail limit (ThumbMaxKB) and came with no small "
            "picture of its own, so its thumbnail is loaded only when asked for: press Enter "
            "or choose \u201cLoad thumbnail\u201d.");
    case GridThumbnails::State::Broken:
        return QString::fromStdString(reason);
    default:
        return {};
    }
}

GridCells::GridCells(GridThumbnails& thumbnails,
                     std::function<CellText(const QModelIndex&)> textOf, QObject* parent)
    : QStyledItemDelegate(parent), thumbnails_(thumbnails), textOf_(std::move(textOf)) {}

QSize GridCells::cellSize(const QFontMetrics& metrics) const {
    const QSize box = thumbnails_.box();
    return {box.width() + 2 * CellMargin,
            box.height() + 3 * CellMargin + TextLines * metrics.height()};
}

QSize GridCells::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return cellSize(option.fontMetrics);
}

void GridCells::paint(QPainter* painter, const QStyleOptionViewItem& option,
                      const QModelIndex& index) const {
    painter->save();
    const bool picked = option.state & QStyle::State_Selected;
    const QPalette& colours = option.palette;
    const QColor highlight = colours.color(QPalette::Active, QPalette::Highlight);
    if (picked) {
        QColor tint = highlight;
        tint.setAlphaF(0.3f);
        painter->fillRect(option.rect.adjusted(2, 2, -2, -2), tint);
    }
    const QColor ink = colours.text().color();
    const QColor faint = colours.placeholderText().color();
    const CellText text = textOf_(index);
    const QSize thumb = thumbnails_.box();
    const QRect box(option.rect.left() + (option.rect.width() - thumb.width()) / 2,
                    option.rect.top() + CellMargin, thumb.width(), thumb.height());

    const QImage* image = nullptr;
    std::string reason;
    switch (thumbnails_.state(text.key, &image, &reason)) {
    case GridThumbnails::State::Ready: {
        // Kept at the screen's pixel ratio: drawn at its own size in logical pixels, a plain
        // copy; only a thumbnail made for another ratio (the window moved screens) is scaled.
        const QSize own = image->deviceIndependentSize().toSize();
        QRect placed(QPoint(), own.boundedTo(box.size()));
        placed.moveCenter(box.center());
        painter->setRenderHint(QPainter::SmoothPixmapTransform, placed.size() != own);
        painter->drawImage(placed, *image);
        break;
    }
    case GridThumbnails::State::Broken:
        drawBroken(*painter, box, faint, brokenNote(reason));
        break;
    case GridThumbnails::State::Large:
        drawNote(*painter, box, QStringLiteral("large picture"), faint);
        break;
    default:
        drawNote(*painter, box, QString(), faint);
        break;
    }
    if (picked) drawCheck(*painter, box, colours);

    const QFontMetrics& metrics = option.fontMetrics;
    QRect line(box.left(), box.bottom() + CellMargin, box.width(), metrics.height());
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
        painter->setPen(QPen(highlight, 2));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(QRectF(option.rect).adjusted(1, 1, -1, -1));
    }
    painter->restore();
}

bool GridCells::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                          const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const CellText text = textOf_(index);
    const QImage* image = nullptr;
    std::string reason;
    const QString note = cellStateNote(int(thumbnails_.state(text.key, &image, &reason)), reason);
    QToolTip::showText(event->globalPos(),
                       note.isEmpty() ? text.tip : text.tip + QStringLiteral("\n\n") + note, view);
    return true;
}

} // namespace lumi
