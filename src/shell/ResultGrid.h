#pragma once
// The results as a grid of thumbnails, beside the list in its frame: the same sorted rows and
// the same picks, so what is picked in one view is picked in the other and the commands act
// on it. A button above the views ("Grid" / "List") and Ctrl+G switch them; the
// choice is kept under [Window] View. The thumbnail size (96 to 320) follows a slider beside
// the switch, Ctrl+plus, Ctrl+minus, Ctrl+wheel and Ctrl+0, and is kept under
// [Window] ThumbSize. Only the cells on screen and one screen ahead ask for their thumbnails.
#include <memory>
#include <string>
#include <unordered_set>

#include <QObject>

#include "engine/ThumbnailFetches.h"
#include "shell/GridCells.h"

class QAbstractItemView;
class QHBoxLayout;
class QPushButton;
class QSlider;
class QTimer;
class TIniFile;

namespace lumi {

class GridThumbnails;
class ResultCells;
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

    // The thumbnail size, in logical pixels of the box's width.
    int thumbSize() const;
    void setThumbSize(int width);
    void zoomIn();
    void zoomOut();
    void zoomReset();
    // The view that shows now.
    QAbstractItemView* shownView() const;

    ResultCells* GridView = nullptr;
    QPushButton* ViewSwitch = nullptr;
    QSlider* ZoomSlider = nullptr;
    // The row above the views, left of the zoom slider and the switch, for what they say.
    QHBoxLayout* TopRow = nullptr;
    GridThumbnails& thumbnails() { return *thumbnails_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void show(bool grid);
    // Asks for the thumbnails of the cells on screen and one screen ahead.
    void askVisible();
    // The thumbnail request of a row of the engine's results.
    ThumbnailRequest requestOf(size_t row);
    CellText textOf(const QModelIndex& index) const;

    ResultList& list_;
    TIniFile& settings_;
    SearchEngine* engine_ = nullptr;
    std::unique_ptr<GridThumbnails> thumbnails_;
    QTimer* askTimer_ = nullptr;
    GridCells* cells_ = nullptr;
    // The thumbnail addresses archives gave: asked for with the program's own User-Agent.
    std::unordered_set<std::string> archiveThumbnails_;
};

} // namespace lumi
