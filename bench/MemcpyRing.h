// The ceiling for the ring benchmark: a byte ring that copies a write with
// at most two memcpy calls and keeps only two indices. Same overwrite rule
// as CCircularBuffer (the newest capacity bytes stay).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace bench_ring {

class MemcpyRing {
 public:
  explicit MemcpyRing(std::size_t capacity) : storage_(capacity) {}

  bool Write(const std::uint8_t* data, std::size_t len) {
    const std::size_t capacity = storage_.size();
    if (len > capacity) return false;
    if (len == 0) return true;
    const std::size_t end = (first_ + size_) % capacity;
    const std::size_t head = std::min(len, capacity - end);
    std::memcpy(&storage_[end], data, head);
    std::memcpy(&storage_[0], data + head, len - head);
    const std::size_t grown = std::min(len, capacity - size_);
    first_ = (first_ + len - grown) % capacity;
    size_ += grown;
    return true;
  }

  void Read(std::pair<std::uint8_t*, std::size_t>& first, std::pair<std::uint8_t*, std::size_t>& second) {
    const std::size_t head = std::min(size_, storage_.size() - first_);
    first = {storage_.data() + first_, head};
    second = {storage_.data(), size_ - head};
  }

  void EraseBegin(std::size_t n) {
    n = std::min(n, size_);
    first_ = (first_ + n) % storage_.size();
    size_ -= n;
  }

 private:
  std::vector<std::uint8_t> storage_;
  std::size_t first_ = 0;
  std::size_t size_ = 0;
};

}  // namespace bench_ring
