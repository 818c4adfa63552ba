#include "widgets/DirTree.h"

#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QSocketNotifier>
#include <QTimer>

#include "base/ErrorReport.h"

namespace {

// How long the window waits for one reading of a folder or of the mounts.
constexpr std::chrono::milliseconds FolderReadLimit(1000);

constexpr int PathRole = Qt::UserRole;
constexpr int LoadedRole = Qt::UserRole + 1;

QString shown(const std::string& name) {
    return QFile::decodeName(QByteArray::fromStdString(name));
}

void addPlaceholder(QTreeWidgetItem* node) {
    new QTreeWidgetItem(node);
}

// A folder's icon, with the open variant for the selected node.
QIcon folderIcon() {
    const QIcon base = QFileIconProvider().icon(QAbstractFileIconProvider::Folder);
    QIcon icon;
    icon.addPixmap(base.pixmap(16, QIcon::Normal, QIcon::Off), QIcon::Normal);
    icon.addPixmap(base.pixmap(16, QIcon::Normal, QIcon::On), QIcon::Selected);
    return icon;
}

QIcon driveIcon(TDriveType type) {
    return QFileIconProvider().icon(type == drtRemote ? QAbstractFileIconProvider::Network
                                                      : QAbstractFileIconProvider::Drive);
}

// The wait cursor for as long as it lives.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

TDirTree::TDirTree(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setSortingEnabled(false);
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* node) {
        lumi::runUnderDefaultHandler([&] { loadChildren(node); });
    });
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* node) {
        lumi::runUnderDefaultHandler([&] { selectionChanged(node); });
    });
    // The kernel marks this file when a file system is mounted or unmounted.
    mountsFd_ = ::open("/proc/self/mounts", O_RDONLY | O_CLOEXEC);
    if (mountsFd_ >= 0) {
        mountWatch_ = new QSocketNotifier(mountsFd_, QSocketNotifier::Exception, this);
        connect(mountWatch_, &QSocketNotifier::activated, this,
                [this] { lumi::runUnderDefaultHandler([&] { refreshDrives(); }); });
    }
}

TDirTree::~TDirTree() {
    delete mountWatch_;
    if (mountsFd_ >= 0) ::close(mountsFd_);
}

std::string TDirTree::NodePath(const QTreeWidgetItem* node) {
    return node ? node->data(0, PathRole).toByteArray().toStdString() : std::string();
}

void TDirTree::Loaded() {
    if (!ReadOnStart) return;
    ReadDrives();
    const std::string current = QFile::encodeName(QDir::currentPath()).toStdString();
    const std::string initial = InitialDirectory.empty() ? current : InitialDirectory;
    SelectPath(resolve(initial) ? initial : current);
}

std::string TDirTree::Directory() const {
    const QTreeWidgetItem* node = currentItem();
    return node ? NodePath(node) : "?";
}

void TDirTree::SelectPath(const std::string& path) {
    if (path.empty()) throw std::invalid_argument("Invalid Path Name");
    if (path == "?") return;
    WaitCursor waiting;
    std::optional<std::string> target = resolve(path);
    if (!target) {
        const std::string current = QFile::encodeName(QDir::currentPath()).toStdString();
        QTreeWidgetItem* drive = driveNodeFor(lumi::withTrailingSlash(current));
        if (!drive) return;
        target = NodePath(drive);
    }
    QTreeWidgetItem* node = driveNodeFor(*target);
    if (!node) return;
    // Down from the drive one component at a time, reading each level on the way.
    while (NodePath(node) != *target) {
        loadChildren(node);
        const std::string here = NodePath(node);
        const size_t end = target->find('/', here.size());
        const std::string next = target->substr(0, end + 1);
        QTreeWidgetItem* child = nullptr;
        for (int i = 0; i < node->childCount() && !child; ++i)
            if (NodePath(node->child(i)) == next) child = node->child(i);
        if (!child) break;
        node = child;
    }
    setCurrentItem(node);
    scrollToItem(node);
}

bool TDirTree::selectExisting(const std::string& path) {
    if (path.empty() || path == "?") return false;
    SelectPath(path);
    return Directory() == lumi::withTrailingSlash(path);
}

