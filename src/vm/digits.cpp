// The digit layer: checks and scans, comparisons, conversion to and from
// words, limbs and text, the sums and differences, and the products of digit
// arrays, which pack the digits into limbs of base 10^19, multiply the limbs
// and unpack the places they keep.
#include "digits.hpp"
#include "contract.hpp"
#include "limbs.hpp"
#include "messages.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <utility>
#include <vector>

#if defined(VELDRA_HAS_SSE2)
#include <emmintrin.h>
#endif

namespace VELDRA {
namespace detail {

namespace {

using std::size_t;
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

word littleendian(word w) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return byteswap(w);
#else
  return w;
#endif
}

// Places d[0, m), m <= 8, as a word; zero above them.  A short word is
// built in a register: a whole-word load of bytes just stored piecemeal
// would stall.
word loadword(const digit* d, size_t m = 8) {
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
word loadtop(const digit* d, size_t n, size_t m) {
  if (n < 8 || m == 0) {
    return loadword(d + n - m, m);
  }
  return loadword(d + n - 8) >> (8 * (8 - m));
}

// to[0, m) := the low m bytes of w, m <= 8.
void storeword(void* to, word w, size_t m = 8) {
  if (m == 8) {
    w = littleendian(w);
    std::memcpy(to, &w, sizeof w);
    return;
  }
  auto* bytes = static_cast<std::uint8_t*>(to);
  for (size_t j = 0; j < m; ++j, w >>= 8) {
    bytes[j] = static_cast<std::uint8_t>(w);
  }
}

// The top bit of every byte of w outside 0..9.  A byte b lies in 0..9 when
// neither b nor b + 0x76 has its top bit set; the addition carries into the
// next byte only from a byte of 0x8a or more, whose own top bit is set.
word outside(word w) { return (w | (w + everybyte(0x76))) & topbits; }

// The value of the eight digits of w.  Neighbouring digits, then pairs,
// then fours are merged, each by one multiplication: byte 0 of
// (w * (10 + 2^8)) >> 8 holds d0 + 10 d1, byte 2 d2 + 10 d3, and so on; no
// field outgrows its width.
word eightvalue(word w) {
  w = (w * (10 + (1u << 8))) >> 8 & 0x00ff00ff00ff00ffu;
  w = (w * (100 + (1u << 16))) >> 16 & 0x0000ffff0000ffffu;
  return (w * (10000 + (word{1} << 32))) >> 32;
}

// The eight digits of v < 10^8 as a word: split into fours, then pairs,
// then digits, each division by a multiplication and shift exact in its
// range (x / 100 = x * 5243 >> 19 for x < 43699, x / 10 = x * 103 >> 10 for
// x < 179).
word eightdigits(std::uint32_t v) {
  word w = v % 10000 | word{v / 10000} << 32;
  w += ((w * 5243) >> 19 & 0x0000007f0000007fu) * (0x10000 - 100);
  w += ((w * 103) >> 10 & 0x000f000f000f000fu) * (0x100 - 10);
  return w;
}

// The value of the 19 digits d[0, 19): eight, eight and the top three, read
// as the top bytes of the word at d + 11.
word limbvalue(const digit* d) {
  const word top = eightvalue(loadword(d + 11) >> 40);
  return (top * e8 + eightvalue(loadword(d + 8))) * e8 +
         eightvalue(loadword(d));
}

// d[0, 19) := the low 19 digits of v; the top three go out with the five
// below them as one word at d + 11.
void storelimb(word v, digit* d) {
  const word high = v / e8;
  const word middle = eightdigits(static_cast<std::uint32_t>(high % e8));
  storeword(d, eightdigits(static_cast<std::uint32_t>(v % e8)));
  storeword(d + 8, middle);
  const auto top = static_cast<std::uint32_t>(high / e8 % 1000);
  storeword(d + 11, middle >> 24 | eightdigits(top) << 40);
}

// One past the highest non-zero byte of w != 0.
size_t topbyte(word w) {
  return static_cast<size_t>(63 - leadingzeros(w)) / 8 + 1;
}

// One past the highest place where a[0, n) and b[0, n) differ; 0 when none.
size_t differencelength(const digit* a, const digit* b, size_t n) {
  for (; n >= 8; n -= 8) {
    const word differ = loadword(a + n - 8) ^ loadword(b + n - 8);
    if (differ != 0) {
      return n - 8 + topbyte(differ);
    }
  }
  while (n > 0 && a[n - 1] == b[n - 1]) {
    --n;
  }
  return n;
}

// -1, 0 or 1 as a[0, n) is below, equal to or above b[0, n), the highest
// differing place deciding.
int compareplaces(const digit* a, const digit* b, size_t n) {
  const size_t differ = differencelength(a, b, n);
  if (differ == 0) {
    return 0;
  }
  return a[differ - 1] < b[differ - 1] ? -1 : 1;
}

// -1, 0 or 1 as d[0, n) is below, equal to or above a run of zeros: the
// highest non-zero element decides by its sign.
int comparewithzero(const digit* d, size_t n) {
  const size_t used = significantlength(d, n);
  if (used == 0) {
    return 0;
  }
  return d[used - 1] < 0 ? -1 : 1;
}

// A digit array placed at [begin, end) of a scale of places shared with
// another one.
struct placed {
  const digit* d;
  size_t begin, end;

  bool covers(size_t low, size_t high) const {
    return begin <= low && high <= end;
  }
  const digit* at(size_t place) const { return d + (place - begin); }
};

} // namespace

// ---------------------------------------------------------------------------
// Checks and scans
// ---------------------------------------------------------------------------

bool wellformed(const digit* d, std::size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    if (outside(loadword(d + i)) != 0) {
      return false;
    }
  }
  return outside(loadtop(d, n, n - i)) == 0;
}

void requirewellformed(const digit* d, std::size_t n) {
  if (!wellformed(d, n)) {
    throw std::domain_error(message::malformed);
  }
}

std::size_t significantlength(const digit* d, std::size_t n) {
  for (; n >= 8; n -= 8) {
    const word w = loadword(d + n - 8);
    if (w != 0) {
      return n - 8 + topbyte(w);
    }
  }
  while (n > 0 && d[n - 1] == 0) {
    --n;
  }
  return n;
}

std::size_t firstplacenot(const digit* d, std::size_t n, digit value) {
  const word all = everybyte(static_cast<std::uint8_t>(value));
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const word differ = loadword(d + i) ^ all;
    if (differ != 0) {
      return i + static_cast<size_t>(trailingzeros(differ)) / 8;
    }
  }
  while (i < n && d[i] == value) {
    ++i;
  }
  return i;
}

