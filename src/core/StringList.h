#pragma once
// An ordered list of 8-bit text lines whose whole-entry searches ignore the letter case of
// ASCII letters. A case-folded index beside the entries makes contains() constant-time, so
// duplicate tests stay cheap on lists that grow through a whole search.
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <deque>

namespace lumi {

class StringList {
public:
    size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    const std::string& operator[](size_t i) const { return items_[i]; }
    const std::string& front() const { return items_.front(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

    void add(std::string text);
    void set(size_t i, std::string text);
    void removeAt(size_t i);
    void removeFirst() { removeAt(0); }
    void clear();

    // Whole-entry search, letter case ignored.
    bool contains(std::string_view text) const;
    // Index of the first matching entry or -1.
    long indexOf(std::string_view text) const;

private:
    void indexAdd(const std::string& text);
    void indexRemove(const std::string& text);

    std::deque<std::string> items_; // deque: queues take from the front
    std::unordered_map<std::string, size_t> folded_; // case-folded entry -> how many entries
};

} // namespace lumi
