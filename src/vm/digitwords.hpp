// Word-at-a-time primitives of the digit layer: eight places, one byte
// each, to a 64-bit word.  Internal: not installed.
#ifndef VELDRA_DIGITWORDS_HPP
#define VELDRA_DIGITWORDS_HPP

#include "digits.hpp"
#include "portable.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(VELDRA_HAS_SSE2)
#include <emmintrin.h>
#endif

namespace VELDRA {
namespace detail {

using word = std::uint64_t;

// ---------------------------------------------------------------------------
// Eight places to a word.  Byte j of a word, counted from the least
// significant, holds place j of the eight: the order the carries of a sum
// run in, whatever the machine's byte order.
// ---------------------------------------------------------------------------

// The byte b repeated in all eight bytes of a word.
constexpr word everybyte(std::uint8_t b) { return 0x0101010101010101u * b; }

constexpr word topbits = everybyte(0x80);

constexpr word e8 = 100000000;

inline word littleendian(word w) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return byteswap(w);
#else
  return w;
#endif
}

// Places d[0, m), m <= 8, as a word; zero above them.  A short word is
// built in a register: a whole-word load of bytes just stored piecemeal
// would stall.
inline word loadword(const digit* d, std::size_t m = 8) {
  word w = 0;
  if (m == 8) {
    std::memcpy(&w, d, sizeof w);
    return littleendian(w);
  }
  while (m > 0) {
    w = w << 8 | static_cast<std::uint8_t>(d[--m]);
  }
  return w;
}

// Places d[n - m, n), m <= 8, as a word: from a whole-word load when there
// are eight places to load.
inline word loadtop(const digit* d, std::size_t n, std::size_t m) {
  if (n < 8 || m == 0) {
    return loadword(d + n - m, m);
  }
  return loadword(d + n - 8) >> (8 * (8 - m));
}

// to[0, m) := the low m bytes of w, m <= 8.
inline void storeword(void* to, word w, std::size_t m = 8) {
  if (m == 8) {
    w = littleendian(w);
    std::memcpy(to, &w, sizeof w);
    return;
  }
  auto* bytes = static_cast<std::uint8_t*>(to);
  for (std::size_t j = 0; j < m; ++j, w >>= 8) {
    bytes[j] = static_cast<std::uint8_t>(w);
  }
}

// The top bit of every byte of w outside 0..9.  A byte b lies in 0..9 when
// neither b nor b + 0x76 has its top bit set; the addition carries into the
// next byte only from a byte of 0x8a or more, whose own top bit is set.
inline word outside(word w) { return (w | (w + everybyte(0x76))) & topbits; }

// The value of the eight digits of w.  Neighbouring digits, then pairs,
// then fours are merged, each by one multiplication: byte 0 of
// (w * (10 + 2^8)) >> 8 holds d0 + 10 d1, byte 2 d2 + 10 d3, and so on; no
// field outgrows its width.
inline word eightvalue(word w) {
  w = (w * (10 + (1u << 8))) >> 8 & 0x00ff00ff00ff00ffu;
  w = (w * (100 + (1u << 16))) >> 16 & 0x0000ffff0000ffffu;
  return (w * (10000 + (word{1} << 32))) >> 32;
}

// The eight digits of v < 10^8 as a word: split into fours, then pairs,
// then digits, each division by a multiplication and shift exact in its
// range (x / 100 = x * 5243 >> 19 for x < 43699, x / 10 = x * 103 >> 10 for
// x < 179).
inline word eightdigits(std::uint32_t v) {
  word w = v % 10000 | word{v / 10000} << 32;
  w += ((w * 5243) >> 19 & 0x0000007f0000007fu) * (0x10000 - 100);
  w += ((w * 103) >> 10 & 0x000f000f000f000fu) * (0x100 - 10);
  return w;
}

// One past the highest non-zero byte of w != 0.
inline std::size_t topbyte(word w) {
  return static_cast<std::size_t>(63 - leadingzeros(w)) / 8 + 1;
}

// ---------------------------------------------------------------------------
// Blocks of 64 places.  The scans test a block with one branch: its loads
// and checks run side by side, in SSE2 registers where there are such, in
// words elsewhere.
// ---------------------------------------------------------------------------

constexpr std::size_t blockplaces = 64;

#if defined(VELDRA_HAS_SSE2)

// Sixteen places to a register, place j in byte j (x86 is little-endian).
using vector = __m128i;

inline vector loadvector(const digit* d) {
  return _mm_loadu_si128(reinterpret_cast<const vector*>(d));
}

inline void storevector(digit* d, vector v) {
  _mm_storeu_si128(reinterpret_cast<vector*>(d), v);
}

// True when some byte of `largest` lies above 9 (negative elements lie
// above 127).
inline bool abovenine(vector largest) {
  const vector excess = _mm_subs_epu8(largest, _mm_set1_epi8(9));
  return _mm_movemask_epi8(_mm_cmpeq_epi8(excess, _mm_setzero_si128())) !=
         0xffff;
}

// The values of the sixteen digits of x and of y, as the low and the high
// 64-bit lane.  Neighbouring digits are merged by a 16-bit multiplication as
// in eightvalue, then pairs and fours by multiply-adds of 16-bit lanes.
inline vector sixteenvalues(vector x, vector y) {
  const auto fours = [](vector v) {
    const vector pairs =
        _mm_srli_epi16(_mm_mullo_epi16(v, _mm_set1_epi16(10 + (1 << 8))), 8);
    return _mm_madd_epi16(pairs, _mm_set1_epi32(1 | 100 << 16));
  };
  const vector eights = _mm_madd_epi16(_mm_packs_epi32(fours(x), fours(y)),
                                       _mm_set1_epi32(1 | 10000 << 16));
  const vector high = _mm_mul_epu32(
      _mm_srli_epi64(eights, 32), _mm_set1_epi64x(static_cast<long long>(e8)));
  return _mm_add_epi64(_mm_and_si128(eights, _mm_set1_epi64x(0xffffffff)),
                       high);
}

// The eight digits of each 64-bit lane's value below 10^8, units first: the
// reverse of sixteenvalues.  Each lane splits into fours, each four into
// pairs and each pair into digits, the quotients by multiplications exact
// in their ranges (x / 10^4 = x * 109951163 >> 40 for x < 10^8, x / 100 as
// in eightdigits, x / 10 = x * 6554 >> 16 for x < 100).
inline vector sixteendigits(vector v) {
  const vector q4 =
      _mm_srli_epi64(_mm_mul_epu32(v, _mm_set1_epi64x(109951163)), 40);
  v = _mm_sub_epi64(v, _mm_mul_epu32(q4, _mm_set1_epi64x(10000)));
  v = _mm_or_si128(v, _mm_slli_epi64(q4, 32));
  const vector q2 = _mm_srli_epi16(_mm_mulhi_epu16(v, _mm_set1_epi16(5243)), 3);
  v = _mm_sub_epi16(v, _mm_mullo_epi16(q2, _mm_set1_epi16(100)));
  v = _mm_or_si128(v, _mm_slli_epi32(q2, 16));
  const vector q1 = _mm_mulhi_epu16(v, _mm_set1_epi16(6554));
  v = _mm_sub_epi16(v, _mm_mullo_epi16(q1, _mm_set1_epi16(10)));
  return _mm_or_si128(v, _mm_slli_epi16(q1, 8));
}

// True when a place of the block d[0, 64) lies outside 0..9.
inline bool outsideblock(const digit* d) {
  vector largest = loadvector(d);
  for (std::size_t i = 16; i < blockplaces; i += 16) {
    largest = _mm_max_epu8(largest, loadvector(d + i));
  }
  return abovenine(largest);
}

// True when a place of the block d[0, 64) is not zero.
inline bool nonzeroblock(const digit* d) {
  vector any = loadvector(d);
  for (std::size_t i = 16; i < blockplaces; i += 16) {
    any = _mm_or_si128(any, loadvector(d + i));
  }
  return _mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) != 0xffff;
}

#else

inline bool outsideblock(const digit* d) {
  word any = 0;
  for (std::size_t i = 0; i < blockplaces; i += 8) {
    any |= outside(loadword(d + i));
  }
  return any != 0;
}

inline bool nonzeroblock(const digit* d) {
  word any = 0;
  for (std::size_t i = 0; i < blockplaces; i += 8) {
    any |= loadword(d + i);
  }
  return any != 0;
}

#endif

} // namespace detail
} // namespace VELDRA

#endif // VELDRA_DIGITWORDS_HPP