// ---------------------------------------------------------------------------
// Magnitude comparisons
// ---------------------------------------------------------------------------

int comparesignificant(const digit* a, std::size_t na, const digit* b,
                       std::size_t nb) {
  if (na != nb) {
    const size_t la = significantlength(a, na);
    const size_t lb = significantlength(b, nb);
    if (la != lb) {
      return la < lb ? -1 : 1;
    }
    return compareplaces(a, b, la);
  }
  // Equal lengths, one pass from the top: above the highest difference both
  // agree, so a significant digit there puts both lengths above it and the
  // differing place decides; otherwise a zero at that place is the shorter.
  const size_t differ = differencelength(a, b, na);
  if (differ == 0) {
    return 0;
  }
  const digit x = a[differ - 1];
  const digit y = b[differ - 1];
  if ((x != 0 && y != 0) || significantlength(a + differ, na - differ) != 0) {
    return x < y ? -1 : 1;
  }
  return x == 0 ? -1 : 1;
}

int comparealigned(const digit* a, std::size_t na, std::size_t ha,
                   const digit* b, std::size_t nb, std::size_t hb) {
  // On a scale whose place 0 is the lowest fraction place of either, a
  // starts at h - ha and b at h - hb.
  const size_t h = std::max(ha, hb);
  const placed x{a, h - ha, h - ha + na};
  const placed y{b, h - hb, h - hb + nb};
  // From the top down, a stretch at a time over which each side is present
  // throughout or absent throughout.
  for (size_t high = std::max(x.end, y.end); high > 0;) {
    size_t low = 0;
    for (const size_t bound : {x.begin, x.end, y.begin, y.end}) {
      if (bound < high) {
        low = std::max(low, bound);
      }
    }
    const size_t n = high - low;
    int order = 0;
    if (x.covers(low, high) && y.covers(low, high)) {
      order = compareplaces(x.at(low), y.at(low), n);
    } else if (x.covers(low, high)) {
      order = comparewithzero(x.at(low), n);
    } else if (y.covers(low, high)) {
      order = -comparewithzero(y.at(low), n);
    }
    if (order != 0) {
      return order;
    }
    high = low;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Machine words, limbs and text
// ---------------------------------------------------------------------------

std::size_t decimallength(std::uint64_t v) {
  std::size_t count = 1;
  for (; v >= 10; v /= 10) {
    ++count;
  }
  return count;
}

void wordtodigits(std::uint64_t v, digit* d, std::size_t n) {
  for (; n > 0 && v != 0; v /= e8) {
    const size_t m = std::min<size_t>(n, 8);
    storeword(d, eightdigits(static_cast<std::uint32_t>(v % e8)), m);
    d += m;
    n -= m;
  }
  std::fill(d, d + n, 0);
}

std::uint64_t digitstoword(const digit* d, std::size_t n) {
  VELDRA_ASSERT(n <= limbdigits && wellformed(d, n));
  // The top n mod 8 places first, then eight at a time.
  size_t top = n - n % 8;
  word value = eightvalue(loadtop(d, n, n % 8));
  while (top > 0) {
    top -= 8;
    value = value * e8 + eightvalue(loadword(d + top));
  }
  return value;
}

wordread readword(const digit* d, std::size_t n, std::uint64_t limit,
                  std::uint64_t& value) {
  n = significantlength(d, n);
  // Any 19 digits fit the word: only the limit can refuse them.
  if (n <= limbdigits && wellformed(d, n)) {
    const word v = digitstoword(d, n);
    if (v > limit) {
      return wordread::toolarge;
    }
    value = v;
    return wordread::fits;
  }
  word v = 0;
  for (size_t place = n; place-- > 0;) {
    const digit x = d[place];
    if (x < 0 || x > 9) {
      return wordread::malformed;
    }
    if (v > (limit - static_cast<word>(x)) / 10) {
      return wordread::toolarge;
    }
    v = v * 10 + static_cast<word>(x);
  }
  value = v;
  return wordread::fits;
}

void packlimbs(const digit* d, std::size_t n, limb* x) {
  VELDRA_ASSERT(wellformed(d, n));
  for (; n >= limbdigits; d += limbdigits, n -= limbdigits) {
    *x++ = limbvalue(d);
  }
  if (n > 0) {
    *x = digitstoword(d, n);
  }
}

void unpacklimbs(const limb* x, std::size_t k, digit* d, std::size_t n) {
  // A limb of 10^19 or more, which only malformed digits can bring about,
  // gives its low 19 digits.
  for (; k > 0 && n >= limbdigits; --k, ++x, d += limbdigits, n -= limbdigits) {
    storelimb(*x, d);
  }
  if (k > 0) {
    wordtodigits(*x, d, n);
    return;
  }
  std::fill(d, d + n, 0);
}

namespace {

// The characters of an element as text: its decimal value, four at the most
// ("-128").
std::size_t elementlength(digit x) {
  return x < 0 ? 1 + decimallength(static_cast<std::uint64_t>(-x))
               : decimallength(static_cast<std::uint64_t>(x));
}

// The text of well-formed places, eight at a time, the top one first: the
// word's bytes reversed, each digit made a character.
char* writedigits(const digit* d, std::size_t n, char* out) {
  for (; n >= 8; n -= 8, out += 8) {
    storeword(out, byteswap(loadword(d + n - 8)) + everybyte('0'));
  }
  while (n > 0) {
    *out++ = static_cast<char>('0' + d[--n]);
  }
  return out;
}

// The text of any places, each element as its decimal value.
std::size_t elementslength(const digit* d, std::size_t n) {
  size_t length = 0;
  for (size_t place = 0; place < n; ++place) {
    length += elementlength(d[place]);
  }
  return length;
}

char* writeelements(const digit* d, std::size_t n, char* out) {
  for (size_t place = n; place-- > 0;) {
    const digit x = d[place];
    out = std::to_chars(out, out + elementlength(x), static_cast<int>(x)).ptr;
  }
  return out;
}

} // namespace

std::size_t textlength(const digit* d, std::size_t n) {
  return wellformed(d, n) ? n : elementslength(d, n);
}

char* writetext(const digit* d, std::size_t n, char* out) {
  return wellformed(d, n) ? writedigits(d, n, out) : writeelements(d, n, out);
}

void appendtext(const digit* d, std::size_t n, std::string& out) {
  // One check of the places for both the length and the writing.
  const bool digitsonly = wellformed(d, n);
  const size_t start = out.size();
  out.resize(start + (digitsonly ? n : elementslength(d, n)));
  char* const text = &out[start];
  static_cast<void>(digitsonly ? writedigits(d, n, text)
                               : writeelements(d, n, text));
}

std::size_t integertextlength(const digit* d, std::size_t n) {
  const size_t used = significantlength(d, n);
  return used == 0 ? 1 : textlength(d, used);
}

char* writeintegertext(const digit* d, std::size_t n, char* out) {
  const size_t used = significantlength(d, n);
  if (used == 0) {
    *out = '0';
    return out + 1;
  }
  return writetext(d, used, out);
}

// ---------------------------------------------------------------------------
// Sums and differences
// ---------------------------------------------------------------------------

namespace {

// The place-by-place loop of addplaces (`sum`) and subtractplaces, for
// element values that the kernels refuse.
template <bool sum>
digit eachplace(const digit* a, const digit* b, digit* out, size_t n) {
  digit carry = 0;
  for (size_t place = 0; place < n; ++place) {
    auto temp = static_cast<digit>(sum ? a[place] + b[place] + carry
                                       : a[place] - b[place] - carry);
    carry = 0;
    while (sum ? temp > 9 : temp < 0) {
      temp = static_cast<digit>(sum ? temp - 10 : temp + 10);
      ++carry;
    }
    out[place] = temp;
  }
  return carry;
}

// The kernels subtract a word (or register) at a time and let the machine's
// own borrows run from place to place: a place that borrows wraps to its
// digit plus 0xf6 (256 - 10), its top bit set, and unbias takes the 0xf6
// off again.  A sum is the same loop: with b' = 10^n - 1 - b, each place 9
// minus b's, a + b + carry = a - b' - (1 - carry) + 10^n, so the sum's
// carry out is 1 less the difference's borrow.
word unbias(word w) { return w - ((w & topbits) >> 7) * 0xf6; }

// Bytes 0..m-1 of a word, m <= 8.
word lowbytes(size_t m) { return m == 8 ? ~word{0} : (word{1} << (8 * m)) - 1; }

// out := a - b - borrow eight places to a word, or with `sum` a - b' -
// borrow; returns the borrow out, or notdigits.
template <bool sum>
int subtractwords(const digit* a, const digit* b, digit* out, size_t n,
                  int borrow) {
  word bad = 0;
  auto c = static_cast<word>(borrow);
  for (size_t i = 0; i < n; i += 8) {
    // Zeros above a short last word pass a borrow on to its top.
    const size_t m = std::min<size_t>(n - i, 8);
    const word x = loadword(a + i, m);
    word y = loadword(b + i, m);
    bad |= outside(x) | outside(y);
    if (sum) {
      // Nine less each place; those above a short last word stay zero.
      y = (everybyte(9) - y) & lowbytes(m);
    }
    const word difference = x - y;
    const word wrapped = x < y;
    storeword(out + i, unbias(difference - c), m);
    c = wrapped | (difference < c);
  }
  return bad != 0 ? notdigits : static_cast<int>(c);
}

// The carry out of a sum run as a difference.
int carryfromborrow(int borrow) {
  return borrow == notdigits ? notdigits : 1 - borrow;
}

// The kernels' preconditions: out is a or b itself or apart from both, and
// the carry or borrow in is 0 or 1.
bool kernelarguments(const digit* a, const digit* b, const digit* out, size_t n,
                     int carry) {
  const auto apart = [out, n](const digit* in) {
    return out == in || !overlap(out, n, in, n);
  };
  return apart(a) && apart(b) && (carry == 0 || carry == 1);
}

} // namespace

namespace kernel {

int addportable(const digit* a, const digit* b, digit* out, std::size_t n,
                int carry) {
  VELDRA_ASSERT(kernelarguments(a, b, out, n, carry));
  return carryfromborrow(subtractwords<true>(a, b, out, n, 1 - carry));
}

int subtractportable(const digit* a, const digit* b, digit* out, std::size_t n,
                     int borrow) {
  VELDRA_ASSERT(kernelarguments(a, b, out, n, borrow));
  return subtractwords<false>(a, b, out, n, borrow);
}

} // namespace kernel

#if defined(VELDRA_HAS_SSE2)
namespace {

// Two lanes of eight places to a register, each lane subtracted as one
// 64-bit word.  A lane's borrow (its top bit) goes into the next lane by a
// second addition, of -1, which is exact unless that lane's places all
// differ by 0 (zero bytes): the lane then wraps and its top bit flips, which
// the loop checks for, and it hands those places to the word loop.
// Malformed elements are caught at the end by the largest byte seen.

using vector = __m128i;

vector load(const digit* d) {
  return _mm_loadu_si128(reinterpret_cast<const vector*>(d));
}

void store(digit* d, vector v) {
  _mm_storeu_si128(reinterpret_cast<vector*>(d), v);
}

// The borrow masks of the lanes below each lane: the low lane's is the high
// lane of `below`, the high lane's the low lane of `here`.  Only the upper
// half of each lane's mask counts: it is all ones or zero.
vector lanesup(vector below, vector here) {
  return _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(below),
                                         _mm_castsi128_ps(here),
                                         _MM_SHUFFLE(1, 1, 3, 3)));
}

vector borrowmask(int borrow) { return _mm_set1_epi32(borrow != 0 ? -1 : 0); }

// The borrow out of the high lane of a borrow mask.
int borrowout(vector mask) {
  return _mm_movemask_pd(_mm_castsi128_pd(mask)) >> 1;
}

// The top bit of each lane whose top bit is set in `set` and clear in
// `clear`.
vector flipped(vector set, vector clear) {
  return _mm_andnot_si128(clear, set);
}

bool anylanetop(vector v) { return _mm_movemask_pd(_mm_castsi128_pd(v)) != 0; }

// Each byte d or d + 0xf6 as the digit d: the smaller of the byte and the
// byte plus ten, modulo 256.
vector unbias(vector v) {
  return _mm_min_epu8(v, _mm_add_epi8(v, _mm_set1_epi8(10)));
}

// True when some byte of `largest` lies above 9 (negative elements lie
// above 127).
bool abovenine(vector largest) {
  const vector excess = _mm_subs_epu8(largest, _mm_set1_epi8(9));
  return _mm_movemask_epi8(_mm_cmpeq_epi8(excess, _mm_setzero_si128())) !=
         0xffff;
}

// x - y for the sixteen places at a and b, or x - y' with `sum`; `largest`
// keeps the largest byte of x and y seen.
template <bool sum>
vector differenceof(const digit* a, const digit* b, vector& largest) {
  const vector x = load(a);
  vector y = load(b);
  largest = _mm_max_epu8(largest, _mm_max_epu8(x, y));
  if (sum) {
    y = _mm_sub_epi8(_mm_set1_epi8(9), y);
  }
  return _mm_sub_epi64(x, y);
}

// subtractwords, thirty-two places a step in two registers.
template <bool sum>
int subtractvectors(const digit* a, const digit* b, digit* out, size_t n,
                    int borrow) {
  vector largest = _mm_setzero_si128();
  vector borrows = borrowmask(borrow);
  size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    const vector low = differenceof<sum>(a + i, b + i, largest);
    const vector high = differenceof<sum>(a + i + 16, b + i + 16, largest);
    const vector lowborrowed = _mm_srai_epi32(low, 31);
    const vector highborrowed = _mm_srai_epi32(high, 31);
    const vector lowtotal = _mm_add_epi64(low, lanesup(borrows, lowborrowed));
    const vector hightotal =
        _mm_add_epi64(high, lanesup(lowborrowed, highborrowed));
    if (anylanetop(
            _mm_or_si128(flipped(lowtotal, low), flipped(hightotal, high)))) {
      const int c =
          subtractwords<sum>(a + i, b + i, out + i, 32, borrowout(borrows));
      if (c == notdigits) {
        return notdigits;
      }
      borrows = borrowmask(c);
      continue;
    }
    store(out + i, unbias(lowtotal));
    store(out + i + 16, unbias(hightotal));
    borrows = highborrowed;
  }
  const int c =
      subtractwords<sum>(a + i, b + i, out + i, n - i, borrowout(borrows));
  return abovenine(largest) ? notdigits : c;
}

} // namespace

