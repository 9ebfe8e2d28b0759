// Finding the next byte that matters in a run of CSV text.
//
// CSV text is mostly plain characters with an occasional separator, quote
// or line end; testing 16 bytes per step with SSE2 where the compiler
// targets it, and eight per step with word arithmetic elsewhere, keeps the
// long runs (notes, addresses) cheap.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace qv {

// Position of the first byte in text[at, end) equal to one of `targets`, or
// `end` when there is none.
template <size_t N>
size_t FindAnyByte(const char* text, size_t at, size_t end, const std::array<char, N>& targets) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighs = 0x8080808080808080ull;
  std::array<uint64_t, N> spread{};
  for (size_t t = 0; t < N; ++t) spread[t] = kOnes * static_cast<unsigned char>(targets[t]);
  while (end - at >= 8) {
    uint64_t word;
    std::memcpy(&word, text + at, 8);
    uint64_t found = 0;
    for (size_t t = 0; t < N; ++t) {
      // A byte of x is zero exactly where the word holds the target; the
      // test may also flag a byte above a real match, but never flags a
      // word without one.
      const uint64_t x = word ^ spread[t];
      found |= (x - kOnes) & ~x & kHighs;
    }
    if (found != 0) {
      // Borrows only run towards higher bytes, so on a little-endian
      // machine the lowest flag is the first real match.
      if constexpr (std::endian::native == std::endian::little) {
        return at + static_cast<size_t>(std::countr_zero(found)) / 8;
      }
      break;
    }
    at += 8;
  }
  for (; at < end; ++at) {
    for (size_t t = 0; t < N; ++t) {
      if (text[at] == targets[t]) return at;
    }
  }
  return end;
}

// FindAnyByte with its targets prepared once, for a reader that searches
// for the same bytes many times. Where SSE2 is available (every x86-64) it
// tests sixteen bytes per step; the rest, and other machines, go through
// FindAnyByte.
template <size_t N>
class ByteFinder {
 public:
  explicit ByteFinder(const std::array<char, N>& targets) : targets_(targets) {
#ifdef __SSE2__
    for (size_t t = 0; t < N; ++t) vectors_[t] = _mm_set1_epi8(targets[t]);
#endif
  }

  size_t Find(const char* text, size_t at, size_t end) const {
#ifdef __SSE2__
    while (end - at >= 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
      __m128i hits = _mm_cmpeq_epi8(block, vectors_[0]);
      for (size_t t = 1; t < N; ++t) hits = _mm_or_si128(hits, _mm_cmpeq_epi8(block, vectors_[t]));
      const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
      if (mask != 0) return at + static_cast<size_t>(std::countr_zero(mask));
      at += 16;
    }
#endif
    return FindAnyByte(text, at, end, targets_);
  }

  // Whether `size` bytes (8 to 32) at `text` hold none of the targets; if
  // so, copies them to `out`. Two overlapping loads, never a byte past the
  // end, and two overlapping stores: for the many short values that need
  // nothing done to them. Without SSE2, only finds (false) and copies
  // nothing.
  bool CopyIfNone(const char* text, size_t size, char* out) const {
#ifdef __SSE2__
    if (size <= 16) {
      uint64_t low;
      uint64_t high;
      std::memcpy(&low, text, 8);
      std::memcpy(&high, text + size - 8, 8);
      if (Hits(_mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low))) != 0) {
        return false;
      }
      std::memcpy(out, &low, 8);
      std::memcpy(out + size - 8, &high, 8);
      return true;
    }
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
    const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + size - 16));
    if ((Hits(first) | Hits(last)) != 0) return false;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), first);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + size - 16), last);
    return true;
#else
    (void)text;
    (void)size;
    (void)out;
    return false;
#endif
  }

 private:
#ifdef __SSE2__
  // A bit for each byte of `block` that is one of the targets.
  unsigned Hits(__m128i block) const {
    __m128i hits = _mm_cmpeq_epi8(block, vectors_[0]);
    for (size_t t = 1; t < N; ++t) hits = _mm_or_si128(hits, _mm_cmpeq_epi8(block, vectors_[t]));
    return static_cast<unsigned>(_mm_movemask_epi8(hits));
  }
#endif

  std::array<char, N> targets_;
#ifdef __SSE2__
  __m128i vectors_[N];
#endif
};

