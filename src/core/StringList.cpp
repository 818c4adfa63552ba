#include "core/StringList.h"

#include <cstdint>
#include <cstring>

#include "core/TextOps.h"

namespace lumi {

namespace {

std::string_view textOf(const auto& item) {
    return item.text;
}

// A 64-bit hash of the case-folded bytes, eight at a time.
size_t foldedHash(std::string_view text) {
    constexpr uint64_t multiplier = 0xff51afd7ed558ccdull;
    uint64_t h = 0x9e3779b97f4a7c15ull ^ text.size();
    auto mix = [&](uint64_t word) {
        h = (h ^ wordLower(word)) * multiplier;
        h ^= h >> 32;
    };
    size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        mix(word);
    }
    if (i < text.size()) {
        uint64_t word = 0;
        std::memcpy(&word, text.data() + i, text.size() - i);
        mix(word);
    }
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 33;
    return static_cast<size_t>(h);
}

} // namespace

bool StringList::FoldedEqual::operator()(const auto& a, const auto& b) const {
    return a.hash == b.hash && textSameAnyCase(textOf(a), textOf(b));
}

StringList::Probe StringList::probe(std::string_view text) {
    return {text, foldedHash(text)};
}

const StringList::Entry* StringList::insert(std::string text, size_t hash) {
    return &*index_.insert(Entry{std::move(text), hash});
}

void StringList::erase(const Entry* entry) {
    auto [it, last] = index_.equal_range(Probe{entry->text, entry->hash});
    for (; it != last; ++it) {
        if (&*it == entry) {
            index_.erase(it);
            return;
        }
    }
}

void StringList::add(std::string text) {
    const size_t hash = foldedHash(text);
    order_.push_back(insert(std::move(text), hash));
}

bool StringList::addUnique(std::string text) {
    const Probe p = probe(text);
    if (index_.find(p) != index_.end()) return false;
    order_.push_back(insert(std::move(text), p.hash));
    return true;
}

void StringList::set(size_t i, std::string text) {
    const Entry* old = order_.at(i);
    const size_t hash = foldedHash(text);
    order_[i] = insert(std::move(text), hash);
    erase(old);
}

void StringList::removeAt(size_t i) {
    const Entry* entry = order_.at(i);
    order_.erase(order_.begin() + static_cast<std::ptrdiff_t>(i));
    erase(entry);
}

void StringList::clear() {
    order_.clear();
    index_.clear();
}

bool StringList::contains(std::string_view text) const {
    return index_.find(probe(text)) != index_.end();
}

long StringList::indexOf(std::string_view text) const {
    if (!contains(text)) return -1;
    for (size_t i = 0; i < order_.size(); ++i)
        if (textSameAnyCase(order_[i]->text, text)) return static_cast<long>(i);
    return -1;
}

} // namespace lumi