namespace kernel {

int addsse2(const digit* a, const digit* b, digit* out, std::size_t n,
            int carry) {
  VELDRA_ASSERT(kernelarguments(a, b, out, n, carry));
  return carryfromborrow(subtractvectors<true>(a, b, out, n, 1 - carry));
}

int subtractsse2(const digit* a, const digit* b, digit* out, std::size_t n,
                 int borrow) {
  VELDRA_ASSERT(kernelarguments(a, b, out, n, borrow));
  return subtractvectors<false>(a, b, out, n, borrow);
}

} // namespace kernel
#endif

digit addplaces(const digit* a, const digit* b, digit* out, std::size_t n) {
  VELDRA_ASSERT(!overlap(out, n, a, n) && !overlap(out, n, b, n));
  const int carry = kernel::add(a, b, out, n, 0);
  return carry != notdigits ? static_cast<digit>(carry)
                            : eachplace<true>(a, b, out, n);
}

digit subtractplaces(const digit* a, const digit* b, digit* out,
                     std::size_t n) {
  VELDRA_ASSERT(!overlap(out, n, a, n) && !overlap(out, n, b, n));
  const int borrow = kernel::subtract(a, b, out, n, 0);
  return borrow != notdigits ? static_cast<digit>(borrow)
                             : eachplace<false>(a, b, out, n);
}