void TDirTree::Reload() {
    const std::string remembered = Directory();
    ReadDrives();
    if (selectExisting(remembered)) return;
    if (QTreeWidgetItem* drive = driveNodeFor(remembered); drive && selectExisting(NodePath(drive)))
        return;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* drive = topLevelItem(i);
        if (drive->childCount() == 0) continue;
        const std::string last = drives_[NodePath(drive)].lastPath;
        if (!selectExisting(last)) setCurrentItem(drive);
        return;
    }
}

void TDirTree::ReadDrives() {
    clear();
    stalledRoots_.clear();
    for (const lumi::MountedDrive& drive : readMounts())
        addTopLevelItem(makeDriveNode(drive));
}

void TDirTree::refreshDrives() {
    if (topLevelItemCount() == 0) return;
    const std::vector<lumi::MountedDrive> mounts = readMounts();
    std::set<std::string> present;
    for (const lumi::MountedDrive& drive : mounts)
        present.insert(drive.root);
    for (int i = topLevelItemCount() - 1; i >= 0; --i)
        if (!present.count(NodePath(topLevelItem(i)))) delete takeTopLevelItem(i);
    // What is left keeps the mounts' order, so each new drive goes in at its own place.
    for (int position = 0; position < int(mounts.size()); ++position) {
        const lumi::MountedDrive& drive = mounts[size_t(position)];
        QTreeWidgetItem* node = topLevelItem(position);
        if (!node || NodePath(node) != drive.root) {
            insertTopLevelItem(position, makeDriveNode(drive));
        } else if (drives_[drive.root].fileSystemId != drive.fileSystemId) {
            resetDriveNode(node, drive);
        } else {
            node->setText(0, shown(lumi::driveLabel(drive)));
        }
    }
}

std::vector<lumi::MountedDrive> TDirTree::readMounts() {
    std::vector<lumi::MountedDrive> shownDrives;
    auto mounts =
        lumi::runBounded<std::vector<lumi::MountedDrive>>(lumi::mountedDrives, FolderReadLimit);
    if (!mounts) {
        // A mount that does not answer holds up the whole table: offer the root alone.
        lumi::MountedDrive root;
        root.root = "/";
        root.type = drtFixed;
        mounts.emplace({root});
    }
    for (lumi::MountedDrive& drive : *mounts) {
        if (!DriveTypes.contains(drive.type)) continue;
        if (!passesFolderFilter(drive.root)) continue;
        shownDrives.push_back(std::move(drive));
    }
    return shownDrives;
}

QTreeWidgetItem* TDirTree::makeDriveNode(const lumi::MountedDrive& drive) {
    auto* node = new QTreeWidgetItem;
    node->setData(0, PathRole, QByteArray::fromStdString(drive.root));
    resetDriveNode(node, drive);
    return node;
}

void TDirTree::resetDriveNode(QTreeWidgetItem* node, const lumi::MountedDrive& drive) {
    node->setExpanded(false);
    qDeleteAll(node->takeChildren());
    node->setData(0, LoadedRole, false);
    node->setText(0, shown(lumi::driveLabel(drive)));
    node->setIcon(0, driveIcon(drive.type));
    drives_[drive.root].fileSystemId = drive.fileSystemId;
    const bool unread = FastLoad || drive.type == drtRemovable || drive.type == drtCDRom ||
                        drive.type == drtUnknown;
    if (unread || !readLevel(drive.root).empty()) addPlaceholder(node);
}

void TDirTree::loadChildren(QTreeWidgetItem* node) {
    if (!node || node->data(0, LoadedRole).toBool()) return;
    const std::string path = NodePath(node);
    if (path.empty()) return;
    qDeleteAll(node->takeChildren());
    const QIcon icon = folderIcon();
    for (const lumi::SubFolder& folder : readLevel(path)) {
        auto* child = new QTreeWidgetItem(node, QStringList{shown(folder.name)});
        child->setData(0, PathRole, QByteArray::fromStdString(path + folder.name + "/"));
        child->setIcon(0, icon);
        if (folder.hasSubFolders) addPlaceholder(child);
    }
    node->setData(0, LoadedRole, true);
}

