// Bounds-checked access to file bytes.
//
// Every read of bytes that came from a file goes through ByteReader. A read
// that would run past the end delivers zeros, reads nothing, and leaves the
// reader failed (sticky), so a caller may do a run of reads and check ok()
// once at the end. ByteWriter appends to a growing byte vector.
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

}  // namespace qv