// ---------------------------------------------------------------------------
// Products
// ---------------------------------------------------------------------------

void multiplylow(const digit* a, std::size_t na, const digit* b, std::size_t nb,
                 digit* out, std::size_t outlen) {
  VELDRA_ASSERT(wellformed(a, na) && wellformed(b, nb));
  VELDRA_ASSERT(!overlap(out, outlen, a, na) && !overlap(out, outlen, b, nb));
  // Places at or above outlen in a factor do not reach the result.
  na = significantlength(a, std::min(na, outlen));
  nb = significantlength(b, std::min(nb, outlen));
  if (na == 0 || nb == 0) {
    std::fill(out, out + outlen, 0);
    return;
  }
  const size_t m = limbsfor(na), n = limbsfor(nb);
  const size_t k = std::min(limbsfor(outlen), m + n);
  // Factors, result and scratch; small products stay off the heap.
  limbstorage storage(m + n + k + lowproductscratch(m, n, k, false));
  limb* u = storage.data();
  limb* v = u + m;
  limb* w = v + n;
  packlimbs(a, na, u);
  packlimbs(b, nb, v);
  lowproduct(u, m, v, n, w, k, w + k);
  unpacklimbs(w, k, out, outlen);
}

namespace {

// A number below B^k on limbs, and how many of them are significant.
struct lownumber {
  std::vector<limb> limbs;
  size_t length;
};

// Products modulo B^k of numbers below B^k, through one result and one
// scratch array shared by all of them.
class lowpowers {
public:
  explicit lowpowers(size_t k) : k_(k), next_(k) {}

