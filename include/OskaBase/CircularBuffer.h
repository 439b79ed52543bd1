// CCircularBuffer: a fixed-capacity byte ring. A producer appends with
// WriteBuffer; a consumer looks at the stored bytes in place as at most two
// contiguous pieces (ReadBuffer) and then discards what it consumed
// (EraseBegin). A write that does not fit into the free space overwrites the
// oldest bytes, so the ring always holds the newest bytes written.
//
// The ring is a boost::circular_buffer<unsigned char>; its positions follow
// that container's rules exactly (where the oldest byte sits after writes,
// erases and clears, when the content counts as linearized).
//
// Ownership: the object owns one storage block of exactly capacity bytes
// (none for capacity 0), allocated by the constructor, a copy or an
// assignment and released by the destructor. Writes, reads, erases and clears
// never allocate.
//
// Threads: no lock is taken. One object may be used from several threads
// (say a producer writing and a consumer reading and erasing) only if the
// caller serialises every call.
//
// Pointers handed out by ReadBuffer and Linearize stay valid until the next
// call that modifies the ring (write, erase, clear, linearize, assignment,
// destruction); bytes that a later write overwrites change under them.
//
// Worked example, capacity 8:
//   WriteBuffer("ABCDEF", 6); EraseBegin(4); WriteBuffer("GHIJ", 4);
//   ReadBuffer(first, second)     -> first == "EFGH" (to the end of the
//                                    storage), second == "IJ"
//   ReadBuffer(first, second, 3)  -> first == "EFG", second.second == 0
//   ReadBuffer(first, second, 5)  -> first == "EFGH", second == "I"
//   IsLinearized() == false; Linearize() == storage start holding "EFGHIJ"
//   EraseeEnd(2)                  -> content "EFGH"
#pragma once

#include <OskaBase/Export.h>

#include <boost/circular_buffer.hpp>

#include <cstddef>
#include <cstdint>
#include <utility>

namespace Oska {
namespace Base {

class OSKABASE_API CCircularBuffer {
 public:
  // An empty ring able to hold `capacity` bytes. Not explicit, so a ring can
  // be initialised from its capacity. Throws std::length_error with the text
  // "circular_buffer" (through boost::throw_exception, so it is also a
  // boost::exception) when capacity exceeds 0x7FFFFFFFFFFFFFFF, and
  // std::bad_alloc when the storage cannot be had.
  CCircularBuffer(size_t capacity);

  // A deep copy with storage of its own: the source's bytes, oldest first,
  // at the start of the new storage (the copy is linearized), with the
  // source's size and capacity. Later changes to either ring do not affect
  // the other. Throws as the constructor.
  CCircularBuffer(const CCircularBuffer& other);

  // Self-assignment does nothing. Otherwise new storage of the source's
  // capacity is filled as by the copy constructor before the old storage is
  // released; if that throws, this ring is left unchanged.
  CCircularBuffer& operator=(const CCircularBuffer& other);

  // Releases the storage.
  ~CCircularBuffer();

  // The capacity given at construction (or taken over by assignment).
  size_t GetBufferCapacity() const;

  // The number of bytes stored, 0 to capacity.
  size_t GetBufferSize() const;

  // Appends `len` bytes from `data`, which must point to that many readable
  // bytes (the ring cannot check it). Returns false, changing nothing, when
  // len > capacity. Otherwise the bytes fill the free space after the newest
  // byte and any remainder overwrites the oldest bytes, so the ring keeps
  // the newest capacity-many bytes of (old content, data); returns true.
  // len 0 returns true and changes nothing (data may then be null). Copies
  // exactly len bytes.
  //   capacity 8: WriteBuffer("ABCDE", 5); WriteBuffer("FGHIJ", 5)
  //   -> both true, content "CDEFGHIJ"
  bool WriteBuffer(const uint8_t* data, size_t len);

  // Exposes the stored bytes, oldest first, as two pieces pointing into the
  // ring's storage: `first` from the oldest byte up to the newest or to the
  // end of the storage, `second` from the start of the storage when the
  // content wraps (length 0 otherwise). first.second + second.second ==
  // GetBufferSize(). Consumes nothing. A ring of capacity 0 gives two null
  // pointers with length 0.
  void ReadBuffer(std::pair<uint8_t*, size_t>& first, std::pair<uint8_t*, size_t>& second);

  // As above, with the lengths cut to at most `limit` bytes in total, taken
  // from `first` before `second`. The pointers are those of the uncut read.
  void ReadBuffer(std::pair<uint8_t*, size_t>& first, std::pair<uint8_t*, size_t>& second,
                  size_t limit);

  // Makes the content one contiguous piece and returns its start. An empty
  // ring returns null. A ring that IsLinearized() returns the oldest byte's
  // position and moves nothing (not necessarily the storage start).
  // Otherwise the bytes are rotated in place, without extra memory, so that
  // the oldest byte is at the start of the storage, which is returned.
  uint8_t* Linearize();

  // True when the oldest position is before the position one past the
  // newest byte, or the latter is the start of the storage. This rule alone
  // decides, whatever the size: an empty ring whose positions are not at the
  // storage start (after writes and a Clear) is not linearized, and a full
  // ring whose oldest byte is at the storage start is.
  bool IsLinearized() const;

  // Discards the n oldest bytes without touching any. An n above
  // GetBufferSize() is clamped to it (the ring is emptied), so the ring stays
  // consistent whatever the caller passes.
  void EraseBegin(size_t n);

  // Discards the n newest bytes. An n above GetBufferSize() is clamped to it,
  // as for EraseBegin.
  void EraseeEnd(size_t n);

  // Discards every byte: the oldest position moves on to meet the newest.
  // The capacity and the storage stay.
  void Clear();

 private:
  boost::circular_buffer<unsigned char> m_buffer;
  size_t m_capacity;
};

}  // namespace Base
}  // namespace Oska
