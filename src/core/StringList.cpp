#include "core/StringList.h"

#include "core/TextOps.h"

namespace lumi {

void StringList::indexAdd(const std::string& text) { ++folded_[textLower(text)]; }

void StringList::indexRemove(const std::string& text) {
    const auto it = folded_.find(textLower(text));
    if (it != folded_.end() && --it->second == 0) folded_.erase(it);
}

void StringList::add(std::string text) {
    indexAdd(text);
    items_.push_back(std::move(text));
}

void StringList::set(size_t i, std::string text) {
    indexRemove(items_.at(i));
    indexAdd(text);
    items_[i] = std::move(text);
}

void StringList::removeAt(size_t i) {
    indexRemove(items_.at(i));
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
}

void StringList::clear() {
    items_.clear();
    folded_.clear();
}

bool StringList::contains(std::string_view text) const {
    return folded_.find(textLower(text)) != folded_.end();
}

long StringList::indexOf(std::string_view text) const {
    if (!contains(text)) return -1;
    for (size_t i = 0; i < items_.size(); ++i)
        if (textSameAnyCase(items_[i], text)) return static_cast<long>(i);
    return -1;
}

} // namespace lumi