  lownumber one() const {
    lownumber x{std::vector<limb>(k_), 1};
    x.limbs[0] = 1;
    return x;
  }

  lownumber pack(const digit* d, size_t n) const {
    lownumber x{std::vector<limb>(k_), limbsfor(n)};
    packlimbs(d, n, x.limbs.data());
    return x;
  }

  // x := x y mod B^k; y may be x itself, which squares it.
  void multiply(lownumber& x, const lownumber& y) {
    const size_t kept = std::min(k_, x.length + y.length);
    if (x.length != 0 && y.length != 0) {
      const bool squaring = &x == &y;
      scratch_.resize(
          std::max(scratch_.size(),
                   lowproductscratch(x.length, y.length, kept, squaring)));
      lowproduct(x.limbs.data(), x.length, y.limbs.data(), y.length,
                 next_.data(), kept, scratch_.data());
    }
    x.limbs.swap(next_);
    x.length = x.length == 0 || y.length == 0 ? 0 : kept;
    while (x.length > 0 && x.limbs[x.length - 1] == 0) {
      --x.length;
    }
  }

  // x := x^e mod B^k, the bits of e from the top: a square per bit, and a
  // product by the x given per set bit.
  void raise(lownumber& x, std::uint64_t e) {
    if (e == 0) {
      x = one();
      return;
    }
    const lownumber base = x;
    for (int bit = 62 - leadingzeros(e); bit >= 0; --bit) {
      multiply(x, x);
      if ((e >> bit & 1) != 0) {
        multiply(x, base);
      }
    }
  }

private:
  size_t k_;
  std::vector<limb> next_;
  std::vector<limb> scratch_;
};

// x^e modulo a power of ten m <= 10^19 for x < m, in machine words by
// binary powering: no arrays and no heap.  `reduced` takes a product of two
// values below m to its remainder modulo m.
template <class Reduction>
limb raiseword(limb x, std::uint64_t e, Reduction reduced) {
  if (e == 0) {
    return 1;
  }
  limb result = x;
  for (int bit = 62 - leadingzeros(e); bit >= 0; --bit) {
    result = reduced(widelimb(result) * result);
    if ((e >> bit & 1) != 0) {
      result = reduced(widelimb(result) * x);
    }
  }
  return result;
}

// base^e modulo 10^outlen, outlen <= 19, for a base below it.  Up to nine
// places the products fit a word and the remainder by the constant 10^9
// takes a multiplication, twice as fast as a reduction modulo 10^19; both
// moduli are multiples of 10^outlen.
limb powerinword(limb base, std::uint64_t e, std::size_t outlen) {
  constexpr word e9 = 1000000000;
  if (outlen <= 9) {
    return raiseword(base, e,
                     [](widelimb p) { return static_cast<limb>(p) % e9; });
  }
  return raiseword(base, e, [](widelimb p) {
    limb r;
    divradix(static_cast<limb>(p >> 64), static_cast<limb>(p), r);
    return r;
  });
}

} // namespace

