#include "net/WSockbuf.h"

#include <algorithm>
#include <cstring>

namespace lumi {

SendBlock::SendBlock(int size)
    : size_(static_cast<size_t>(size > 0 ? size : defaultSendBlockSize)) {
    data_ = std::make_unique<char[]>(size_);
}

size_t SendBlock::write(const char* data, size_t len) {
    const size_t n = std::min(len, size_ - writeCount_);
    if (n > 0) std::memcpy(data_.get() + writeCount_, data, n);
    writeCount_ += n;
    return n;
}

std::string_view SendBlock::peek() const {
    return {data_.get() + readCount_, writeCount_ - readCount_};
}

void SendBlock::remove(size_t n) {
    readCount_ = std::min(writeCount_, readCount_ + n);
    if (readCount_ == writeCount_) readCount_ = writeCount_ = 0;
}

void SendBufferChain::append(const char* data, size_t len) {
    if (blocks_.empty()) blocks_.emplace_back();
    while (len > 0) {
        const size_t n = blocks_.back().write(data, len);
        data += n;
        len -= n;
        if (len > 0) blocks_.emplace_back();
    }
}

bool SendBufferChain::empty() const {
    return std::all_of(blocks_.begin(), blocks_.end(),
                       [](const SendBlock& b) { return b.empty(); });
}

SendBlock* SendBufferChain::first() {
    return blocks_.empty() ? nullptr : &blocks_.front();
}

void SendBufferChain::dropFirstIfDone() {
    if (blocks_.size() > 1 && blocks_.front().empty()) blocks_.pop_front();
}

} // namespace lumi
