// The digit layer: every loop over the digits of a number runs here.
// Internal: not installed, and not on a user's include path.
//
// A digit array holds one decimal digit per element, least significant
// first, as fixedint::digits does.  "Well-formed" means every element lies in
// 0..9; the public members let a caller store anything, so each entry point
// says what it accepts.  The number classes keep the object logic (which
// numbers are made, what is logged, which exception is thrown) and call this
// layer for the digit work.  The loops take eight digits to a 64-bit word,
// and the sums and differences sixteen to an SSE2 register where there are
// such; digits outside 0..9 go place by place where their results are fixed.
#ifndef VELDRA_DIGITS_HPP
#define VELDRA_DIGITS_HPP

#include "portable.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace VELDRA {
namespace detail {

using digit = signed char;

// ---------------------------------------------------------------------------
// Checks and scans
// ---------------------------------------------------------------------------

// True when every element of d[0, n) lies in 0..9.
bool wellformed(const digit* d, std::size_t n);

// std::domain_error "Malformed digits!" unless wellformed(d, n).
void requirewellformed(const digit* d, std::size_t n);

// Index of the highest non-zero element plus one; 0 for an all-zero array.
std::size_t significantlength(const digit* d, std::size_t n);

// A length of digits as a vector's size.  Past what std::size_t holds (on a
// 32-bit machine) it becomes SIZE_MAX, which std::vector refuses with
// std::length_error as it refuses every length past its max_size(), rather
// than wrapping to a short one.
inline std::size_t holdable(std::uint64_t length) {
  if constexpr (sizeof(std::size_t) < sizeof(std::uint64_t)) {
    if (length > SIZE_MAX) {
      return SIZE_MAX;
    }
  }
  return static_cast<std::size_t>(length);
}

// True when every element of d is 0: zero, or negative zero.
inline bool allzero(const std::vector<digit>& d) {
  return significantlength(d.data(), d.size()) == 0;
}

// A sign and a magnitude that make a value below zero: -0 is not one.
inline bool negativevalue(bool isneg, const std::vector<digit>& d) {
  return isneg && !allzero(d);
}

// Index of the lowest element of d[0, n) other than `value`; n when every
// element is `value`.
std::size_t firstplacenot(const digit* d, std::size_t n, digit value);

// ---------------------------------------------------------------------------
// Magnitude comparisons: -1, 0 or 1 as a is below, equal to or above b.
// Elements compare as signed values, so a malformed one counts where it
// stands.
// ---------------------------------------------------------------------------

// Integers of any lengths: the longer significant length is the larger
// magnitude; at equal lengths the highest place where they differ decides.
//   {0, -1} against {5}     -> 1   (two significant places against one)
//   {0, -1} against {0, 2}  -> -1
int comparesignificant(const digit* a, std::size_t na, const digit* b,
                       std::size_t nb);

// Fixed-point magnitudes: a[0, na) holds a magnitude times 10^ha, b[0, nb)
// one times 10^hb.  Place by place from the top with the points aligned, a
// place one side lacks counting as 0 there.
//   {5, 1} (ha 1, 1.5) against {0, 5, 1} (hb 2, 1.50)  -> 0
//   {0, -1} (ha 0) against {5} (hb 0)                  -> -1
int comparealigned(const digit* a, std::size_t na, std::size_t ha,
                   const digit* b, std::size_t nb, std::size_t hb);

// ---------------------------------------------------------------------------
// Whole-place shifts
// ---------------------------------------------------------------------------

// Magnitude times 10^places, the top places dropped.
inline void shiftup(std::vector<digit>& digits, std::size_t places) {
  const std::size_t kept = places < digits.size() ? digits.size() - places : 0;
  std::move_backward(digits.begin(), digits.begin() + kept, digits.end());
  std::fill(digits.begin(), digits.end() - kept, 0);
}

// Magnitude divided by 10^places, the low places dropped.
inline void shiftdown(std::vector<digit>& digits, std::size_t places) {
  const std::size_t kept = places < digits.size() ? digits.size() - places : 0;
  std::move(digits.end() - kept, digits.end(), digits.begin());
  std::fill(digits.begin() + kept, digits.end(), 0);
}

// ---------------------------------------------------------------------------
// Machine words and text
// ---------------------------------------------------------------------------

// The number of decimal digits of v; 0 has one.
std::size_t decimallength(std::uint64_t v);

// d[0, n) := the low n digits of v, zeros above them.
//   wordtodigits(1234, d, 6)  -> d = {4, 3, 2, 1, 0, 0}
//   wordtodigits(1234, d, 2)  -> d = {4, 3}
void wordtodigits(std::uint64_t v, digit* d, std::size_t n);

// The value of the well-formed digits d[0, n), n <= 19.
std::uint64_t digitstoword(const digit* d, std::size_t n);

// Reads d[0, n) into `value`, from the top down: `malformed` or `toolarge`
// for whichever comes first of a place that holds no digit 0..9 and a
// value above `limit` (value is then unchanged).
//   {1, 2, 3} with limit 500   -> fits, 321
//   {12, 9, 9} with limit 50   -> toolarge (99 is read before the 12)
//   {12, 9, 0} with limit 500  -> malformed
enum class wordread { fits, toolarge, malformed };
wordread readword(const digit* d, std::size_t n, std::uint64_t limit,
                  std::uint64_t& value);

// Appends d[0, n) to `out` as text, the top place first, an element outside
// 0..9 as its decimal value: {3, -2, 1} -> "1-23".
void appendtext(const digit* d, std::size_t n, std::string& out);

// The length of appendtext's text for d[0, n), and that text written at
// `out`, which has room for it; returns its end.
std::size_t textlength(const digit* d, std::size_t n);
char* writetext(const digit* d, std::size_t n, char* out);

// The same for the integer d[0, n) as fixedint::asstring writes it, sign
// apart: the places from the highest non-zero one down, or "0" when there
// is none (n == 0 included).
//   {0, 5, 0} -> "50"   {0, 0} -> "0"   {10, 0} -> "10"
std::size_t integertextlength(const digit* d, std::size_t n);
char* writeintegertext(const digit* d, std::size_t n, char* out);

// How many characters [first, last) holds; none when last is before first.
inline std::size_t room(const char* first, const char* last) {
  return last > first ? static_cast<std::size_t>(last - first) : 0;
}

// ---------------------------------------------------------------------------
// Sums and differences
// ---------------------------------------------------------------------------

// out[0, n) := a + b place by place from the units up, for any element
// values: each place keeps (signed char)(a + b + carry), less ten for as long
// as it is above 9, every ten counted into the carry of the next place.
// Returns the carry out of the top place; with well-formed digits it is 0 or
// 1 and out holds (a + b) mod 10^n.  out may not overlap a or b.
digit addplaces(const digit* a, const digit* b, digit* out, std::size_t n);

// out[0, n) := a - b place by place: each place keeps
// (signed char)(a - b - borrow), plus ten for as long as it is below 0,
// every ten counted into the borrow.  Returns the final borrow; with
// well-formed digits it is 0 or 1 and out holds (a - b) mod 10^n.  out may
// not overlap a or b.
digit subtractplaces(const digit* a, const digit* b, digit* out, std::size_t n);

// What a kernel below returns when an element of a or b lies outside 0..9;
// out then holds no meaningful digits.
constexpr int notdigits = -1;

// The kernels under addplaces and subtractplaces, for well-formed digits:
// out[0, n) := (a + b + carry) mod 10^n, or (a - b - borrow) mod 10^n, with
// a carry or borrow of 0 or 1 in; they return the carry or borrow out of the
// top place, or notdigits.  out may be a or b itself but not overlap them
// otherwise.
namespace kernel {

// Eight places to a 64-bit word, on any machine.
int addportable(const digit* a, const digit* b, digit* out, std::size_t n,
                int carry);
int subtractportable(const digit* a, const digit* b, digit* out, std::size_t n,
                     int borrow);

#if defined(VELDRA_HAS_SSE2)
// Sixteen places to an SSE2 register (every x86-64 machine has them), two
// registers a step, the last n mod 32 places through the portable kernel.
int addsse2(const digit* a, const digit* b, digit* out, std::size_t n,
            int carry);
int subtractsse2(const digit* a, const digit* b, digit* out, std::size_t n,
                 int borrow);
#endif

// The kernel this machine runs.
inline int add(const digit* a, const digit* b, digit* out, std::size_t n,
               int carry) {
#if defined(VELDRA_HAS_SSE2)
  return addsse2(a, b, out, n, carry);
#else
  return addportable(a, b, out, n, carry);
#endif
}

inline int subtract(const digit* a, const digit* b, digit* out, std::size_t n,
                    int borrow) {
#if defined(VELDRA_HAS_SSE2)
  return subtractsse2(a, b, out, n, borrow);
#else
  return subtractportable(a, b, out, n, borrow);
#endif
}

} // namespace kernel

// ---------------------------------------------------------------------------
// Products and quotients
// ---------------------------------------------------------------------------

// Long multiplication place by place for any element values: for each digit
// of a, a pass over b with a 32-bit carry, each place keeping temp % 10 and
// the pass's last carry added to the place after b's top digit.
// out must hold na + nb elements, zero on entry.
void multiplyplaces(const digit* a, std::size_t na, const digit* b,
                    std::size_t nb, digit* out);

// out[0, outlen) = (a × b) mod 10^outlen, for well-formed a and b.  Works on
// machine-word limbs; exact.  out may not overlap a or b.
void multiplybylimbs(const digit* a, std::size_t na, const digit* b,
                     std::size_t nb, digit* out, std::size_t outlen);

// out[0, outlen) = the low outlen places of a × b, leading zeros of a and b
// skipped.  Well-formed digits take multiplybylimbs; any others the place-by-
// place loop, whose places may then hold values outside 0..9.
void multiplydigits(const digit* a, std::size_t na, const digit* b,
                    std::size_t nb, digit* out, std::size_t outlen);

// out[0, outlen) = base^exponent mod 10^outlen for well-formed digits, the
// exponent (len nexp) of any length; 0^0 = 1.  The base is packed into limbs
// once: an exponent that fits a word costs a square per bit below its top
// one and a product per set bit, a longer one three squares and two
// products per decimal digit.
void power(const digit* base, std::size_t nbase, const digit* exponent,
           std::size_t nexp, digit* out, std::size_t outlen);

// Long division of well-formed a by well-formed, non-zero b on base-10^19
// limbs, O(na × nb) for a short b and growing like a product of the two
// for a long one: quotient[0, nq) = the low nq places of a / b, and
// remainder[0, nr) those of a mod b.  Either output may be null when not
// wanted; neither may overlap a or b.
void divide(const digit* a, std::size_t na, const digit* b, std::size_t nb,
            digit* quotient, std::size_t nq, digit* remainder, std::size_t nr);

// quotient[0, nq) = the low nq places of (a × 10^places) / b, for
// well-formed a and b, b not zero: divide's quotient of a dividend moved up
// by `places`, without its digits being written out.
void dividescaled(const digit* a, std::size_t na, std::size_t places,
                  const digit* b, std::size_t nb, digit* quotient,
                  std::size_t nq);

// ---------------------------------------------------------------------------
// Decimal text and rounding
// ---------------------------------------------------------------------------

// A decimal text taken apart, as views into it: the sign, and its digits
// from the highest non-zero one to the lowest, split by the point into
// `integer` and `fraction` (either may be empty), with the places of those
// two digits counted from the units place (fraction places below zero), the
// exponent applied and held within -INT64_MAX..INT64_MAX.  An exponent of
// any size thus costs nothing.  A text with no non-zero digit is `zero`.
//   "-0012.50e3"  -> "12", "5", low 2, high 4
//   "0.050"       -> "", "5", low -2, high -2
//   "1200e-1"     -> "12", "", low 1, high 2
struct decimaltext {
  bool negative = false;
  std::string_view integer;
  std::string_view fraction;
  bool zero = true;
  std::int64_t low = 0;
  std::int64_t high = 0;
};

// Reads the longest prefix of `text` of the form: an optional '+' or '-',
// ASCII digits and, with `allowpoint`, an optional '.' among them, at least
// one digit in all ("5.", ".5", not "."); then optionally 'e' or 'E', an
// optional sign and one or more digits.  Returns its length; 0, parts
// unspecified, when no prefix has that form.
//   "12e3x" -> 4    "1e+" -> 1    "e5" -> 0    "1.5" without point -> 1
std::size_t scandecimal(std::string_view text, bool allowpoint,
                        decimaltext& parts);

// True when the whole of `text`, and nothing less, is of that form: no
// spaces or separators.
bool readdecimal(std::string_view text, bool allowpoint, decimaltext& parts);

// units[p] := the digit of place p of the text's value, for each place from
// parts.low to parts.high, which the caller has found to lie within the
// array `units` points into.  No other place is written.
void placesfromtext(const decimaltext& parts, digit* units);

// What the well-formed places d[0, k), k >= 1, about to be rounded away,
// are worth against half a unit of place k.
enum class dropped { zero, belowhalf, half, abovehalf };
dropped weighplaces(const digit* d, std::size_t k);

// Adds one at `place` of the well-formed d[0, n), carrying upward; true when
// the carry leaves d[n - 1] (the places then hold the sum modulo 10^n).
bool incrementat(digit* d, std::size_t n, std::size_t place);

// The double nearest to the well-formed d[0, n) / 10^scale, ties to even,
// where d[n - 1] != 0: infinity past the largest double, 0 below half the
// smallest subnormal.  Exact whatever the number of digits.
//   {1}, scale 1               -> 0.1 (the double nearest 1/10)
//   {9, 1}, scale 0            -> 19.0
//   10^309 (310 digits), 0     -> infinity
double decimaltodouble(const digit* d, std::size_t n, std::uint64_t scale);

} // namespace detail
} // namespace VELDRA

#endif // VELDRA_DIGITS_HPP
