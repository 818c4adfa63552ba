// The embedded thumbnail found in the first bytes of a JPEG stream: where cameras put it,
// and every broken or cut-short block read as a defined answer within its bytes.
#include <functional>

#include <gtest/gtest.h>

#include "common/ExifSample.h"
#include "picture/ExifThumbnail.h"

using lumi::EmbeddedThumbnail;
using Status = lumi::EmbeddedThumbnail::Status;
using namespace lumi::test;

TEST(ExifThumbnail, FoundOnlyWhereTheBlockHoldsAWholeOne) {
    const QByteArray thumb("\xFF\xD8thumbnail\xFF\xD9");
    const QByteArray frame("\xFF\xD8\xFF\xC0\x01\x11rest of the picture");
    const QByteArray app0 = QByteArray("\xFF\xE0\x00\x10JFIF", 8) + QByteArray(10, '\0');
    const auto broken = [&](int at, uint32_t value) {
        QByteArray bytes = withExif(frame, 6, false, thumb);
        putLittle32(bytes, at, value);
        return bytes;
    };
    struct Case {
        const char* name;
        QByteArray bytes;
        Status status;
        int offset, orientation;
    };
    const Case cases[] = {
        {"little-endian", withExif(frame, 6, false, thumb), Status::Found, ExifThumbAt, 6},
        {"big-endian", withExif(frame, 8, true, thumb), Status::Found, ExifThumbAt, 8},
        {"after JFIF", frame.left(2) + app0 + withExif(frame, 1, false, thumb).mid(2),
         Status::Found, ExifThumbAt + int(app0.size()), 1},
        {"no IFD1", withExif(frame, 3, false), Status::Absent, 0, 3},
        {"IFD1 outside", broken(ExifLinkAt, 5000), Status::Absent, 0, 6},
        {"IFD1 is IFD0", broken(ExifLinkAt, 8), Status::Absent, 0, 6},
        {"offset past the end", broken(ExifThumbOffsetAt, 0xFFFFFFFF), Status::Absent, 0, 6},
        {"length past the end", broken(ExifThumbLengthAt, 0xFFFFFFF0), Status::Absent, 0, 6},
        {"not a JPEG inside", withExif(frame, 1, false, "GIF89a..."), Status::Absent, 0, 1},
        {"frame first", frame + withExif(frame, 1, false, thumb).mid(2), Status::Absent, 0, 1},
        {"not a JPEG", "GIF89a", Status::Absent, 0, 1},
        {"block cut short", withExif(frame, 1, false, thumb).left(ExifThumbAt), Status::NeedsMore,
         0, 1},
        {"marker cut short", frame.left(3), Status::NeedsMore, 0, 1},
        {"nothing yet", "", Status::NeedsMore, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const EmbeddedThumbnail found = lumi::embeddedThumbnail(
            reinterpret_cast<const uint8_t*>(c.bytes.constData()), size_t(c.bytes.size()));
        EXPECT_EQ(found.status, c.status);
        if (c.status == Status::NeedsMore) continue;
        EXPECT_EQ(found.orientation, c.orientation);
        if (c.status == Status::Found) {
            EXPECT_EQ(c.bytes.mid(qsizetype(found.offset), qsizetype(found.size)), thumb);
        }
        EXPECT_EQ(int(found.offset), c.offset);
    }
}
