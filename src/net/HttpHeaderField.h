#pragma once
// Reading one field out of THttpCli::RcvdHeader, which keeps the lines of every relocation hop
// and interim answer of a request: only the lines of the final answer count.
#include <string>
#include <string_view>
#include <vector>

namespace lumi {

// The trimmed value of the last field called `name` (any case) after the last status line;
// "" when that answer has none.
std::string lastAnswerField(const std::vector<std::string>& header, std::string_view name);
// Every field called `name` of that answer, as one list: their values joined by ", " in the
// order they came ("gzip" and "gzip" on two lines read as "gzip, gzip").
std::string answerFieldList(const std::vector<std::string>& header, std::string_view name);

} // namespace lumi
