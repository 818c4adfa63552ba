#include "net/HttpHeaderField.h"

#include "base/TextOps.h"

namespace lumi {

std::string lastAnswerField(const std::vector<std::string>& header, std::string_view name) {
    for (auto it = header.rbegin(); it != header.rend(); ++it) {
        const std::string& line = *it;
        if (textPosAnyCase("http/", line) == 1) break;
        const size_t colon = line.find(':');
        if (colon != std::string::npos && textSameAnyCase(textTrim(line.substr(0, colon)), name))
            return textTrim(std::string_view(line).substr(colon + 1));
    }
    return {};
}

} // namespace lumi