void power(const digit* base, std::size_t nbase, const digit* exponent,
           std::size_t nexp, digit* out, std::size_t outlen) {
  VELDRA_ASSERT(wellformed(base, nbase) && wellformed(exponent, nexp));
  VELDRA_ASSERT(!overlap(out, outlen, base, nbase) &&
                !overlap(out, outlen, exponent, nexp));
  if (outlen == 0) {
    return;
  }
  const size_t nx = significantlength(base, std::min(nbase, outlen));
  nexp = significantlength(exponent, nexp);
  std::uint64_t e = 0;
  const bool wordexponent =
      readword(exponent, nexp, UINT64_MAX, e) == wordread::fits;
  if (wordexponent && outlen <= limbdigits) {
    wordtodigits(powerinword(digitstoword(base, nx), e, outlen), out, outlen);
    return;
  }
  lowpowers powers(limbsfor(outlen));
  lownumber x = powers.pack(base, nx);
  if (wordexponent) {
    powers.raise(x, e);
  } else {
    // A decimal digit at a time from the top: x^10 times x^digit.
    std::vector<lownumber> table(10, powers.one());
    for (size_t d = 1; d < table.size(); ++d) {
      table[d] = table[d - 1];
      powers.multiply(table[d], x);
    }
    x = powers.one();
    for (size_t place = nexp; place-- > 0;) {
      powers.raise(x, 10);
      powers.multiply(x, table[static_cast<size_t>(exponent[place])]);
    }
  }
  unpacklimbs(x.limbs.data(), x.length, out, outlen);
}

