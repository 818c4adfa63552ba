#pragma once
// What the row above the results says: how many pictures are picked and, where every size is
// known, how large they are together ("3 picked, 4.2 MB"); and after a download, how it ended
// ("12 saved to FOLDER") with an "Open folder" button (Ctrl+Shift+O), until the next search or
// download.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <QObject>
#include <QUrl>

class QHBoxLayout;
class QLabel;
class QPushButton;

namespace lumi {

class ResultList;
class SearchEngine;

// "N picked", with the size when every one is known (bytes: -1 for an unknown size).
QString pickedText(const std::vector<int64_t>& bytes);

class ResultStatus : public QObject {
public:
    // Places its labels at the left of row, inside the list's frame.
    ResultStatus(ResultList& list, QHBoxLayout& row);

    void attachEngine(SearchEngine* engine);
    // A download ended: saved pictures of those asked for went into folder.
    void downloadDone(size_t saved, size_t asked, const std::string& folder);
    // A new search or download: the last download's word goes.
    void forgetDownload();
    // Opens the folder of the last download in the desktop's file manager.
    void openFolder();

    // Opens an address with the desktop's handler.
    std::function<bool(const QUrl&)> Open;

    QLabel* Picks = nullptr;
    QLabel* Done = nullptr;
    QPushButton* OpenFolder = nullptr;

private:
    void showPicks();

    ResultList& list_;
    SearchEngine* engine_ = nullptr;
    std::string folder_;
};

} // namespace lumi
