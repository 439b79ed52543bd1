// The byte ring over boost::circular_buffer<unsigned char>.
//
// Every state change goes through the container's own operations, so the
// positions (and with them ReadBuffer's pieces and IsLinearized) are exactly
// the container's. Only the overwrite of a full ring takes a shorter road
// than the container's element-by-element range insert: the bytes are copied
// with memcpy into the two array ranges, starting at the oldest byte, and the
// ring is then rotated, which for a full container only moves its start
// position. The result is the state the range insert would have left.
#include <OskaBase/CircularBuffer.h>

#include <algorithm>
#include <cstring>

namespace Oska {
namespace Base {

CCircularBuffer::CCircularBuffer(size_t capacity) : m_buffer(capacity), m_capacity(capacity) {}

CCircularBuffer::CCircularBuffer(const CCircularBuffer& other)
    : m_buffer(other.m_buffer), m_capacity(other.m_capacity) {}

CCircularBuffer& CCircularBuffer::operator=(const CCircularBuffer& other) {
  if (this != &other) {
    // The container's assignment builds the new storage before it lets go of
    // the old one, so a throw leaves this ring as it was.
    m_buffer = other.m_buffer;
    m_capacity = other.m_capacity;
  }
  return *this;
}

CCircularBuffer::~CCircularBuffer() = default;

size_t CCircularBuffer::GetBufferCapacity() const { return m_capacity; }

size_t CCircularBuffer::GetBufferSize() const { return m_buffer.size(); }

bool CCircularBuffer::WriteBuffer(const uint8_t* data, size_t len) {
  if (len > m_capacity) return false;
  if (len == 0 || m_buffer.capacity() == 0) return true;

  // Free slots first: only an insert can make the container grow.
  const size_t free_slots = m_buffer.capacity() - m_buffer.size();
  const size_t fill = std::min(len, free_slots);
  if (fill > 0) {
    m_buffer.insert(m_buffer.end(), data, data + fill);
    data += fill;
    len -= fill;
  }
  if (len == 0) return true;

  // The ring is full now: the remaining bytes replace the oldest ones, which
  // start at the oldest position and may wrap to the storage start.
  const auto one = m_buffer.array_one();
  const auto two = m_buffer.array_two();
  const size_t head = std::min(len, one.second);
  std::memcpy(one.first, data, head);
  if (len > head) std::memcpy(two.first, data + head, len - head);
  // Rotating a full container only moves its start, by the bytes just
  // overwritten; a write of the whole capacity leaves the start where it was.
  if (len < m_buffer.capacity()) m_buffer.rotate(m_buffer.begin() + static_cast<std::ptrdiff_t>(len));
  return true;
}

void CCircularBuffer::ReadBuffer(std::pair<uint8_t*, size_t>& first,
                                 std::pair<uint8_t*, size_t>& second) {
  const auto one = m_buffer.array_one();
  const auto two = m_buffer.array_two();
  first = std::make_pair(one.first, one.second);
  second = std::make_pair(two.first, two.second);
}

void CCircularBuffer::ReadBuffer(std::pair<uint8_t*, size_t>& first,
                                 std::pair<uint8_t*, size_t>& second, size_t limit) {
  ReadBuffer(first, second);
  if (first.second >= limit) {
    first.second = limit;
    second.second = 0;
  } else {
    second.second = std::min(second.second, limit - first.second);
  }
}

uint8_t* CCircularBuffer::Linearize() { return m_buffer.linearize(); }

bool CCircularBuffer::IsLinearized() const { return m_buffer.is_linearized(); }

void CCircularBuffer::EraseBegin(size_t n) { m_buffer.erase_begin(std::min(n, m_buffer.size())); }

void CCircularBuffer::EraseeEnd(size_t n) { m_buffer.erase_end(std::min(n, m_buffer.size())); }

void CCircularBuffer::Clear() { m_buffer.clear(); }

}  // namespace Base
}  // namespace Oska