void multiplyplaces(const digit* a, std::size_t na, const digit* b,
                    std::size_t nb, digit* out) {
  VELDRA_ASSERT(significantlength(out, na + nb) == 0);
  VELDRA_ASSERT(!overlap(out, na + nb, a, na) && !overlap(out, na + nb, b, nb));
  for (std::size_t i = 0; i < na; ++i) {
    std::int32_t carry = 0;
    for (std::size_t j = 0; j < nb; ++j) {
      const std::int32_t temp = out[i + j] + a[i] * b[j] + carry;
      carry = temp / 10;
      out[i + j] = static_cast<digit>(temp % 10);
    }
    if (carry != 0) {
      out[i + nb] = static_cast<digit>(out[i + nb] + carry);
    }
  }
}

void multiply(const digit* a, std::size_t na, const digit* b, std::size_t nb,
              digit* out, std::size_t outlen) {
  VELDRA_ASSERT(!overlap(out, outlen, a, na) && !overlap(out, outlen, b, nb));
  na = significantlength(a, na);
  nb = significantlength(b, nb);
  if (wellformed(a, na) && wellformed(b, nb)) {
    multiplylow(a, na, b, nb, out, outlen);
    return;
  }
  std::vector<digit> full(na + nb);
  multiplyplaces(a, na, b, nb, full.data());
  const std::size_t kept = std::min(outlen, full.size());
  std::copy(full.begin(), full.begin() + kept, out);
  std::fill(out + kept, out + outlen, 0);
}

// ---------------------------------------------------------------------------
// Decimal text and rounding
// ---------------------------------------------------------------------------

namespace {

// One past the run of ASCII digits that begins at `at`: thirty-two
// characters a step in SSE2 registers where there are such, then eight to a
// word, where a digit is a byte that lies in 0..9 once '0' is taken off and
// the lowest byte that outside() marks is one that does not.
const char* skipdigits(const char* at, const char* end) {
#if defined(VELDRA_HAS_SSE2)
  // Sixteen to a register, two registers a step: a digit less '0' is at most
  // 9 as an unsigned byte.
  const __m128i zero = _mm_set1_epi8('0');
  const __m128i nine = _mm_set1_epi8(9);
  for (; end - at >= 32; at += 32) {
    const __m128i low = _mm_sub_epi8(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), zero);
    const __m128i high = _mm_sub_epi8(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16)), zero);
    const auto digitsat = [nine](__m128i x) {
      return static_cast<unsigned>(
          _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(x, nine), x)));
    };
    const unsigned other = ~(digitsat(low) | digitsat(high) << 16);
    if (other != 0) {
      return at + trailingzeros(other);
    }
  }
#endif
  for (; end - at >= 8; at += 8) {
    word w = 0;
    std::memcpy(&w, at, sizeof w);
    const word other = outside(littleendian(w) ^ everybyte('0'));
    if (other != 0) {
      return at + static_cast<size_t>(trailingzeros(other)) / 8;
    }
  }
  while (at != end && static_cast<unsigned char>(*at - '0') <= 9) {
    ++at;
  }
  return at;
}

constexpr std::int64_t farthest = std::numeric_limits<std::int64_t>::max();

// The value of the ASCII digits `digits`, held at `farthest`.
std::int64_t heldvalue(std::string_view digits) {
  std::int64_t value = 0;
  for (const char c : digits) {
    const int d = c - '0';
    if (value > (farthest - d) / 10) {
      return farthest;
    }
    value = value * 10 + d;
  }
  return value;
}

// a + b held within -farthest..farthest.
std::int64_t heldsum(std::int64_t a, std::int64_t b) {
  if (b > 0 && a > farthest - b) {
    return farthest;
  }
  if (b < 0 && a < -farthest - b) {
    return -farthest;
  }
  return a + b;
}

