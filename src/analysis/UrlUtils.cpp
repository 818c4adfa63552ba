#include "analysis/UrlUtils.h"

#include <array>
#include <stdexcept>

#include "base/ErrorReport.h"
#include "base/TextOps.h"

namespace {

// Stored as "code=replacement": the code is the part before the first "=", the
// replacement everything after it. The order is the order of decoding.
const std::array<const char*, 26> kPercentCodes = {
    "%21=!", "%22=\"", "%24=$", "%26=&", "%28=(",    "%29=)",    "%2B=+",    "%2F=/",    "%5B=[",
    "%5D=]", "%3A=:",  "%7E=~", "%27='", "%BD=\xBD", "%A3=\xA3", "%A4=\xA4", "%A7=\xA7", "%7B={",
    "%7D=}", "%3D==",  "%2E=.", "%5F=_", "%2D=-",    "%253A=:",  "%252F=/",  "%257E=~",
};

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

bool startsWithAnyCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           lumi::textSameAnyCase(text.substr(0, prefix.size()), prefix);
}

struct AddressParts {
    std::string_view scheme; // "https://" or "http://"
    std::string_view host;   // without the scheme
    std::string_view path;   // from the first "/" after the host, less one trailing "/"
};

// An address starting "https://" keeps that scheme; otherwise the first 7 characters are
// taken to be "http://". Without a "/" after the host ("http://host") the whole rest is the
// host and the path is empty, so links resolve to http://host/link.
AddressParts splitAddress(std::string_view address) {
    const std::string_view scheme = startsWith(address, "https://") ? "https://" : "http://";
    const std::string_view rest =
        address.size() > scheme.size() ? address.substr(scheme.size()) : std::string_view();
    const size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return {scheme, rest, {}};
    std::string_view path = rest.substr(slash);
    if (path.back() == '/') path.remove_suffix(1);
    return {scheme, rest.substr(0, slash), path};
}

} // namespace

std::string AnalyzePath(std::string_view link, const std::string& pageAddress) {
    std::string result;
    lumi::catchAll("error code : #0021 (AnalyzePath)", [&] {
        if (startsWithAnyCase(link, "http://") || startsWithAnyCase(link, "https://") ||
            startsWithAnyCase(link, "ftp://")) {
            result = link;
            return;
        }
        // A network-path link names its own host and keeps the page's scheme.
        if (startsWith(link, "//")) {
            const std::string_view scheme = splitAddress(pageAddress).scheme;
            result = std::string(scheme.substr(0, scheme.size() - 2)) + std::string(link);
            return;
        }
        bool fromRoot = false;
        int levels = 0;
        std::string_view rest = link;
        std::string cut;
        if (link.find('/') != std::string_view::npos) {
            if (link.front() == '/') {
                fromRoot = true;
            } else {
                cut = link;
                CountAndCutUpLevels(cut, levels);
                rest = cut;
            }
        }
        result = EditOriginURL(levels, fromRoot, pageAddress);
        result += rest;
    });
    return result;
}

void CountAndCutUpLevels(std::string& link, int& levels) {
    lumi::catchAll("error code : #0022 (CountAndCutUpLevels)", [&] {
        // Only the "../" at the start climb: one further inside ("a/../b.jpg") names a
        // folder below this one and is left for the server to resolve.
        size_t at = 0;
        while (link.compare(at, 3, "../") == 0) {
            at += 3;
            ++levels;
        }
        link.erase(0, at);
    });
}

void ExtractUrlAndPath(const std::string& address, std::string& url, std::string& path) {
    lumi::catchAll("error code : #0023 (ExtractUrlAndPath)", [&] {
        const AddressParts parts = splitAddress(address);
        url = std::string(parts.scheme) + std::string(parts.host);
        path = std::string(parts.path);
    });
}

std::string EditOriginURL(int levels, bool fromRoot, const std::string& pageAddress) {
    std::string result;
    lumi::catchAll("error code : #0024 (EditOriginURL)", [&] {
        const AddressParts parts = splitAddress(pageAddress);
        std::string base;
        base.reserve(8 + parts.host.size() + parts.path.size() + 64);
        base += parts.scheme;
        base += parts.host;
        if (fromRoot) {
            result = std::move(base);
            return;
        }
        // Dropping a last segment is cutting at the last "/"; surplus levels stop at the host.
        std::string_view folder = parts.path;
        auto dropLastSegment = [&folder] {
            const size_t slash = folder.rfind('/');
            if (slash == std::string_view::npos) return false;
            folder = folder.substr(0, slash);
            return true;
        };
        if (folder.find('.') != std::string_view::npos) dropLastSegment();
        for (int i = 0; i < levels && dropLastSegment(); ++i) {
        }
        base += '/';
        if (!folder.empty()) {
            const bool closeWithSlash = folder.back() != '/';
            if (folder.front() == '/') folder.remove_prefix(1);
            base += folder;
            if (closeWithSlash) base += '/';
        }
        result = std::move(base);
    });
    return result;
}

std::string Mirror(const std::string& text) {
    std::string result;
    lumi::catchAll("error code : #0025 (Mirror)",
                   [&] { result.assign(text.rbegin(), text.rend()); });
    return result;
}

std::string FixHTMLCodes(const std::string& text) {
    std::string result;
    lumi::catchAll("error code : #0034 (FixHTMLCodes)", [&] {
        // No replacement holds "%" or a hexadecimal digit, so replacing every occurrence of
        // one code at once equals decoding them one at a time.
        std::string work = text;
        for (const char* entry : kPercentCodes) {
            const std::string_view stored(entry);
            const size_t eq = stored.find('=');
            work = lumi::textReplaceAll(work, stored.substr(0, eq), stored.substr(eq + 1));
        }
        result = std::move(work);
    });
    return result;
}

std::string ExtractFileNameFromURL(const std::string& address) {
    std::string result;
    lumi::catchAll("error code : #0035 (ExtractFileNameFromURL)", [&] {
        const size_t slash = address.rfind('/');
        result = slash == std::string::npos ? address : address.substr(slash + 1);
    });
    return result;
}

std::string SiteOfURL(const std::string& address) {
    std::string site;
    std::string path;
    ExtractUrlAndPath(address, site, path);
    const size_t scheme = site.find("://");
    return scheme == std::string::npos ? site : site.substr(scheme + 3);
}

std::string ExtractPageLinkFromURL(const std::string& address) {
    std::string result;
    lumi::catchAll("error code : #0036 (ExtractPageLinkFromURL)", [&] {
        const size_t slash = address.rfind('/');
        if (slash == std::string::npos) throw std::out_of_range("no / in the address");
        result = address.substr(0, slash + 1);
    });
    return result;
}

std::string MakeValidDir(const std::string& text) {
    std::string result;
    lumi::catchAll("error code : #0055 (MakeValidDir)", [&] {
        // NUL is removed too: file-system calls would end the name there, and what stood
        // before it could be "." or "..".
        static constexpr std::string_view removed("\"?*/><|\\\0", 9);
        std::string name;
        name.reserve(text.size());
        for (char c : text)
            if (removed.find(c) == std::string_view::npos) name += c;
        if (!name.empty() && name.front() == '.') name.erase(0, 1);
        // "." and ".." would put the files into the chosen folder or above it.
        if (name == "." || name == "..") name.clear();
        result = std::move(name);
    });
    return result;
}
