// Feeds arbitrary bodies to the picture archives' JSON readers. The first byte picks the
// archive of the list, where the request started and, for an archive whose search names
// items, whether the body is an item's answer; the rest is the answer. Whatever a service sends, the pictures handed on are addresses the HTTP client can
// send as they stand, and the next page never goes back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "analysis/ArchiveAnswers.h"
#include "analysis/ArchiveService.h"

namespace {

// http or https, a host, and only printable ASCII without blanks or a fragment: an address
// that goes into a request line unchanged.
void checkAddress(const std::string& url, bool mayBeEmpty) {
    if (url.empty()) {
        if (!mayBeEmpty) __builtin_trap();
        return;
    }
    const size_t hostAt = url.starts_with("http://") ? 7 : url.starts_with("https://") ? 8 : 0;
    if (hostAt == 0 || url.size() == hostAt || url[hostAt] == '/') __builtin_trap();
    for (const char c : url) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= ' ' || byte >= 127 || c == '#') __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const auto& archives = lumi::archiveServices();
    const lumi::ArchiveService& archive = *archives[data[0] % archives.size()];
    const lumi::ServiceId service = archive.id;
    // Page numbers count from 1, Commons' offsets from 0.
    const int64_t turn = data[0] / static_cast<int64_t>(archives.size());
    const int64_t position = archive.firstPosition == 0 ? turn * 20 : 1 + turn % 24;
    const std::string_view body(reinterpret_cast<const char*>(data + 1), size - 1);
    // The answer of one item (the Met's objects) when the archive names items and the byte says so.
    const bool item = archive.readItemIds && (data[0] & 0x80) != 0;
    const lumi::ArchiveAnswer answer = item ? lumi::readArchiveItem(service, body)
                                            : lumi::readArchiveAnswer(service, body, position);

    if (!answer.understood && (!answer.pictures.empty() || answer.results || answer.next))
        __builtin_trap();
    if (answer.pictures.size() > answer.results || answer.itemIds.size() > answer.results)
        __builtin_trap();
    if (answer.next != 0 && answer.next <= position) __builtin_trap();
    if (service == lumi::ServiceId::Openverse && answer.next > lumi::OpenverseAnonymousPages)
        __builtin_trap();
    for (const lumi::ArchivePicture& picture : answer.pictures) {
        checkAddress(picture.url, false);
        checkAddress(picture.source.page, true);
        checkAddress(picture.source.licenceUrl, true);
        checkAddress(picture.source.thumbnail, true);
        if (picture.size < 0 || picture.source.service != service) __builtin_trap();
    }
    return 0;
}
