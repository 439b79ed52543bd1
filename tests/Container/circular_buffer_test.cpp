// CCircularBuffer: the worked states, a random walk against a model that
// tracks both the content and the container's positions, copies, the
// capacity limit and the promise that nothing allocates after construction.
#include <OskaBase/CircularBuffer.h>

#include <gtest/gtest.h>

#include <boost/exception/exception.hpp>

#include <atomic>
#include <cstdlib>
#include <deque>
#include <limits>
#include <new>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

// Every allocation in the process is counted, the library's included, so a
// test can prove that a stretch of calls allocated nothing.
// A test can also make the next allocation fail.
namespace {
std::atomic<long> g_allocations{0};
std::atomic<bool> g_fail_next_allocation{false};
}  // namespace

// GCC pairs these with the malloc/free inside them once they are inlined and
// warns of a mismatch that is not one: the replacements are the pair.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (g_fail_next_allocation.exchange(false)) throw std::bad_alloc();
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {

using Oska::Base::CCircularBuffer;
using Piece = std::pair<uint8_t*, size_t>;

bool Write(CCircularBuffer& ring, const std::string& text) {
  return ring.WriteBuffer(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

std::string Text(const Piece& piece) {
  return std::string(reinterpret_cast<const char*>(piece.first), piece.second);
}

// The content, oldest first, read through the two pieces.
std::string Content(CCircularBuffer& ring) {
  Piece first, second;
  ring.ReadBuffer(first, second);
  return Text(first) + Text(second);
}

// The start of the storage: the second piece always points there.
uint8_t* StorageStart(CCircularBuffer& ring) {
  Piece first, second;
  ring.ReadBuffer(first, second);
  return second.first;
}

TEST(CircularBuffer, StartsEmptyWithItsCapacity) {
  CCircularBuffer ring(16);
  EXPECT_EQ(ring.GetBufferCapacity(), 16u);
  EXPECT_EQ(ring.GetBufferSize(), 0u);
  EXPECT_TRUE(ring.IsLinearized());
  EXPECT_EQ(ring.Linearize(), nullptr);
  Piece first, second;
  ring.ReadBuffer(first, second);
  EXPECT_EQ(first.second + second.second, 0u);
}

TEST(CircularBuffer, CapacityZeroTakesOnlyEmptyWrites) {
  CCircularBuffer ring(0);
  EXPECT_TRUE(ring.WriteBuffer(nullptr, 0));
  const uint8_t byte = 1;
  EXPECT_FALSE(ring.WriteBuffer(&byte, 1));
  Piece first{&const_cast<uint8_t&>(byte), 9}, second{&const_cast<uint8_t&>(byte), 9};
  ring.ReadBuffer(first, second);
  EXPECT_EQ(first, Piece(nullptr, 0));
  EXPECT_EQ(second, Piece(nullptr, 0));
  EXPECT_EQ(ring.Linearize(), nullptr);
  ring.EraseBegin(3);
  ring.EraseeEnd(3);
  ring.Clear();
  EXPECT_EQ(ring.GetBufferSize(), 0u);
}

TEST(CircularBuffer, ImpossibleCapacityThrowsLengthError) {
  const size_t too_big = static_cast<size_t>(std::numeric_limits<std::ptrdiff_t>::max()) + 1;
  try {
    CCircularBuffer ring(too_big);
    FAIL() << "no exception";
  } catch (const std::length_error& e) {
    EXPECT_STREQ(e.what(), "circular_buffer");
    EXPECT_NE(dynamic_cast<const boost::exception*>(&e), nullptr);
  }
  EXPECT_THROW(CCircularBuffer{std::numeric_limits<size_t>::max()}, std::logic_error);
}

TEST(CircularBuffer, OverflowingWriteKeepsTheNewestBytes) {
  CCircularBuffer ring(8);
  EXPECT_TRUE(Write(ring, "ABCDE"));
  EXPECT_TRUE(Write(ring, "FGHIJ"));
  EXPECT_EQ(ring.GetBufferSize(), 8u);
  EXPECT_EQ(Content(ring), "CDEFGHIJ");
  // A write of the whole capacity replaces everything.
  EXPECT_TRUE(Write(ring, "01234567"));
  EXPECT_EQ(Content(ring), "01234567");
  // Overwriting a full ring keeps going around it.
  EXPECT_TRUE(Write(ring, "xyz"));
  EXPECT_EQ(Content(ring), "34567xyz");
}

TEST(CircularBuffer, WrappedContentReadsAsTwoPiecesAndLinearizesInPlace) {
  CCircularBuffer ring(8);
  ASSERT_TRUE(Write(ring, "ABCDEF"));
  ring.EraseBegin(4);
  ASSERT_TRUE(Write(ring, "GHIJ"));
  uint8_t* start = StorageStart(ring);

  Piece first, second;
  ring.ReadBuffer(first, second);
  EXPECT_EQ(Text(first), "EFGH");
  EXPECT_EQ(first.first, start + 4);
  EXPECT_EQ(Text(second), "IJ");
  EXPECT_EQ(second.first, start);

  ring.ReadBuffer(first, second, 3);
  EXPECT_EQ(Text(first), "EFG");
  EXPECT_EQ(second.second, 0u);
  EXPECT_EQ(second.first, start);
  ring.ReadBuffer(first, second, 5);
  EXPECT_EQ(Text(first), "EFGH");
  EXPECT_EQ(Text(second), "I");
  ring.ReadBuffer(first, second, 100);
  EXPECT_EQ(Text(first) + Text(second), "EFGHIJ");

  EXPECT_FALSE(ring.IsLinearized());
  EXPECT_EQ(ring.Linearize(), start);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(start), 6), "EFGHIJ");
  ring.ReadBuffer(first, second);
  EXPECT_EQ(Text(first), "EFGHIJ");
  EXPECT_EQ(second.second, 0u);
  EXPECT_TRUE(ring.IsLinearized());

  ring.EraseeEnd(2);
  EXPECT_EQ(Content(ring), "EFGH");
  ring.Clear();
  EXPECT_EQ(ring.GetBufferSize(), 0u);
  EXPECT_EQ(ring.GetBufferCapacity(), 8u);
}

TEST(CircularBuffer, CopiesAreLinearizedAndIndependent) {
  CCircularBuffer ring(8);
  ASSERT_TRUE(Write(ring, "ABCDEF"));
  ring.EraseBegin(4);
  ASSERT_TRUE(Write(ring, "GHIJ"));

  CCircularBuffer copy(ring);
  EXPECT_EQ(copy.GetBufferCapacity(), 8u);
  EXPECT_EQ(copy.GetBufferSize(), 6u);
  EXPECT_TRUE(copy.IsLinearized());
  EXPECT_EQ(Content(copy), "EFGHIJ");
  EXPECT_NE(StorageStart(copy), StorageStart(ring));

  ASSERT_TRUE(Write(copy, "xy"));
  ring.EraseBegin(1);
  EXPECT_EQ(Content(copy), "EFGHIJxy");
  EXPECT_EQ(Content(ring), "FGHIJ");

  CCircularBuffer assigned(3);
  ASSERT_TRUE(Write(assigned, "abc"));
  assigned = ring;
  EXPECT_EQ(assigned.GetBufferCapacity(), 8u);
  EXPECT_EQ(Content(assigned), "FGHIJ");
  EXPECT_TRUE(assigned.IsLinearized());
  ring.Clear();
  EXPECT_EQ(Content(assigned), "FGHIJ");

  CCircularBuffer& self = assigned;
  uint8_t* before = StorageStart(assigned);
  assigned = self;
  EXPECT_EQ(StorageStart(assigned), before);
  EXPECT_EQ(Content(assigned), "FGHIJ");
}

TEST(CircularBuffer, FailedAssignmentLeavesTheTargetUnchanged) {
  CCircularBuffer source(16);
  ASSERT_TRUE(Write(source, "source"));
  CCircularBuffer target(8);
  ASSERT_TRUE(Write(target, "ABCDEF"));
  target.EraseBegin(4);
  ASSERT_TRUE(Write(target, "GHIJ"));
  uint8_t* storage = StorageStart(target);

  g_fail_next_allocation = true;
  EXPECT_THROW(target = source, std::bad_alloc);
  EXPECT_EQ(target.GetBufferCapacity(), 8u);
  EXPECT_EQ(Content(target), "EFGHIJ");
  EXPECT_EQ(StorageStart(target), storage);
  EXPECT_FALSE(target.IsLinearized());

  g_fail_next_allocation = true;
  EXPECT_THROW(CCircularBuffer{source}, std::bad_alloc);
  target = source;
  EXPECT_EQ(Content(target), "source");
}

TEST(CircularBuffer, NothingAllocatesAfterConstruction) {
  CCircularBuffer ring(1024);
  std::vector<uint8_t> packet(300, 0x5A);
  Piece first, second;
  const long before = g_allocations.load();
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(ring.WriteBuffer(packet.data(), packet.size()));
    ring.ReadBuffer(first, second, 200);
    ring.EraseBegin(first.second + second.second);
    if (i % 7 == 0) ring.Linearize();
    if (i % 11 == 0) ring.EraseeEnd(10);
    if (i % 13 == 0) ring.Clear();
  }
  EXPECT_EQ(g_allocations.load(), before);
}

