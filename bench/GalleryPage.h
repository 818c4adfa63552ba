#pragma once
// Generated gallery-like pages for the benchmarks of the page analysis.
#include <cstddef>
#include <string>

namespace lumi::bench {

// About one anchor or image per 100 bytes, text between them, some anchors spanning lines,
// capitals and non-JPEG links mixed in. The same size gives the same page.
std::string generateGalleryPage(size_t bytes);

} // namespace lumi::bench
