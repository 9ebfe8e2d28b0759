// Bounds-checked access to file bytes.
//
// Every read of bytes that came from a file goes through ByteReader. A read
// that would run past the end delivers zeros, reads nothing, and leaves the
// reader failed (sticky), so a caller may do a run of reads and check ok()
// once at the end. ByteWriter appends to a growing byte vector; CursorWriter
// does the same for a writer of many small pieces, through room made ahead.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

using Bytes = std::vector<uint8_t>;
using ByteView = std::span<const uint8_t>;

inline ByteView AsBytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}
inline std::string_view AsText(ByteView bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The little-endian 32-bit value of the first four bytes of `bytes`, or 0
// when it holds fewer. The one place 32-bit little-endian numbers are put
// together; ByteReader and the field readers go through it.
inline uint32_t LoadU32LE(ByteView bytes) {
  if (bytes.size() < 4) return 0;
  return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
         (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

// The four bytes of `value`, little-endian: the counterpart of LoadU32LE,
// and the one place such numbers are taken apart (ByteWriter and the stored
// dates go through it).
inline std::array<uint8_t, 4> StoreU32LE(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

// Copies the first and the last sizeof(Word) bytes of the `count` (at
// least that many) at `in` to `to`: every byte, when count is at most twice
// the word.
template <class Word>
inline void CopyBothEnds(uint8_t* to, const uint8_t* in, size_t count) {
  Word head;
  Word tail;
  std::memcpy(&head, in, sizeof(Word));
  std::memcpy(&tail, in + count - sizeof(Word), sizeof(Word));
  std::memcpy(to, &head, sizeof(Word));
  std::memcpy(to + count - sizeof(Word), &tail, sizeof(Word));
}

// Copies `count` bytes from `from` to `to`, which do not overlap. Runs of
// up to 32 bytes (most texts of a record) are copied inline, as two
// overlapping loads and stores of 1, 4, 8 or 16 bytes each way, never past
// either end; longer ones by memcpy.
inline void CopyBytes(uint8_t* to, const void* from, size_t count) {
  struct Block16 {
    uint8_t bytes[16];
  };
  const auto* in = static_cast<const uint8_t*>(from);
  if (count > 32) {
    std::memcpy(to, in, count);
  } else if (count >= 16) {
    CopyBothEnds<Block16>(to, in, count);
  } else if (count >= 8) {
    CopyBothEnds<uint64_t>(to, in, count);
  } else if (count >= 4) {
    CopyBothEnds<uint32_t>(to, in, count);
  } else if (count > 0) {
    const uint8_t first = in[0];
    const uint8_t middle = in[count / 2];
    const uint8_t last = in[count - 1];
    to[0] = first;
    to[count / 2] = middle;
    to[count - 1] = last;
  }
}

class ByteReader {
 public:
  explicit ByteReader(ByteView bytes, size_t position = 0);

  bool ok() const { return ok_; }
  size_t position() const { return position_; }
  size_t size() const { return bytes_.size(); }
  size_t remaining() const { return position_ < bytes_.size() ? bytes_.size() - position_ : 0; }

  // Moves to an absolute position; a position past the end fails the reader.
  bool Seek(size_t position);
  bool Skip(size_t count);

  uint8_t ReadU8();
  uint16_t ReadU16BE();
  uint32_t ReadU32BE();
  uint16_t ReadU16LE();
  uint32_t ReadU32LE();
  // The next `count` bytes, or an empty view (and a failed reader) when fewer remain.
  ByteView Take(size_t count);
  // Copies exactly `out.size()` bytes; zero-fills and fails when fewer remain.
  bool Copy(std::span<uint8_t> out);
  bool Copy(std::span<char> out);

 private:
  bool Need(size_t count);

  ByteView bytes_;
  size_t position_ = 0;
  bool ok_ = true;
};

class ByteWriter {
 public:
  explicit ByteWriter(Bytes& out) : out_(out) {}

  // Inline: the import writes a few of these for every field of every row.
  void WriteU8(uint8_t value) { out_.push_back(value); }
  void WriteU16BE(uint32_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    Append(bytes);
  }
  void WriteU32BE(uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                              static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    Append(bytes);
  }
  void WriteU16LE(uint32_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    Append(bytes);
  }
  void WriteU32LE(uint32_t value) {
    const std::array<uint8_t, 4> bytes = StoreU32LE(value);
    Append(bytes.data(), bytes.size());
  }
  void WriteBytes(ByteView bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }
  void WriteBytes(std::span<const char> text);
  void WriteZeros(size_t count) { out_.insert(out_.end(), count, 0); }
  size_t size() const { return out_.size(); }

 private:
  // Grows by resize rather than a ranged insert: GCC 12 misjudges the
  // destination size of small ranged inserts into a freshly grown vector and
  // reports overflows that cannot happen.
  void Append(const uint8_t* bytes, size_t count) {
    const size_t at = out_.size();
    out_.resize(at + count);
    std::memcpy(out_.data() + at, bytes, count);
  }
  template <size_t N>
  void Append(const uint8_t (&bytes)[N]) {
    Append(bytes, N);
  }

  Bytes& out_;
};

// Appends to the end of a byte vector through a cursor: room for the bytes
// expected is made once, and each piece is then written at the cursor
// without going through the vector. Running out of room grows the vector,
// so the room asked for is a guess for speed, never a limit. Until Finish
// (or the destructor) the vector also holds the unused room, zeroed.
class CursorWriter {
 public:
  CursorWriter(Bytes& out, size_t expected) : out_(out), start_(out.size()) {
    out_.resize(start_ + expected);
    at_ = out_.data() + start_;
    end_ = out_.data() + out_.size();
  }
  CursorWriter(const CursorWriter&) = delete;
  CursorWriter& operator=(const CursorWriter&) = delete;
  ~CursorWriter() { Finish(); }

  // `count` bytes at the cursor, for the caller to fill; the cursor moves
  // past them.
  uint8_t* Take(size_t count) {
    if (static_cast<size_t>(end_ - at_) < count) Grow(count);
    uint8_t* const bytes = at_;
    at_ += count;
    return bytes;
  }
  void WriteU8(uint8_t value) { *Take(1) = value; }
  void WriteU16LE(uint32_t value) {
    uint8_t* const bytes = Take(2);
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
  }
  void WriteU32LE(uint32_t value) {
    const std::array<uint8_t, 4> bytes = StoreU32LE(value);
    std::memcpy(Take(bytes.size()), bytes.data(), bytes.size());
  }
  void WriteBytes(ByteView bytes) {
    if (!bytes.empty()) std::memcpy(Take(bytes.size()), bytes.data(), bytes.size());
  }
  void WriteZeros(size_t count) {
    if (count > 0) std::memset(Take(count), 0, count);
  }

  // Cuts the vector after the last byte written and returns how many were
  // written since the writer was made; nothing may be written after.
  size_t Finish() {
    const size_t written = static_cast<size_t>(at_ - (out_.data() + start_));
    out_.resize(start_ + written);
    at_ = end_ = out_.data() + out_.size();
    return written;
  }

 private:
  // Kept out of line: the room made ahead nearly always suffices.
  void Grow(size_t count);

  Bytes& out_;
  size_t start_;
  uint8_t* at_;
  uint8_t* end_;
};

}  // namespace qv
