#pragma once
// A cache bounded by the summed cost of what it holds: putting in beyond the bound drops the
// least recently used entries first. Looking an entry up makes it the most recently used.
#include <cstddef>
#include <list>
#include <string>
#include <unordered_map>
#include <utility>

namespace lumi {

template <class Value>
class LruCache {
public:
    explicit LruCache(size_t maxCost) : maxCost_(maxCost) {}

    // The entry of key, or nullptr.
    const Value* find(const std::string& key) {
        const auto it = index_.find(key);
        if (it == index_.end()) return nullptr;
        order_.splice(order_.begin(), order_, it->second);
        return &it->second->value;
    }

    // An entry dearer than the whole bound is not kept.
    void put(const std::string& key, Value value, size_t cost) {
        remove(key);
        if (cost > maxCost_) return;
        order_.push_front({key, std::move(value), cost});
        index_[key] = order_.begin();
        cost_ += cost;
        while (cost_ > maxCost_)
            remove(order_.back().key);
    }

    void remove(const std::string& key) {
        const auto it = index_.find(key);
        if (it == index_.end()) return;
        cost_ -= it->second->cost;
        order_.erase(it->second);
        index_.erase(it);
    }

    size_t cost() const { return cost_; }
    size_t size() const { return index_.size(); }

private:
    struct Entry {
        std::string key;
        Value value;
        size_t cost;
    };
    size_t maxCost_;
    size_t cost_ = 0;
    std::list<Entry> order_; // most recently used first
    std::unordered_map<std::string, typename std::list<Entry>::iterator> index_;
};

} // namespace lumi