// The expected state: the newest capacity bytes written, and the container's
// positions (oldest index, size) moved as its operations move them.
class RingModel {
 public:
  explicit RingModel(size_t capacity) : capacity_(capacity) {}

  void Write(const std::vector<uint8_t>& data) {
    if (data.size() > capacity_) return;
    for (uint8_t b : data) {
      bytes_.push_back(b);
      if (bytes_.size() > capacity_) bytes_.pop_front();
    }
    const size_t fill = std::min(data.size(), capacity_ - size_);
    size_ += fill;
    oldest_ = (oldest_ + data.size() - fill) % capacity_;
  }
  void EraseBegin(size_t n) {
    n = std::min(n, size_);
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(n));
    oldest_ = (oldest_ + n) % capacity_;
    size_ -= n;
  }
  void EraseEnd(size_t n) {
    n = std::min(n, size_);
    bytes_.resize(bytes_.size() - n);
    size_ -= n;
  }
  void Clear() {
    bytes_.clear();
    oldest_ = (oldest_ + size_) % capacity_;
    size_ = 0;
  }
  bool IsLinearized() const {
    const size_t newest_end = (oldest_ + size_) % capacity_;
    return oldest_ < newest_end || newest_end == 0;
  }
  // Returns the expected offset of Linearize's result, or -1 for null.
  long Linearize() {
    if (size_ == 0) return -1;
    if (!IsLinearized()) oldest_ = 0;
    return static_cast<long>(oldest_);
  }

  const std::deque<uint8_t>& bytes() const { return bytes_; }
  size_t oldest() const { return oldest_; }
  size_t size() const { return size_; }
  size_t FirstLength() const { return std::min(size_, capacity_ - oldest_); }

 private:
  size_t capacity_;
  std::deque<uint8_t> bytes_;
  size_t oldest_ = 0;
  size_t size_ = 0;
};

