#pragma once
// The results as a grid of thumbnails, beside the list in its frame: the same sorted rows and
// the same selection, so what is selected in one view is selected in the other and the
// commands act on it. A button above the views ("Grid" / "List") and Ctrl+G switch them; the
// choice is kept under [Window] View. Only the cells on screen and one screen ahead ask for
// their thumbnails.
#include <memory>
#include <string>

#include <QObject>

class QListView;
class QPushButton;
class QTimer;
class TIniFile;

namespace lumi {

class GridThumbnails;
class ResultList;
class SearchEngine;

class ResultGrid : public QObject {
public:
    // Builds the grid and the switch into list's frame; shows the view the settings name.
    ResultGrid(ResultList& list, TIniFile& settings);
    ~ResultGrid() override;

    // Shows engine's rows (the engine outlives the grid).
    void attachEngine(SearchEngine* engine);
    // Shows the other view and keeps the choice.
    void toggle();
    bool showingGrid() const;

    QListView* GridView = nullptr;
    QPushButton* ViewSwitch = nullptr;
    GridThumbnails& thumbnails() { return *thumbnails_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void show(bool grid);
    // Asks for the thumbnails of the cells on screen and one screen ahead.
    void askVisible();

    ResultList& list_;
    TIniFile& settings_;
    SearchEngine* engine_ = nullptr;
    std::unique_ptr<GridThumbnails> thumbnails_;
    QTimer* askTimer_ = nullptr;
};

} // namespace lumi
