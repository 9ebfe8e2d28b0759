#include "pdb/byte_io.h"

#include <algorithm>
#include <cstring>

namespace qv {

ByteReader::ByteReader(ByteView bytes, size_t position) : bytes_(bytes) { Seek(position); }

bool ByteReader::Seek(size_t position) {
  if (position > bytes_.size()) {
    ok_ = false;
    position_ = bytes_.size();
    return false;
  }
  position_ = position;
  return true;
}

bool ByteReader::Need(size_t count) {
  if (count > remaining()) {
    ok_ = false;
    position_ = bytes_.size();
    return false;
  }
  return true;
}

bool ByteReader::Skip(size_t count) {
  if (!Need(count)) return false;
  position_ += count;
  return true;
}

uint8_t ByteReader::ReadU8() {
  if (!Need(1)) return 0;
  return bytes_[position_++];
}

uint16_t ByteReader::ReadU16BE() {
  if (!Need(2)) return 0;
  const uint16_t value = static_cast<uint16_t>((bytes_[position_] << 8) | bytes_[position_ + 1]);
  position_ += 2;
  return value;
}

uint32_t ByteReader::ReadU32BE() {
  if (!Need(4)) return 0;
  uint32_t value = 0;
  for (int k = 0; k < 4; ++k) value = (value << 8) | bytes_[position_ + k];
  position_ += 4;
  return value;
}

uint16_t ByteReader::ReadU16LE() {
  if (!Need(2)) return 0;
  const uint16_t value = static_cast<uint16_t>(bytes_[position_] | (bytes_[position_ + 1] << 8));
  position_ += 2;
  return value;
}

uint32_t ByteReader::ReadU32LE() {
  if (!Need(4)) return 0;
  const uint32_t value = LoadU32LE(bytes_.subspan(position_, 4));
  position_ += 4;
  return value;
}

ByteView ByteReader::Take(size_t count) {
  if (!Need(count)) return {};
  ByteView view = bytes_.subspan(position_, count);
  position_ += count;
  return view;
}

bool ByteReader::Copy(std::span<uint8_t> out) {
  if (!Need(out.size())) {
    std::fill(out.begin(), out.end(), 0);
    return false;
  }
  std::memcpy(out.data(), bytes_.data() + position_, out.size());
  position_ += out.size();
  return true;
}

bool ByteReader::Copy(std::span<char> out) {
  return Copy(std::span<uint8_t>(reinterpret_cast<uint8_t*>(out.data()), out.size()));
}

void ByteWriter::WriteBytes(std::span<const char> text) {
  WriteBytes(ByteView(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

[[gnu::noinline]] void CursorWriter::Grow(size_t count) {
  // The vector's capacity grows geometrically, so records larger than
  // expected cost few copies.
  const size_t used = static_cast<size_t>(at_ - out_.data());
  out_.resize(used + count + 256);
  at_ = out_.data() + used;
  end_ = out_.data() + out_.size();
}

}  // namespace qv
