#pragma once
// The rows of `lumisift-cli search --format jsonl`, read back by `download --from`: each
// picture's address with where it came from, so that a download writes the same credits as
// the window's.
#include <map>
#include <string>
#include <vector>

#include "analysis/SearchServices.h"

namespace lumi::cli {

struct SearchRows {
    std::vector<std::string> urls; // in the order read, each once
    std::map<std::string, PictureSource> sources;
};

// Reads rows from the file at path, or from standard input for "-". Empty lines are skipped.
// False, with the problem in words, when the file cannot be read, a line is no row, or there
// are more rows or bytes than a search lists.
bool readSearchRows(const std::string& path, SearchRows& rows, std::string& problem);

} // namespace lumi::cli
