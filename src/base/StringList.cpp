#include "base/StringList.h"

#include <cstdint>
#include <cstring>

#include "base/TextOps.h"

namespace lumi {

namespace {

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

constexpr size_t FirstCapacity = 16;

} // namespace

const StringList::Entry* StringList::removedMark() {
    static const Entry mark{};
    return &mark;
}

bool StringList::find(std::string_view text, size_t hash) const {
    if (slots_.empty()) return false;
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (!slot.entry) return false;
        if (slot.hash == hash && slot.entry != removedMark() &&
            textSameAnyCase(slot.entry->text, text))
            return true;
    }
}

// Ensures one more entry can be indexed with the index at most three quarters taken; a
// rebuild leaves it at most half taken by live entries, removed marks gone.
void StringList::makeRoom() {
    if ((taken_ + 1) * 4 <= slots_.size() * 3) return;
    size_t capacity = FirstCapacity;
    while (capacity < (order_.size() + 1) * 2)
        capacity *= 2;
    rebuild(capacity);
}

void StringList::index(const Entry* entry) {
    const size_t mask = slots_.size() - 1;
    for (size_t i = entry->hash & mask;; i = (i + 1) & mask) {
        Slot& slot = slots_[i];
        if (!slot.entry || slot.entry == removedMark()) {
            if (!slot.entry) ++taken_;
            slot = {entry->hash, entry};
            return;
        }
    }
}

void StringList::unindex(const Entry* entry) {
    const size_t mask = slots_.size() - 1;
    for (size_t i = entry->hash & mask;; i = (i + 1) & mask) {
        if (slots_[i].entry == entry) {
            slots_[i].entry = removedMark();
            return;
        }
    }
}

// Builds the index anew, without removed marks; every entry of order_ is in it afterwards.
void StringList::rebuild(size_t capacity) {
    slots_.assign(capacity, Slot{});
    taken_ = 0;
    for (const auto& entry : order_)
        index(entry.get());
}

void StringList::append(std::string text, size_t hash) {
    makeRoom();
    auto entry = std::make_unique<Entry>(Entry{std::move(text), hash});
    index(entry.get());
    order_.push_back(std::move(entry));
}

void StringList::add(std::string text) {
    const size_t hash = foldedHash(text);
    append(std::move(text), hash);
}

bool StringList::addUnique(std::string text) {
    const size_t hash = foldedHash(text);
    if (find(text, hash)) return false;
    append(std::move(text), hash);
    return true;
}

void StringList::set(size_t i, std::string text) {
    Entry& entry = *order_.at(i);
    makeRoom();
    unindex(&entry);
    entry.hash = foldedHash(text);
    entry.text = std::move(text);
    index(&entry);
}

void StringList::removeAt(size_t i) {
    unindex(order_.at(i).get());
    order_.erase(order_.begin() + static_cast<std::ptrdiff_t>(i));
}

void StringList::clear() {
    order_.clear();
    slots_.clear();
    taken_ = 0;
}

bool StringList::contains(std::string_view text) const {
    return find(text, foldedHash(text));
}

long StringList::indexOf(std::string_view text) const {
    if (!contains(text)) return -1;
    for (size_t i = 0; i < order_.size(); ++i)
        if (textSameAnyCase(order_[i]->text, text)) return static_cast<long>(i);
    return -1;
}

} // namespace lumi
