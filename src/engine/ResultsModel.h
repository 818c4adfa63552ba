#pragma once
// The rows of the results list (ListView1): one per listed image, caption = file name,
// "Size:" = bytes or "UNKNOWN". Rows arrive one at a time and are shown in batches, so a
// view stays responsive while a search adds tens of thousands of them.
#include <string>
#include <vector>

#include <QAbstractTableModel>
#include <QTimer>

#include "analysis/SearchServices.h"

namespace lumi {

// A row's tooltip: "Found by <service>" and, one a line, the title, creator, licence and
// page it was found on, where known. UTF-8.
std::string sourceDescription(const PictureSource& source);

class ResultsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Lists this long or longer have their view's repainting suspended while cleared.
    static constexpr int SuspendRepaintFromRows = 200;
    // Rows added within this time reach the views together.
    static constexpr int PublishDelayMs = 50;

    struct Row {
        std::string caption;
        std::string sizeText;
        PictureSource source; // shown as the row's tooltip
    };

    explicit ResultsModel(QObject* parent = nullptr);

    // Every row added so far, shown or still waiting to be shown; row i <-> FoundList[i].
    size_t totalRows() const { return rows_.size(); }
    const Row& row(size_t i) const { return rows_.at(i); }

    void appendRow(std::string caption, std::string sizeText, PictureSource source = {});
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
