#pragma once
// TDirTree: a tree of the computer's drives (the mounted file systems) and their folders.
// Each node holds its folder's full path ending in "/"; a node's children are read when it
// is opened, on a worker thread whose answer is awaited only briefly, so a slow or dead
// mount leaves the node empty instead of freezing the window.
#include <functional>
#include <map>
#include <set>
#include <string>

#include <QTreeWidget>

#include "base/FolderScan.h"

class QSocketNotifier;

class TDirTree : public QTreeWidget {
public:
    explicit TDirTree(QWidget* parent = nullptr);
    ~TDirTree() override;

    // Settings; they take effect at the next Loaded, Reload or opening of a node.
    bool ReadOnStart = true;
    TDirTypes DirTypes{dtNormal, dtAll};
    bool GoBelowRecycleBin = false;
    // Drives get an expand button without being read.
    bool FastLoad = false;
    // Selected by Loaded when it exists; empty means the current directory.
    std::string InitialDirectory;
    TDriveTypes DriveTypes{drtUnknown, drtRemovable, drtFixed, drtRemote, drtCDRom, drtRamDisk};

    // The selection changed (Node may be null).
    std::function<void(TDirTree* Sender, QTreeWidgetItem* Node)> OnChange;
    // May refuse a folder (its path, ending in "/") by setting DoAdd to false.
    std::function<void(TDirTree* Sender, const std::string& AFileName, bool& DoAdd)> OnAddDir;
    // Replaces the reading of folders: called with AFirst true, then false, for APath until
    // it sets AResult to non-zero; each call with AResult 0 delivers one entry in ARec.
    // Both callbacks run on the window's thread, so reading with them is not time-bounded.
    std::function<void(TDirTree* Sender, const std::string& APath, lumi::FolderEntry& ARec,
                       int& AResult, bool AFirst)>
        OnFindDir;

    // Completes the setup once the settings above are made: with ReadOnStart the drives
    // are read and InitialDirectory (when it exists, else the current directory) selected.
    void Loaded();
    // The selected folder's path, or "?" when nothing is selected.
    std::string Directory() const;
    // Selects the deepest node along path (components matched without regard to case),
    // reading each level as needed; a missing path selects the root of the current
    // directory's drive. "?" does nothing; an empty path raises "Invalid Path Name".
    void SelectPath(const std::string& path);
    // Rebuilds the drives and selects the same folder again (else its drive, else the
    // remembered folder of the first drive with folders).
    void Reload();
    // Rebuilds the drive nodes from the mounted file systems.
    void ReadDrives();

    // The path a node stands for ("" for a placeholder).
    static std::string NodePath(const QTreeWidgetItem* node);

private:
    void loadChildren(QTreeWidgetItem* node);
    QTreeWidgetItem* driveNodeFor(const std::string& path) const;
    // Selects the node for path exactly; false when there is none.
    bool selectExisting(const std::string& path);
    void selectionChanged(QTreeWidgetItem* node);
    // Brings the drive nodes in line with the mounted file systems: new mounts appear, gone
    // ones vanish, a mount with another file system id is read afresh.
    void refreshDrives();
    QTreeWidgetItem* makeDriveNode(const lumi::MountedDrive& drive);
    void resetDriveNode(QTreeWidgetItem* node, const lumi::MountedDrive& drive);

    // The recycle-bin rule, then OnAddDir.
    bool passesFolderFilter(const std::string& path);
    // The folder filter, then the attribute filter.
    bool accepts(const std::string& path, const lumi::FolderEntry& entry);
    // The real folder path names (components matched without regard to case), if any.
    std::optional<std::string> resolve(const std::string& path);
    lumi::FolderLister lister();
    // The level below folder, read on a worker when no callback must run on this thread.
    std::vector<lumi::SubFolder> readLevel(const std::string& folder);
    std::vector<lumi::FolderEntry> findDirEntries(const std::string& folder);
    std::vector<lumi::MountedDrive> readMounts();

    struct DriveMemory {
        std::string lastPath;
        uint64_t fileSystemId = 0;
    };
    // Per drive root: the folder last selected on it and its file system id.
    std::map<std::string, DriveMemory> drives_;
    // Roots whose reading did not finish in time; they are not read again until Reload.
    std::set<std::string> stalledRoots_;
    QSocketNotifier* mountWatch_ = nullptr;
    int mountsFd_ = -1;
};
