#pragma once
// The rows of the results list (ListView1): one per listed image, caption = file name,
// "Size:" = bytes or "UNKNOWN", "Source:" = the service or the site's host. Rows arrive one at a
// time and are shown in batches, so a view stays responsive while a search adds tens of thousands
// of them.
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

Q_SIGNALS:
    void repaintSuspended(bool suspended);

private:
    std::vector<Row> rows_;
    int published_ = 0; // rows the views know of
    QTimer publishTimer_;
};

} // namespace lumi
