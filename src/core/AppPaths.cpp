#include "core/AppPaths.h"

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

bool writableFolder(const std::string& folder) {
    return QFileInfo(QString::fromLocal8Bit(folder.c_str())).isWritable();
}

std::string userFolder(QStandardPaths::StandardLocation location) {
    const QString path = QStandardPaths::writableLocation(location);
    QDir().mkpath(path);
    return path.toLocal8Bit().toStdString();
}
} // namespace

std::string programFolder() {
    if (!folderOverride().empty()) return folderOverride();
    if (!QCoreApplication::instance()) return ".";
    return QCoreApplication::applicationDirPath().toLocal8Bit().toStdString();
}

void setProgramFolder(const std::string& folder) { folderOverride() = folder; }

std::string settingsFilePath() {
    const std::string folder = programFolder();
    if (writableFolder(folder)) return folder + "/lumisift.ini";
    return userFolder(QStandardPaths::AppConfigLocation) + "/lumisift.ini";
}

std::string slideshowFolder() {
    const std::string folder = programFolder();
    if (writableFolder(folder)) return folder + "/slideshow/";
    return userFolder(QStandardPaths::CacheLocation) + "/slideshow/";
}

} // namespace lumi
