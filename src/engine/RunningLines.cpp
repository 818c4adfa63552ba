#include "engine/RunningLines.h"

#include <charconv>
#include <stdexcept>

#include "base/Clock.h"

namespace lumi {

namespace {
constexpr std::string_view DoneMark = "X\t";
}

std::string runningLine(uint32_t startTick, std::string_view item) {
    std::string line = std::to_string(startTick);
    line += '\t';
    line += item;
    return line;
}

std::string doneLine(std::string_view line) {
    std::string marked(DoneMark);
    marked += runningItem(line);
    return marked;
}

bool isDoneLine(std::string_view line) {
    return line.substr(0, DoneMark.size()) == DoneMark;
}

std::string_view runningItem(std::string_view line) {
    const size_t tab = line.find('\t');
    return tab == std::string_view::npos ? std::string_view() : line.substr(tab + 1);
}

uint32_t runningStartTick(std::string_view line) {
    const std::string_view digits = line.substr(0, line.find('\t'));
    uint32_t tick = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), tick);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
        throw std::invalid_argument("'" + std::string(digits) + "' is not a valid integer value");
    return tick;
}

bool runningTimedOut(std::string_view line, uint32_t now) {
    return ticksSince(runningStartTick(line), now) > RunningTimeoutMs;
}

} // namespace lumi
