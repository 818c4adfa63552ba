#pragma once
// Send buffers of TWSocket: fixed blocks (1514 bytes by default) that queue outgoing bytes
// until the network takes them. A block is reused once everything in it has been read.
#include <cstddef>
#include <deque>
#include <memory>
#include <string_view>

namespace lumi {

inline constexpr int defaultSendBlockSize = 1514;

class SendBlock {
public:
    // A size of 0 or less gives the default size.
    explicit SendBlock(int size = defaultSendBlockSize);
    // Copies as much as fits behind the written bytes; returns the number copied.
    size_t write(const char* data, size_t len);
    // The unread part.
    std::string_view peek() const;
    // Marks n bytes read; when all is read, both counts return to 0 so the block is reused.
    void remove(size_t n);
    size_t size() const { return size_; }
    bool empty() const { return readCount_ == writeCount_; }

private:
    std::unique_ptr<char[]> data_;
    size_t size_;
    size_t writeCount_ = 0;
    size_t readCount_ = 0;
};

// The socket's queue of blocks: new data fills the last block, then new blocks.
class SendBufferChain {
public:
    void append(const char* data, size_t len);
    bool empty() const;
    // The first block, or nullptr when there is none.
    SendBlock* first();
    // Frees the first block when it is empty and another follows.
    void dropFirstIfDone();
    void clear() { blocks_.clear(); }
    size_t blockCount() const { return blocks_.size(); }

private:
    std::deque<SendBlock> blocks_;
};

} // namespace lumi
