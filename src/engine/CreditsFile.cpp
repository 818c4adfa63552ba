#include "engine/CreditsFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "base/AppPaths.h"
#include "base/IniFiles.h"
#include "base/SettingKeys.h"
#include "engine/DownloadBatch.h"

namespace lumi {

namespace {

std::string oneLine(const std::string& text) {
    std::string line = text;
    for (char& c : line)
        if (static_cast<unsigned char>(c) < ' ' || c == 0x7f) c = ' ';
    return line;
}

} // namespace

bool creditsWanted(const IniEntries& settings) {
    return readSetting(settings, setting::WriteCredits);
}

void writeCreditsWanted(TIniFile& settings, bool wanted) {
    settings.WriteBool(setting::WriteCredits.section, setting::WriteCredits.key, wanted);
}

std::string creditLine(const std::string& fileName, const PictureSource& source) {
    std::string line = oneLine(fileName) + ":";
    if (!source.title.empty()) line += " \"" + oneLine(source.title) + "\"";
    if (!source.creator.empty()) line += " by " + oneLine(source.creator);
    line += (source.title.empty() && source.creator.empty() ? " " : ", ") + oneLine(source.licence);
    if (!source.licenceUrl.empty()) line += " (" + oneLine(source.licenceUrl) + ")";
    if (!source.page.empty()) line += ", from " + oneLine(source.page);
    return line;
}

std::string writeBatchCredits(const IniEntries& settings, const std::string& folder,
                              const std::vector<BatchItem>& items,
                              const std::function<const PictureSource*(const std::string&)>& sourceOf) {
    if (!creditsWanted(settings) || folder.empty()) return {};
    std::string added;
    for (const BatchItem& item : items) {
        if (item.state != BatchItem::State::Saved) continue;
        const PictureSource* source = sourceOf(item.address);
        if (!source || source->licence.empty()) continue;
        const std::string fileName = item.path.substr(item.path.rfind('/') + 1);
        added += creditLine(fileName, *source) + "\n";
    }
    if (added.empty()) return {};

    const QString path = qtPath(folder + "/" + CreditsFileName);
    const QFileInfo existing(path);
    const std::string problem = "The credits could not be written to " + folder + "/" +
                                CreditsFileName + ": ";
    if (existing.isSymLink() || (existing.exists() && !existing.isFile()))
        return problem + "it is not a plain file";
    if (existing.size() > MaxCreditsFileBytes) return problem + "the file is too large";
    QByteArray text;
    if (existing.exists()) {
        QFile old(path);
        if (!old.open(QIODevice::ReadOnly)) return problem + old.errorString().toStdString();
        text = old.readAll();
        if (!text.isEmpty() && !text.endsWith('\n')) text += '\n';
    }
    text.append(added.data(), static_cast<qsizetype>(added.size()));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        return problem + file.errorString().toStdString();
    return {};
}

} // namespace lumi