// Past the exponent that begins at `at` ('e' or 'E', an optional sign and
// digits), its value in `exponent`; `at` itself when none begins there.
const char* scanexponent(const char* at, const char* end,
                         std::int64_t& exponent) {
  if (at == end || (*at != 'e' && *at != 'E')) {
    return at;
  }
  const char* digits = at + 1;
  const bool negative = digits != end && *digits == '-';
  if (digits != end && (*digits == '-' || *digits == '+')) {
    ++digits;
  }
  const char* const stop = skipdigits(digits, end);
  if (stop == digits) {
    return at;
  }
  const std::int64_t value =
      heldvalue({digits, static_cast<size_t>(stop - digits)});
  exponent = negative ? -value : value;
  return stop;
}

// d[0, text.size()) := the ASCII digits of `text` as places, its last
// character in d[0].
void placetext(std::string_view text, digit* d) {
  std::transform(text.rbegin(), text.rend(), d,
                 [](char c) { return static_cast<digit>(c - '0'); });
}

// The digits of `integer` and `fraction` from the highest non-zero one to
// the lowest into `parts`, with their places after `exponent`.  A text is
// far shorter than 2^63 characters: only the exponent can reach the limits.
void placedigits(std::string_view integer, std::string_view fraction,
                 std::int64_t exponent, decimaltext& parts) {
  integer.remove_prefix(
      std::min(integer.find_first_not_of('0'), integer.size()));
  // npos + 1 is 0: a fraction of zeros only leaves nothing.
  fraction.remove_suffix(fraction.size() -
                         (fraction.find_last_not_of('0') + 1));
  parts.zero = integer.empty() && fraction.empty();
  if (parts.zero) {
    parts.integer = parts.fraction = {};
    parts.low = parts.high = 0;
    return;
  }
  // Zeros at either end: the integer's last ones when there is no
  // fraction, the fraction's first ones when there is no integer.
  std::int64_t low = -static_cast<std::int64_t>(fraction.size());
  std::int64_t high = static_cast<std::int64_t>(integer.size()) - 1;
  if (fraction.empty()) {
    const size_t kept = integer.find_last_not_of('0') + 1;
    low = static_cast<std::int64_t>(integer.size() - kept);
    integer.remove_suffix(integer.size() - kept);
  }
  if (integer.empty()) {
    const size_t zeros = fraction.find_first_not_of('0');
    high = -1 - static_cast<std::int64_t>(zeros);
    fraction.remove_prefix(zeros);
  }
  parts.integer = integer;
  parts.fraction = fraction;
  parts.low = heldsum(low, exponent);
  parts.high = heldsum(high, exponent);
}

} // namespace

std::size_t scandecimal(std::string_view text, bool allowpoint,
                        decimaltext& parts) {
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  const char* at = begin;
  parts.negative = at != end && *at == '-';
  if (at != end && (*at == '-' || *at == '+')) {
    ++at;
  }
  const char* const integer = at;
  at = skipdigits(at, end);
  std::string_view integerdigits(integer, static_cast<size_t>(at - integer));
  std::string_view fractiondigits;
  if (allowpoint && at != end && *at == '.') {
    const char* const fraction = at + 1;
    at = skipdigits(fraction, end);
    fractiondigits = {fraction, static_cast<size_t>(at - fraction)};
  }
  if (integerdigits.empty() && fractiondigits.empty()) {
    return 0;
  }
  std::int64_t exponent = 0;
  at = scanexponent(at, end, exponent);
  placedigits(integerdigits, fractiondigits, exponent, parts);
  return static_cast<size_t>(at - begin);
}

bool readdecimal(std::string_view text, bool allowpoint, decimaltext& parts) {
  const size_t read = scandecimal(text, allowpoint, parts);
  return read != 0 && read == text.size();
}

void placesfromtext(const decimaltext& parts, digit* units) {
  if (parts.zero) {
    return;
  }
  // The fraction ends at the lowest place, the integer begins at the top.
  placetext(parts.fraction, units + parts.low);
  placetext(parts.integer, units + parts.high + 1 -
                               static_cast<std::int64_t>(parts.integer.size()));
}

dropped weighplaces(const digit* d, std::size_t k) {
  VELDRA_ASSERT(k >= 1 && wellformed(d, k));
  const digit top = d[k - 1];
  const bool restzero = significantlength(d, k - 1) == 0;
  if (top == 0 && restzero) {
    return dropped::zero;
  }
  if (top != 5) {
    return top < 5 ? dropped::belowhalf : dropped::abovehalf;
  }
  return restzero ? dropped::half : dropped::abovehalf;
}

bool incrementat(digit* d, std::size_t n, std::size_t place) {
  VELDRA_ASSERT(place < n && wellformed(d, n));
  const std::size_t stop = place + firstplacenot(d + place, n - place, 9);
  std::fill(d + place, d + stop, digit{0});
  if (stop == n) {
    return true;
  }
  ++d[stop];
  return false;
}

} // namespace detail
} // namespace VELDRA
