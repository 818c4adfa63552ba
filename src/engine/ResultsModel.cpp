#include "engine/ResultsModel.h"

namespace lumi {

std::string sourceDescription(const PictureSource& source) {
    std::string text = std::string("Found by ") + serviceName(source.service);
    const auto add = [&text](const char* label, const std::string& value) {
        if (!value.empty()) text += std::string("\n") + label + value;
    };
    add("Title: ", source.title);
    add("Creator: ", source.creator);
    add("Licence: ", source.licence);
    add("Page: ", source.page);
    return text;
}

ResultsModel::ResultsModel(QObject* parent) : QAbstractTableModel(parent) {
    publishTimer_.setSingleShot(true);
    publishTimer_.setInterval(PublishDelayMs);
    connect(&publishTimer_, &QTimer::timeout, this, &ResultsModel::publishPendingRows);
}

void ResultsModel::appendRow(std::string caption, std::string sizeText, PictureSource source) {
    rows_.push_back({std::move(caption), std::move(sizeText), std::move(source)});
    if (!publishTimer_.isActive()) publishTimer_.start();
}

void ResultsModel::publishPendingRows() {
    publishTimer_.stop();
    const int total = static_cast<int>(rows_.size());
    if (total <= published_) return;
    beginInsertRows(QModelIndex(), published_, total - 1);
    published_ = total;
    endInsertRows();
}

void ResultsModel::clearRows() {
    if (rows_.empty()) return;
    const bool suspend = rows_.size() >= static_cast<size_t>(SuspendRepaintFromRows);
    if (suspend) Q_EMIT repaintSuspended(true);
    publishTimer_.stop();
    beginResetModel();
    rows_.clear();
    rows_.shrink_to_fit();
    published_ = 0;
    endResetModel();
    if (suspend) Q_EMIT repaintSuspended(false);
}

int ResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : published_;
}

int ResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= published_) return {};
    const Row& r = rows_[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole) {
        const std::string& text = index.column() == 0 ? r.caption : r.sizeText;
        return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    }
    if (role == Qt::TextAlignmentRole && index.column() == 1)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    if (role == Qt::ToolTipRole && r.source.service != ServiceId::None)
        return QString::fromStdString(sourceDescription(r.source));
    return {};
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::DisplayRole)
        return section == 0 ? QStringLiteral("Filename:") : QStringLiteral("Size:");
    if (role == Qt::TextAlignmentRole && section == 1)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    return {};
}

} // namespace lumi
