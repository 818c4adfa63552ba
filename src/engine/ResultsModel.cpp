#include "engine/ResultsModel.h"

#include <algorithm>

#include <QUrl>

#include "analysis/UrlUtils.h"
#include "engine/PictureMerge.h"

namespace lumi {

std::string sourceDescription(const PictureSource& source) {
    std::string text = "Found by ";
    const std::vector<ServiceId> finders = findersOf(source);
    for (size_t i = 0; i < finders.size(); ++i)
        text += std::string(i == 0 ? "" : i + 1 == finders.size() ? " and " : ", ") +
                serviceName(finders[i]);
    const auto add = [&text](const char* label, const std::string& value) {
        if (!value.empty()) text += std::string("\n") + label + value;
    };
    add("Title: ", source.title);
    add("Creator: ", source.creator);
    add("Licence: ", source.licence);
    if (source.width > 0 && source.height > 0)
        add("Size: ", std::to_string(source.width) + " x " + std::to_string(source.height) +
                          " pixels");
    add("Provider: ", source.provider.empty() || source.collection.empty() ||
                              source.provider == source.collection
                          ? source.provider + source.collection
                          : source.provider + " (" + source.collection + ")");
    add("Page: ", source.page);
    return text;
}

std::string sourceColumnText(const PictureSource& source, const std::string& address) {
    if (isArchiveService(source.service)) return serviceName(source.service);
    return SiteOfURL(source.page.empty() ? address : source.page);
}

std::string wrapLongLines(const std::string& text, size_t width) {
    std::string wrapped;
    size_t column = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            column = 0;
        } else if (column == width) {
            // Break after the last "/" or blank in the second half of the line, else here.
            const size_t lineStart = wrapped.size() - column;
            const size_t cut = wrapped.find_last_of("/ ", wrapped.size() - 1);
            if (cut != std::string::npos && cut >= lineStart + width / 2 &&
                cut + 1 < wrapped.size()) {
                wrapped.insert(cut + 1, 1, '\n');
                column = wrapped.size() - cut - 2;
            } else {
                wrapped += '\n';
                column = 0;
            }
        }
        wrapped += text[i];
        if (text[i] != '\n') ++column;
    }
    return wrapped;
}

QString readableSize(int64_t bytes) {
    if (bytes < 1000) return QStringLiteral("%1 bytes").arg(bytes);
    if (bytes < 999500) return QStringLiteral("%1 kB").arg((bytes + 500) / 1000);
    return QStringLiteral("%1 MB").arg(double(bytes) / 1e6, 0, 'f', 1);
}

int64_t knownSize(const std::string& sizeText) {
    // Digits only, at most ten of them (a size under the 32-bit limit); else unknown.
    const bool known = !sizeText.empty() && sizeText.size() <= 10 &&
                       sizeText.find_first_not_of("0123456789") == std::string::npos;
    return known ? std::stoll(sizeText) : -1;
}

QString unescapedName(const std::string& caption) {
    return QUrl::fromPercentEncoding(QByteArray(caption.data(), qsizetype(caption.size())));
}

QString naturalSortKey(const QString& name) {
    constexpr int DigitsWidth = 20;
    QString key;
    key.reserve(name.size() + 8);
    for (qsizetype i = 0; i < name.size();) {
        if (!name[i].isDigit()) {
            key += name[i++];
            continue;
        }
        qsizetype end = i;
        while (end < name.size() && name[end].isDigit()) ++end;
        // Leading zeros do not count; a run too long to pad stays as it is.
        qsizetype start = i;
        while (start + 1 < end && name[start] == QLatin1Char('0')) ++start;
        if (end - start < DigitsWidth) key += QString(DigitsWidth - (end - start), QLatin1Char('0'));
        key += name.mid(start, end - start);
        i = end;
    }
    return key;
}

ResultsModel::ResultsModel(QObject* parent) : QAbstractTableModel(parent) {
    publishTimer_.setSingleShot(true);
    publishTimer_.setInterval(PublishDelayMs);
    connect(&publishTimer_, &QTimer::timeout, this, &ResultsModel::publishPendingRows);
}

void ResultsModel::appendRow(std::string caption, std::string sizeText, PictureSource source,
                             std::string sourceText) {
    rows_.push_back(
        {std::move(caption), std::move(sizeText), std::move(source), std::move(sourceText)});
    sortKeys_.push_back(naturalSortKey(unescapedName(rows_.back().caption)));
    if (!publishTimer_.isActive()) publishTimer_.start();
}

std::vector<ServiceId> ResultsModel::mergeRowSource(size_t i, PictureSource source,
                                                    bool commonsFile) {
    if (i >= rows_.size()) return {};
    Row& r = rows_[i];
    const std::vector<ServiceId> before = findersOf(r.source);
    std::vector<ServiceId> added;
    for (const ServiceId s : findersOf(source))
        if (std::find(before.begin(), before.end(), s) == before.end()) added.push_back(s);
    mergeSource(r.source, std::move(source), commonsFile);
    if (isArchiveService(r.source.service)) r.sourceText = serviceName(r.source.service);
    if (static_cast<int>(i) < published_)
        Q_EMIT dataChanged(index(static_cast<int>(i), 0),
                           index(static_cast<int>(i), ColumnCount - 1));
    return added;
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
    sortKeys_.clear();
    sortKeys_.shrink_to_fit();
    published_ = 0;
    endResetModel();
    if (suspend) Q_EMIT repaintSuspended(false);
}

int ResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : published_;
}

int ResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= published_) return {};
    const Row& r = rows_[static_cast<size_t>(index.row())];
    const auto text = [](const std::string& bytes) {
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    };
    if (role == SortRole && index.column() == SizeColumn) return qlonglong(knownSize(r.sizeText));
    if (role == ExactTextRole && index.column() != SourceColumn)
        return text(index.column() == NameColumn ? r.caption : r.sizeText);
    if (role == Qt::DisplayRole || role == SortRole) {
        switch (index.column()) {
        case NameColumn:
            return role == SortRole ? sortKeys_[size_t(index.row())] : unescapedName(r.caption);
        case SizeColumn: {
            const int64_t bytes = knownSize(r.sizeText);
            return bytes < 0 ? text(r.sizeText) : readableSize(bytes);
        }
        default:
            return QString::fromStdString(r.sourceText);
        }
    }
    if (role == Qt::TextAlignmentRole && index.column() == SizeColumn)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    if (role == Qt::ToolTipRole && index.column() == SizeColumn && knownSize(r.sizeText) >= 0)
        return QStringLiteral("%1 bytes").arg(text(r.sizeText));
    if (role == Qt::ToolTipRole && r.source.service != ServiceId::None)
        return QString::fromStdString(wrapLongLines(sourceDescription(r.source), TooltipWidth));
    return {};
}

Qt::ItemFlags ResultsModel::flags(const QModelIndex& index) const {
    return QAbstractTableModel::flags(index) | (index.isValid() ? Qt::ItemIsDragEnabled : Qt::NoItemFlags);
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::DisplayRole) {
        switch (section) {
        case NameColumn:
            return QStringLiteral("Filename:");
        case SizeColumn:
            return QStringLiteral("Size:");
        default:
            return QStringLiteral("Source:");
        }
    }
    if (role == Qt::TextAlignmentRole && section == SizeColumn)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    return {};
}

} // namespace lumi
