#include "net/HttpHeaderField.h"

#include <iterator>

#include "base/TextOps.h"

namespace lumi {

namespace {
// The value of line when it is a field called name.
bool fieldValue(const std::string& line, std::string_view name, std::string& value) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos || !textSameAnyCase(textTrim(line.substr(0, colon)), name))
        return false;
    value = textTrim(std::string_view(line).substr(colon + 1));
    return true;
}
bool statusLine(const std::string& line) {
    return textPosAnyCase("http/", line) == 1;
}
} // namespace

std::string lastAnswerField(const std::vector<std::string>& header, std::string_view name) {
    std::string value;
    for (auto it = header.rbegin(); it != header.rend() && !statusLine(*it); ++it)
        if (fieldValue(*it, name, value)) return value;
    return {};
}

std::string answerFieldList(const std::vector<std::string>& header, std::string_view name) {
    auto start = header.end();
    while (start != header.begin() && !statusLine(*std::prev(start)))
        --start;
    std::string list, value;
    for (auto it = start; it != header.end(); ++it)
        if (fieldValue(*it, name, value)) list += (list.empty() ? "" : ", ") + value;
    return list;
}

} // namespace lumi
