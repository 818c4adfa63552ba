#pragma once
// Real, decodable pictures for the stand-in web: the search phrase drawn on a pattern derived
// from it, so a user sees that a result belongs to the search. Encoded with libjpeg and giflib.
#include <cstdint>
#include <string>

namespace lumi::sandbox {

// Size classes around the bounds tests set for the results list (10 kB and 1 000 kB): small
// pictures stay under 9 500 bytes, medium ones between 12 000 and 950 000, large ones above
// 1 050 000, so no picture sits near those bounds.
enum class SizeClass { Small, Medium, Large };
enum class PictureFormat { Jpeg, Gif };

struct PictureRecipe {
    uint64_t seed = 0;  // derived from the sandbox seed, the phrase and the picture's name
    std::string phrase; // drawn on the picture
    std::string label;  // a short caption drawn under the phrase (the picture's name)
    PictureFormat format = PictureFormat::Jpeg;
    SizeClass sizeClass = SizeClass::Medium;
};

constexpr std::size_t kSmallPictureMaxBytes = 9500;
constexpr std::size_t kMediumPictureMinBytes = 12000;
constexpr std::size_t kMediumPictureMaxBytes = 950000;
constexpr std::size_t kLargePictureMinBytes = 1050000;

// Renders and encodes the picture; the same recipe always gives the same bytes. Small GIFs stay
// under the lower bound and other GIFs above it; only JPEGs hold the upper classes exactly.
std::string renderPicture(const PictureRecipe& recipe);

// Mime type of a format.
const char* pictureMimeType(PictureFormat format);

} // namespace lumi::sandbox
