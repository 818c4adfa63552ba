#pragma once
// The rows of the results list (ListView1): one per listed image, caption = file name (shown
// with its escapes decoded), "Size:" = kB or MB (the bytes in the tooltip) or "UNKNOWN", "Source:" = the service or the site's host. Rows arrive one at a
// time and are shown in batches, so a view stays responsive while a search adds tens of thousands
// of them.
#include <cstdint>
#include <string>
#include <vector>

#include <QAbstractTableModel>
#include <QTimer>

#include "analysis/SearchServices.h"

namespace lumi {

// A row's tooltip: "Found by <services>" and, one a line, the title, creator, licence, size
// in pixels, provider and page it was found on, where known. UTF-8.
std::string sourceDescription(const PictureSource& source);
// What the "Source:" column says: the credited archive's name, or for the classic path the
// host (and port, when named) of the page the picture was found on (of the picture's own
// address when no page is known).
std::string sourceColumnText(const PictureSource& source, const std::string& address);
// The text with every line longer than width broken into pieces of at most width
// characters, after a "/" or a blank where one lies in a piece's second half.
std::string wrapLongLines(const std::string& text, size_t width);

// A size for people: "812 bytes", "57 kB", "3.4 MB" (1 kB = 1 000 bytes, as the desktop counts).
QString readableSize(int64_t bytes);
// A row's size in bytes, or -1 where the size is not known.
int64_t knownSize(const std::string& sizeText);
// A file name as people read it: percent escapes decoded (as UTF-8 where they form it).
QString unescapedName(const std::string& caption);
// A key that orders names naturally when compared as text: every run of digits is padded
// with zeros, so "-34" comes before "-304".
QString naturalSortKey(const QString& name);

class ResultsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Lists this long or longer have their view's repainting suspended while cleared.
    static constexpr int SuspendRepaintFromRows = 200;
    // Rows added within this time reach the views together.
    static constexpr int PublishDelayMs = 50;
    // Columns, and the role a sorting view orders them by (the size as a number, unknown
    // sizes first).
    enum Column { NameColumn, SizeColumn, SourceColumn, ColumnCount };
    static constexpr int SortRole = Qt::UserRole;
    // The row's text as found (the caption with its escapes, the size in bytes).
    static constexpr int ExactTextRole = Qt::UserRole + 1;
    // Tooltip lines are broken at this many characters.
    static constexpr size_t TooltipWidth = 72;

    struct Row {
        std::string caption;
        std::string sizeText;
        PictureSource source; // shown as the row's tooltip
        std::string sourceText;
    };

    explicit ResultsModel(QObject* parent = nullptr);

    // Every row added so far, shown or still waiting to be shown; row i <-> FoundList[i].
    size_t totalRows() const { return rows_.size(); }
    const Row& row(size_t i) const { return rows_.at(i); }

    void appendRow(std::string caption, std::string sizeText, PictureSource source = {},
                   std::string sourceText = {});
    // Adds what another service found of row i's picture to its source (mergeSource), and
    // tells the views when the row is shown. Gives the services the row did not name before.
    std::vector<ServiceId> mergeRowSource(size_t i, PictureSource source, bool commonsFile);
    // Removes every row; with SuspendRepaintFromRows rows or more it brackets the removal
    // with repaintSuspended(true) and repaintSuspended(false).
    void clearRows();
    // Shows the rows that wait for the next batch now.
    void publishPendingRows();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Rows can be dragged out (the views say what a drag carries).
    Qt::ItemFlags flags(const QModelIndex& index) const override;

Q_SIGNALS:
    void repaintSuspended(bool suspended);

private:
    std::vector<Row> rows_;
    std::vector<QString> sortKeys_; // the names' natural sort keys, made once a row
    int published_ = 0; // rows the views know of
    QTimer publishTimer_;
};

} // namespace lumi
