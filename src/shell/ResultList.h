#pragma once
// The main window's result list: the found pictures' names, sizes and sources in a black
// frame, sorted by the column the user clicked, the rows the user selected, and the double
// click that views one.
#include <cstddef>
#include <functional>
#include <vector>

#include <QObject>

class QFrame;
class QSortFilterProxyModel;
class QTreeView;
class QWidget;

namespace lumi {

class SearchEngine;

// Gives the result list's columns their widths: the name stretches, the size fits.
void styleResultColumns(QTreeView& list);

class ResultList : public QObject {
public:
    // Builds the list in its frame (ListFrame) inside parent, over an empty two-column model.
    explicit ResultList(QWidget* parent);

    // Shows engine's results from now on (the engine outlives the list).
    void attachEngine(SearchEngine* engine);

    // The picked result rows (rows of the engine's results, whatever the sort), ascending.
    std::vector<size_t> selectedRows() const;
    // What the commands act on: the picks, in the order the views show them, or the current
    // row when nothing is picked.
    std::vector<size_t> targetRows() const;
    // The current row (a row of the engine's results), or -1.
    int currentRow() const;
    // Every row (of the engine's results) in the order the views show them.
    std::vector<size_t> rowsInViewOrder() const;
    // Makes row (of the engine's results) the current one of both views, picks untouched.
    void setCurrentRow(size_t row);
    // The rows in the order the list shows them; the grid shows the same.
    QSortFilterProxyModel* sortedModel() const { return sorted_; }

    // A double click anywhere in the list, on a row or not, or Enter in the list.
    std::function<void()> OnView;
    // The picks or the current row changed, or the rows they held went.
    std::function<void()> OnSelectionChanged;

    QFrame* ListFrame = nullptr;
    QTreeView* ListView1 = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    SearchEngine* engine_ = nullptr;
    QSortFilterProxyModel* sorted_ = nullptr;
};

} // namespace lumi