// The bytes where a CSV reader's runs of plain characters stop: outside
// quotes the separator, the quote, CR, LF and NUL; inside quotes only the
// quote, NUL and CR (the second set is part of the first). Fields are
// short, so rather than searching afresh from each field's start, the stops
// of a whole 64-byte block are found at once, as two bit masks, and the
// searches that follow inside that block only read them. Without SSE2 each
// search goes through FindAnyByte instead.
class CsvStopScanner {
 public:
  // Over `text`, which must outlive the scanner.
  CsvStopScanner(std::string_view text, char separator)
      : text_(text.data()), end_(text.size()) {
#ifdef __SSE2__
    separators_ = _mm_set1_epi8(separator);
    Load(0);
#else
    separator_ = separator;
#endif
  }

  // Position of the first byte in text[at, size) that stops a run outside
  // quotes (or inside them), or the size of the text when there is none.
  // `at` is at most the size; searches may come in any order, though going
  // forward by less than 64 bytes is what the blocks make cheap.
  size_t NextUnquoted(size_t at) { return Next<false>(at); }
  size_t NextQuoted(size_t at) { return Next<true>(at); }

 private:
  template <bool kQuoted>
  size_t Next(size_t at) {
#ifdef __SSE2__
    size_t offset = at - base_;  // wraps to a large value below the block
    if (offset >= 64) {
      Load(at);
      offset = 0;
    }
    for (;;) {
      const uint64_t mask = (kQuoted ? quotedMask_ : anyMask_) >> offset;
      if (mask != 0) return base_ + offset + static_cast<unsigned>(std::countr_zero(mask));
      // The block reached the end of the text: no stop is left.
      if (end_ - base_ <= 64) return end_;
      Load(base_ + 64);
      offset = 0;
    }
#else
    if constexpr (kQuoted) {
      return FindAnyByte(text_, at, end_, std::array<char, 3>{'"', '\0', '\r'});
    }
    return FindAnyByte(text_, at, end_, std::array<char, 5>{separator_, '"', '\r', '\n', '\0'});
#endif
  }

#ifdef __SSE2__
  // Makes the block text[at, at + 64) (fewer bytes at the end of the text)
  // the current one. A short last block is copied out first, so that no
  // load passes the end; the bits for its padding are cleared.
  void Load(size_t at) {
    base_ = at;
    const size_t left = end_ - at;
    if (left >= 64) {
      Masks(text_ + at);
      return;
    }
    alignas(16) char tail[64] = {};
    if (left > 0) std::memcpy(tail, text_ + at, left);
    Masks(tail);
    const uint64_t valid = (uint64_t{1} << left) - 1;
    anyMask_ &= valid;
    quotedMask_ &= valid;
  }
  // Sets the masks of the 64 bytes at `bytes`: bit k for byte k.
  void Masks(const char* bytes) {
    const __m128i separator = separators_;
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    uint64_t any = 0;
    uint64_t quoted = 0;
    for (int k = 0; k < 4; ++k) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes) + k);
      const __m128i inQuotes =
          _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, quote), _mm_cmpeq_epi8(block, cr)),
                       _mm_cmpeq_epi8(block, _mm_setzero_si128()));
      const __m128i outside = _mm_or_si128(
          _mm_or_si128(_mm_cmpeq_epi8(block, separator), _mm_cmpeq_epi8(block, lf)), inQuotes);
      const int shift = 16 * k;
      quoted |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(inQuotes))) << shift;
      any |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(outside))) << shift;
    }
    anyMask_ = any;
    quotedMask_ = quoted;
  }
#endif

  const char* text_;
  size_t end_;
#ifdef __SSE2__
  // The current block starts at base_; bit k of a mask is byte base_ + k.
  size_t base_ = 0;
  uint64_t anyMask_ = 0;
  uint64_t quotedMask_ = 0;
  __m128i separators_{};  // the separator in every byte
#else
  char separator_ = ',';
#endif
};

// Position of the first byte in text[at, end) with its high bit set (the
// first byte that is not ASCII), or `end` when there is none.
inline size_t SkipAscii(const char* text, size_t at, size_t end) {
#ifdef __SSE2__
  // 64 bytes a step while all are ASCII, then 16 to find the first that is
  // not.
  while (end - at >= 64) {
    const auto* blocks = reinterpret_cast<const __m128i*>(text + at);
    const __m128i any = _mm_or_si128(
        _mm_or_si128(_mm_loadu_si128(blocks), _mm_loadu_si128(blocks + 1)),
        _mm_or_si128(_mm_loadu_si128(blocks + 2), _mm_loadu_si128(blocks + 3)));
    if (_mm_movemask_epi8(any) != 0) break;
    at += 64;
  }
  while (end - at >= 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(block));
    if (mask != 0) return at + static_cast<size_t>(std::countr_zero(mask));
    at += 16;
  }
