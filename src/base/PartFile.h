#pragma once
// A file being received: written under a hidden temporary name beside its final name
// (".NAME.part"), created exclusively so that it never opens an existing file or follows a
// link, and renamed over the final name only by commit(). Every write is checked; a failure
// keeps the system's own text. Destroying an uncommitted PartFile removes the temporary.
#include <memory>
#include <string>

namespace lumi {

// The system's text for an errno value ("No space left on device").
std::string systemErrorText(int code);

class PartFile {
public:
    // Creates the temporary for finalPath. Nothing on failure, with error set to the system's
    // text. A stale temporary of an earlier run is left alone and another name is taken.
    static std::unique_ptr<PartFile> create(const std::string& finalPath, std::string& error);
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    // Writes all of data; false (and error() set) when the system took less.
    bool write(const char* data, size_t size);
    // Closes the temporary and renames it over the final name; false with error() set, and
    // the temporary removed, when either fails.
    bool commit();
    // Closes and removes the temporary.
    void discard();

    const std::string& error() const { return error_; }
    const std::string& tempPath() const { return tempPath_; }
    const std::string& finalPath() const { return finalPath_; }

private:
    PartFile(int fd, std::string tempPath, std::string finalPath);
    bool fail(int code);

    int fd_;
    std::string tempPath_, finalPath_, error_;
};

// The temporary name tried first for finalPath: ".NAME.part" in the same folder.
std::string partFilePath(const std::string& finalPath);

} // namespace lumi
