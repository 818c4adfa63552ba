#include "base/AppPaths.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace lumi {

namespace {
std::string& folderOverride() {
    static std::string folder;
    return folder;
}

std::string localPath(const QString& path) {
    return path.toLocal8Bit().toStdString();
}

// The layout every install uses, whatever its root: <prefix>/bin for the programs, and the
// system's /usr, /usr/local and /opt trees (also when unpacked under another root).
bool insideInstallTree(const QString& folder) {
    const QStringList parts = folder.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (!parts.isEmpty() && parts.last() == QLatin1String("bin")) return true;
    return parts.contains(QLatin1String("usr")) || parts.contains(QLatin1String("opt"));
}

// One "lumisift" folder under the user's configuration or cache folder, shared by the
// window program and lumisift-cli whatever their application names.
std::string userFolder(QStandardPaths::StandardLocation location) {
    const QString path = QStandardPaths::writableLocation(location) + QStringLiteral("/lumisift");
    QDir().mkpath(path);
    return localPath(path);
}
} // namespace

QString qtPath(const std::string& path) {
    return QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size()));
}

std::string programFolder() {
    if (!folderOverride().empty()) return folderOverride();
    if (!QCoreApplication::instance()) return ".";
    return localPath(QCoreApplication::applicationDirPath());
}

void setProgramFolder(const std::string& folder) {
    folderOverride() = folder;
}

bool runsFromOwnFolder() {
    const QFileInfo folder(qtPath(programFolder()));
    // Root owns and may write everything: ownership alone cannot tell an install from a
    // build tree, the layout can.
    if (!folder.isDir() || !folder.isWritable() || folder.ownerId() != ::geteuid()) return false;
    return !insideInstallTree(folder.canonicalFilePath());
}

std::string buildTreeRoot() {
    QDir folder(qtPath(programFolder()));
    for (int level = 0; level <= MaxBuildTreeDepth; ++level) {
        if (folder.exists(QStringLiteral(LUMISIFT_BUILD_MARKER)))
            return localPath(folder.absolutePath());
        if (!folder.cdUp()) break;
    }
    return {};
}

// The programs of a build tree share one file, so that what the window sets reaches the
// command line; a configuration folder named in the environment is the user's choice and wins.
std::string settingsFilePath() {
    const auto inUserFolder = [] {
        return userFolder(QStandardPaths::GenericConfigLocation) + "/lumisift.ini";
    };
    if (!runsFromOwnFolder()) return inUserFolder();
    const std::string root = buildTreeRoot();
    if (root.empty()) return programFolder() + "/lumisift.ini";
    return qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME") ? root + "/lumisift.ini" : inUserFolder();
}

std::string slideshowFolder() {
    if (runsFromOwnFolder()) return programFolder() + "/slideshow/";
    return userFolder(QStandardPaths::GenericCacheLocation) + "/slideshow/";
}

std::string thumbnailCacheFolder() {
    return userFolder(QStandardPaths::GenericCacheLocation) + "/thumbs/";
}

std::string registryStorePath() {
    return userFolder(QStandardPaths::GenericConfigLocation) + "/registry.ini";
}

std::string dataFilePath(const std::string& name) {
    const std::string beside = programFolder() + "/" + name;
    const char* const installFolders[] = {LUMISIFT_LIBDIR_FROM_BINDIR,
                                          LUMISIFT_DATADIR_FROM_BINDIR};
    if (QFileInfo::exists(qtPath(beside))) return beside;
    for (const char* folder : installFolders) {
        const std::string installed = programFolder() + "/" + folder + "/" + name;
        if (QFileInfo::exists(qtPath(installed))) return installed;
    }
    return beside;
}

} // namespace lumi
