#pragma once
// BodyReadSize: how many bytes the next read of a body asks for. It doubles while reads come
// back full (a fast link: more is waiting) up to maxBodyRead, and halves while they come back
// less than half full, so a slow or idle connection holds little memory.
#include <algorithm>

namespace lumi {

inline constexpr int minBodyRead = 8 * 1024;
inline constexpr int maxBodyRead = 256 * 1024;

class BodyReadSize {
public:
    int next() const { return size_; }
    void after(int got) {
        if (got >= size_)
            size_ = std::min(size_ * 2, maxBodyRead);
        else if (got < size_ / 2)
            size_ = std::max(size_ / 2, minBodyRead);
    }

private:
    int size_ = minBodyRead;
};

} // namespace lumi
