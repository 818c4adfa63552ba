#pragma once
// An ordered list of 8-bit text lines whose whole-entry searches ignore the letter case of
// ASCII letters. Each entry is stored once; beside the order, a flat open-addressing index
// holds each entry's case-folded hash and address, so a duplicate test looks at one run of
// index slots and at an entry's text only when the hashes agree: constant time, no
// allocation, few cache misses on lists that grow through a whole search.
#include <cstddef>
#include <deque>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lumi {

class StringList {
    struct Entry {
        std::string text;
        size_t hash; // of the case-folded text, computed once
    };
    using Order = std::deque<std::unique_ptr<Entry>>; // deque: queues take from the front

public:
    class const_iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = std::string;
        using difference_type = std::ptrdiff_t;
        using pointer = const std::string*;
        using reference = const std::string&;
        const_iterator() = default;
        explicit const_iterator(Order::const_iterator at) : at_(at) {}
        reference operator*() const { return (*at_)->text; }
        pointer operator->() const { return &(*at_)->text; }
        const_iterator& operator++() {
            ++at_;
            return *this;
        }
        const_iterator operator++(int) { return const_iterator(at_++); }
        difference_type operator-(const const_iterator& other) const { return at_ - other.at_; }
        bool operator==(const const_iterator& other) const = default;

    private:
        Order::const_iterator at_;
    };

    StringList() = default;
    StringList(StringList&&) noexcept = default;
    StringList& operator=(StringList&&) noexcept = default;

    size_t size() const { return order_.size(); }
    bool empty() const { return order_.empty(); }
    const std::string& operator[](size_t i) const { return order_[i]->text; }
    const std::string& front() const { return order_.front()->text; }
    const_iterator begin() const { return const_iterator(order_.begin()); }
    const_iterator end() const { return const_iterator(order_.end()); }

    void add(std::string text);
    // Adds text unless an entry equal to it (letter case ignored) is there; false then.
    bool addUnique(std::string text);
    void set(size_t i, std::string text);
    void removeAt(size_t i);
    void removeFirst() { removeAt(0); }
    void clear();

    // Whole-entry search, letter case ignored.
    bool contains(std::string_view text) const;
    // Index of the first matching entry or -1.
    long indexOf(std::string_view text) const;

private:
    struct Slot {
        size_t hash = 0;
        const Entry* entry = nullptr; // null: never used; removedMark(): used before
    };
    static const Entry* removedMark();
    bool find(std::string_view text, size_t hash) const;
    void append(std::string text, size_t hash);
    void makeRoom();
    void index(const Entry* entry);
    void unindex(const Entry* entry);
    void rebuild(size_t capacity);

    Order order_;
    std::vector<Slot> slots_; // a power of two long, at most three quarters taken
    size_t taken_ = 0;        // slots holding an entry or the removed mark
};

} // namespace lumi