void ExpectSame(CCircularBuffer& ring, const RingModel& model, int step) {
  SCOPED_TRACE("step " + std::to_string(step));
  ASSERT_EQ(ring.GetBufferSize(), model.size());
  ASSERT_EQ(ring.IsLinearized(), model.IsLinearized());
  Piece first, second;
  ring.ReadBuffer(first, second);
  ASSERT_EQ(first.first, second.first + model.oldest());
  ASSERT_EQ(first.second, model.FirstLength());
  std::vector<uint8_t> seen(first.first, first.first + first.second);
  seen.insert(seen.end(), second.first, second.first + second.second);
  ASSERT_TRUE(std::equal(seen.begin(), seen.end(), model.bytes().begin(), model.bytes().end()));
}

TEST(CircularBuffer, RandomOperationsMatchTheModel) {
  std::mt19937 rng(20261206);
  for (size_t capacity : {1u, 2u, 7u, 64u, 1000u}) {
    SCOPED_TRACE("capacity " + std::to_string(capacity));
    CCircularBuffer ring(capacity);
    RingModel model(capacity);
    std::uniform_int_distribution<int> op(0, 99);
    for (int step = 0; step < 4000; ++step) {
      const int what = op(rng);
      if (what < 50) {
        std::vector<uint8_t> data(std::uniform_int_distribution<size_t>(0, capacity + 1)(rng));
        for (auto& b : data) b = static_cast<uint8_t>(rng());
        EXPECT_EQ(ring.WriteBuffer(data.data(), data.size()), data.size() <= capacity);
        model.Write(data);
      } else if (what < 75) {
        const size_t limit = std::uniform_int_distribution<size_t>(0, capacity + 2)(rng);
        Piece first, second;
        ring.ReadBuffer(first, second, limit);
        ASSERT_EQ(first.second + second.second, std::min(limit, model.size()));
        ring.EraseBegin(first.second + second.second);
        model.EraseBegin(first.second + second.second);
      } else if (what < 85) {
        const size_t n = std::uniform_int_distribution<size_t>(0, capacity + 2)(rng);
        ring.EraseeEnd(n);
        model.EraseEnd(n);
      } else if (what < 90) {
        ring.Clear();
        model.Clear();
      } else if (what < 95) {
        uint8_t* start = StorageStart(ring);
        const long expected = model.Linearize();
        uint8_t* got = ring.Linearize();
        ASSERT_EQ(got, expected < 0 ? nullptr : start + expected);
      } else {
        CCircularBuffer copy(ring);
        ring = copy;
        // The copy is linearized at the start of its own storage.
        RingModel relinearized(capacity);
        relinearized.Write({model.bytes().begin(), model.bytes().end()});
        model = relinearized;
      }
      ExpectSame(ring, model, step);
      if (HasFatalFailure()) return;
    }
  }
}

}  // namespace
