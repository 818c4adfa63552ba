#pragma once
// An ordered list of 8-bit text lines whose whole-entry searches ignore the letter case of
// ASCII letters. Each entry is stored once, in a hash index that folds letter case as it
// hashes and compares; the order lives in a deque of pointers to the index's entries, so
// duplicate tests are constant-time and allocate nothing.
#include <cstddef>
#include <deque>
#include <iterator>
#include <string>
#include <string_view>
#include <unordered_set>

namespace lumi {

class StringList {
    struct Entry {
        std::string text;
        size_t hash; // of the case-folded text, computed once
    };
    struct Probe {
        std::string_view text;
        size_t hash;
    };
    struct FoldedHash {
        using is_transparent = void;
        size_t operator()(const Entry& e) const { return e.hash; }
        size_t operator()(const Probe& p) const { return p.hash; }
    };
    struct FoldedEqual {
        using is_transparent = void;
        bool operator()(const auto& a, const auto& b) const;
    };
    using Index = std::unordered_multiset<Entry, FoldedHash, FoldedEqual>;
    using Order = std::deque<const Entry*>; // deque: queues take from the front

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
    static Probe probe(std::string_view text);
    const Entry* insert(std::string text, size_t hash);
    void erase(const Entry* entry);

    Index index_;
    Order order_;
};

} // namespace lumi
