#pragma once
// Generated gallery-like pages for the benchmarks of the page analysis.
#include <cstddef>
#include <string>

namespace lumi::bench {

// About one anchor or image per 100 bytes, text between them, some anchors spanning lines,
// capitals and non-JPEG links mixed in. The same size gives the same page.
std::string generateGalleryPage(size_t bytes);

// An Openverse answer listing `results` JPEG results of about 250 bytes each, with titles,
// creators and licences, every tenth with a null filesize.
std::string generateArchiveAnswer(size_t results);

} // namespace lumi::bench