#endif
  constexpr uint64_t kHighs = 0x8080808080808080ull;
  while (end - at >= 8) {
    uint64_t word;
    std::memcpy(&word, text + at, 8);
    if ((word & kHighs) != 0) break;
    at += 8;
  }
  while (at < end && static_cast<unsigned char>(text[at]) < 0x80) ++at;
  return at;
}

// How many bytes of text[0, size) equal `target`.
inline size_t CountByte(const char* text, size_t size, char target) {
  size_t count = 0;
  size_t at = 0;
#ifdef __SSE2__
  // Each byte lane counts its matches (a match compares as -1) for up to
  // 255 blocks, then the lanes are summed.
  const __m128i wanted = _mm_set1_epi8(target);
  const __m128i zero = _mm_setzero_si128();
  while (size - at >= 16) {
    const size_t blocks = std::min<size_t>((size - at) / 16, 255);
    __m128i lanes = zero;
    for (size_t b = 0; b < blocks; ++b, at += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
      lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(block, wanted));
    }
    const __m128i sums = _mm_sad_epu8(lanes, zero);
    count += static_cast<size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<size_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
  }
#endif
  for (; at < size; ++at) count += text[at] == target ? 1 : 0;
  return count;
}

// Whether every byte of `text` is ASCII (below 0x80).
inline bool IsAscii(std::string_view text) {
  return SkipAscii(text.data(), 0, text.size()) == text.size();
}

// Position of the first `byte` in text[at, end), or `end` when there is
// none. A run of 8 to 32 bytes is searched here a word at a time; a longer
// one by the C library's memchr where it is vectorised (the browser build's
// goes byte by byte, so there the 16-byte scan above serves instead).
inline size_t FindByte(const char* text, size_t at, size_t end, char byte) {
  if constexpr (std::endian::native == std::endian::little) {
    // A short run (most texts of a record) costs less than the call: words
    // of eight, the last one overlapping the one before.
    if (end > at && end - at >= 8 && end - at <= 32) {
      constexpr uint64_t kOnes = 0x0101010101010101ull;
      constexpr uint64_t kHighs = 0x8080808080808080ull;
      const uint64_t spread = kOnes * static_cast<unsigned char>(byte);
      const size_t last = end - 8;
      for (size_t word = at;; word = std::min(word + 8, last)) {
        uint64_t bytes;
        std::memcpy(&bytes, text + word, 8);
        const uint64_t x = bytes ^ spread;
        // As in FindAnyByte: the lowest flag is the first real match.
        const uint64_t found = (x - kOnes) & ~x & kHighs;
        if (found != 0) return word + static_cast<size_t>(std::countr_zero(found)) / 8;
        if (word == last) return end;
      }
    }
  }
#ifdef __EMSCRIPTEN__
  return ByteFinder<1>(std::array<char, 1>{byte}).Find(text, at, end);
#else
  if (at >= end) return end;
  const void* found = std::memchr(text + at, byte, end - at);
  return found == nullptr ? end : static_cast<size_t>(static_cast<const char*>(found) - text);
#endif
}

// Position of the first byte in text[at, end) that is outside printable
// ASCII (below 0x20, or 0x80 and above) or is one of `targets`, or `end`
// when there is none: where a writer of escaped text must stop copying.
template <size_t N>
size_t FindUnprintableOr(const char* text, size_t at, size_t end,
                         const std::array<char, N>& targets) {
#ifdef __SSE2__
  // As signed bytes, 0x80 and above are negative, so one compare finds them
  // and the control characters.
  const __m128i space = _mm_set1_epi8(0x20);
  while (end - at >= 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
    __m128i hits = _mm_cmplt_epi8(block, space);
    for (size_t t = 0; t < N; ++t) {
      hits = _mm_or_si128(hits, _mm_cmpeq_epi8(block, _mm_set1_epi8(targets[t])));
    }
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
    if (mask != 0) return at + static_cast<size_t>(std::countr_zero(mask));
    at += 16;
  }
#endif
  for (; at < end; ++at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x20 || byte >= 0x80) return at;
    for (size_t t = 0; t < N; ++t) {
      if (text[at] == targets[t]) return at;
    }
  }
  return end;
}

}  // namespace qv
