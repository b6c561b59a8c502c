// The digit layer: checks and scans, comparisons, conversion to and from
// words and text, and decimal text read and rounded.
#include "digits.hpp"
#include "contract.hpp"
#include "digitwords.hpp"
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
  for (; i + blockplaces <= n; i += blockplaces) {
    if (outsideblock(d + i)) {
      return false;
    }
  }
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
  while (n >= blockplaces && !nonzeroblock(d + n - blockplaces)) {
    n -= blockplaces;
  }
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
