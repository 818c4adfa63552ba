#include "StaticExport.h"

#include <filesystem>
#include <fstream>

namespace lumi::sandbox {

namespace {

constexpr int kMaxExportRelocations = 4;

bool writeFile(const std::filesystem::path& file, const std::string& bytes, std::string& error) {
    std::error_code code;
    std::filesystem::create_directories(file.parent_path(), code);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out) {
        error = "cannot write " + file.string();
        return false;
    }
    return true;
}

// The file for a site path; a folder address gets its index.html. Paths come from the model,
// which writes no "..", so every file stays inside the folder.
std::filesystem::path fileFor(const std::string& folder, const std::string& path) {
    std::string relative = path.substr(1);
    if (relative.empty() || relative.back() == '/') relative += "index.html";
    return std::filesystem::path(folder) / relative;
}

} // namespace

bool exportWeb(const Web& web, const std::string& folder,
               const std::function<std::string(const PictureRecipe&)>& bytesOf,
               std::string& error) {
    for (const auto& [path, resource] : web.sites) {
        if (path.find("..") != std::string::npos) continue;
        const Resource* r = &resource;
        for (int hop = 0; hop < kMaxExportRelocations && r && r->answer == Answer::Relocation;
             ++hop)
            r = findResource(web, r->target);
        if (!r) continue;
        switch (r->answer) {
        case Answer::Page:
        case Answer::SlowPage:
            if (!writeFile(fileFor(folder, path), r->html, error)) return false;
            break;
        case Answer::Picture:
        case Answer::PictureNoLength:
            if (!writeFile(fileFor(folder, path), bytesOf(r->picture), error)) return false;
            break;
        default:
            break;
        }
    }
    return true;
}

bool exportMakerSite(const MakerSite& maker, const std::string& folder, std::string& error) {
    return writeFile(fileFor(folder, "/"), makerHomePage(maker), error) &&
           writeFile(fileFor(folder, "/download.htm"), makerDownloadPage(maker), error) &&
           writeFile(fileFor(folder, "/progver.txt"), makerVersionFile(maker), error);
}

} // namespace lumi::sandbox
