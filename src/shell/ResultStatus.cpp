#include "shell/ResultStatus.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTreeView>

#include "base/AppPaths.h"
#include "engine/ResultsModel.h"
#include "engine/SearchEngine.h"
#include "shell/ResultList.h"

namespace lumi {

QString pickedText(const std::vector<int64_t>& bytes) {
    if (bytes.empty()) return {};
    int64_t total = 0;
    for (int64_t size : bytes) {
        if (size < 0) return QStringLiteral("%1 picked").arg(bytes.size());
        total += size;
    }
    return QStringLiteral("%1 picked, %2").arg(bytes.size()).arg(readableSize(total));
}

ResultStatus::ResultStatus(ResultList& list, QHBoxLayout& row) : list_(list) {
    QWidget* frame = list.ListFrame;
    QPalette white = frame->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    Picks = new QLabel(frame);
    Done = new QLabel(frame);
    for (QLabel* label : {Picks, Done}) {
        label->setPalette(white);
        label->setTextFormat(Qt::PlainText);
    }
    Done->setMinimumWidth(0);
    OpenFolder = new QPushButton(QStringLiteral("Open folder"), frame);
    OpenFolder->setToolTip(QStringLiteral("Open the folder the pictures were saved in (Ctrl+Shift+O)"));
    OpenFolder->hide();
    row.insertWidget(0, Picks);
    row.insertSpacing(1, 12);
    row.insertWidget(2, Done, 1);
    row.insertWidget(3, OpenFolder);
    connect(OpenFolder, &QPushButton::clicked, this, &ResultStatus::openFolder);
    QItemSelectionModel* picks = list.ListView1->selectionModel();
    connect(picks, &QItemSelectionModel::selectionChanged, this, &ResultStatus::showPicks);
    connect(list.sortedModel(), &QAbstractItemModel::modelReset, this, &ResultStatus::showPicks);
    connect(list.sortedModel(), &QAbstractItemModel::rowsRemoved, this, &ResultStatus::showPicks);
}

void ResultStatus::attachEngine(SearchEngine* engine) {
    engine_ = engine;
}

void ResultStatus::showPicks() {
    std::vector<int64_t> bytes;
    if (engine_)
        for (size_t row : list_.selectedRows())
            bytes.push_back(knownSize(engine_->results().row(row).sizeText));
    Picks->setText(pickedText(bytes));
}

void ResultStatus::downloadDone(size_t saved, size_t asked, const std::string& folder) {
    folder_ = folder;
    const QString where = QString::fromLocal8Bit(folder.c_str());
    QString text = saved == asked ? QStringLiteral("%1 saved to %2").arg(saved).arg(where)
                                  : QStringLiteral("%1 of %2 saved to %3").arg(saved).arg(asked).arg(where);
    Done->setText(Done->fontMetrics().elidedText(text, Qt::ElideMiddle, 420));
    Done->setToolTip(text);
    OpenFolder->setVisible(!folder.empty());
}

void ResultStatus::forgetDownload() {
    folder_.clear();
    Done->clear();
    Done->setToolTip({});
    OpenFolder->hide();
}

void ResultStatus::openFolder() {
    if (folder_.empty() || !Open) return;
    Open(QUrl::fromLocalFile(qtPath(folder_)));
}

} // namespace lumi