QTreeWidgetItem* TDirTree::driveNodeFor(const std::string& path) const {
    QTreeWidgetItem* best = nullptr;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        const std::string root = NodePath(topLevelItem(i));
        if (path.compare(0, root.size(), root) == 0 &&
            (!best || root.size() > NodePath(best).size()))
            best = topLevelItem(i);
    }
    return best;
}

void TDirTree::selectionChanged(QTreeWidgetItem* node) {
    if (QTreeWidgetItem* drive = node ? driveNodeFor(NodePath(node)) : nullptr) {
        const std::string root = NodePath(drive);
        DriveMemory& memory = drives_[root];
        memory.lastPath = NodePath(node);
        const auto id = lumi::runBounded<uint64_t>([root] { return lumi::fileSystemIdOf(root); },
                                                   FolderReadLimit);
        // Another file system now answers at this root: read the drives afresh once the
        // selection change is over.
        if (id && *id != memory.fileSystemId)
            QTimer::singleShot(0, this,
                               [this] { lumi::runUnderDefaultHandler([&] { refreshDrives(); }); });
    }
    if (OnChange) OnChange(this, node);
}

std::optional<std::string> TDirTree::resolve(const std::string& path) {
    if (OnFindDir) return lumi::resolveFolderAnyCase(lumi::withTrailingSlash(path), lister());
    auto found = lumi::runBounded<std::optional<std::string>>(
        [full = lumi::withTrailingSlash(path)] {
            return lumi::resolveFolderAnyCase(full, lumi::listFolder);
        },
        FolderReadLimit);
    return found ? *found : std::nullopt;
}

bool TDirTree::passesFolderFilter(const std::string& path) {
    if (!lumi::passesRecycleBinRule(path, GoBelowRecycleBin)) return false;
    bool doAdd = true;
    if (OnAddDir) OnAddDir(this, path, doAdd);
    return doAdd;
}

bool TDirTree::accepts(const std::string& path, const lumi::FolderEntry& entry) {
    return passesFolderFilter(path) && lumi::passesAttributeFilter(entry.hidden, DirTypes);
}

lumi::FolderLister TDirTree::lister() {
    if (OnFindDir) return [this](const std::string& folder) { return findDirEntries(folder); };
    return lumi::listFolder;
}

std::vector<lumi::FolderEntry> TDirTree::findDirEntries(const std::string& folder) {
    std::vector<lumi::FolderEntry> entries;
    lumi::FolderEntry entry;
    int result = 0;
    OnFindDir(this, folder, entry, result, true);
    while (result == 0 && entries.size() < lumi::FolderEntryLimit) {
        entries.push_back(std::move(entry));
        entry = {};
        OnFindDir(this, folder, entry, result, false);
    }
    return entries;
}

std::vector<lumi::SubFolder> TDirTree::readLevel(const std::string& folder) {
    if (OnFindDir || OnAddDir) {
        return lumi::readFolderLevel(
            folder, lister(), [this](const std::string& path, const lumi::FolderEntry& entry) {
                return accepts(path, entry);
            });
    }
    QTreeWidgetItem* drive = driveNodeFor(folder);
    const std::string root = drive ? NodePath(drive) : folder;
    if (stalledRoots_.count(root)) return {};
    const TDirTypes types = DirTypes;
    const bool goBelow = GoBelowRecycleBin;
    // Looking into the children stops early enough that a large but healthy folder
    // arrives in time; only a folder that cannot be listed at all runs out the limit.
    const auto checkUntil = std::chrono::steady_clock::now() + FolderReadLimit * 7 / 10;
    auto level = lumi::runBounded<std::vector<lumi::SubFolder>>(
        [folder, types, goBelow, checkUntil] {
            return lumi::readFolderLevel(
                folder, lumi::listFolder,
                [types, goBelow](const std::string& path, const lumi::FolderEntry& entry) {
                    return lumi::passesRecycleBinRule(path, goBelow) &&
                           lumi::passesAttributeFilter(entry.hidden, types);
                },
                checkUntil);
        },
        FolderReadLimit);
    if (!level) {
        stalledRoots_.insert(root);
        return {};
    }
    return *level;
}
