// The sums and differences of digit arrays: a word at a time on any
// machine, two SSE2 registers at a time where there are such, and place by
// place for elements outside 0..9.
#include "contract.hpp"
#include "digits.hpp"
#include "digitwords.hpp"

#include <algorithm>

namespace VELDRA {
namespace detail {

using std::size_t;

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

// x - y for the sixteen places at a and b, or x - y' with `sum`; `largest`
// keeps the largest byte of x and y seen.
template <bool sum>
vector differenceof(const digit* a, const digit* b, vector& largest) {
  const vector x = loadvector(a);
  vector y = loadvector(b);
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
    storevector(out + i, unbias(lowtotal));
    storevector(out + i + 16, unbias(hightotal));
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

} // namespace detail
} // namespace VELDRA
