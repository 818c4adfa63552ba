#pragma once
// The text form of running work: "<start tick>\t<item>" while it runs, "X\t<item>" once it
// is finished. The item (a page URL or a check tag) identifies the work's client.
#include <cstdint>
#include <string>
#include <string_view>

namespace lumi {

// Running work older than this is timed out by the sweeps while a search runs.
constexpr uint32_t RunningTimeoutMs = 30000;

std::string runningLine(uint32_t startTick, std::string_view item);
// The done mark for a line: "X", TAB, the text after the line's first TAB. Idempotent.
std::string doneLine(std::string_view line);
bool isDoneLine(std::string_view line);
// The text after the first TAB ("" when the line has none).
std::string_view runningItem(std::string_view line);
// The start tick of an unmarked line; throws std::invalid_argument when it is not an
// unsigned 32-bit decimal.
uint32_t runningStartTick(std::string_view line);
// Whether an unmarked line started more than RunningTimeoutMs before now, across the wrap
// of the 32-bit tick counter.
bool runningTimedOut(std::string_view line, uint32_t now);

} // namespace lumi
