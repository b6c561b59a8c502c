// Digit arrays on limbs: packing 19 places to a limb and back, and the
// products and powers of digit arrays, which pack the digits into limbs of
// base 10^19, multiply the limbs and unpack the places they keep.
#include "contract.hpp"
#include "digits.hpp"
#include "digitwords.hpp"
#include "limbs.hpp"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace VELDRA {
namespace detail {

using std::size_t;

namespace {

// The value of the 19 digits d[0, 19): eight, eight and the top three, read
// as the top bytes of the word at d + 11.
word limbvalue(const digit* d) {
  const word top = eightvalue(loadword(d + 11) >> 40);
  return (top * e8 + eightvalue(loadword(d + 8))) * e8 +
         eightvalue(loadword(d));
}

// d[0, 19) := the low 19 digits of v; the top three go out with the five
// below them as one word at d + 11.  With SSE2 the low sixteen are spread
// in one register, stored after the word that carries the top three.
void storelimb(word v, digit* d) {
  const word high = v / e8;
  const word low = v - high * e8;
  const word middle = high % e8;
  const word top = eightdigits(static_cast<std::uint32_t>(high / e8 % 1000));
#if defined(VELDRA_HAS_SSE2)
  storeword(d + 11, top << 40);
  storevector(d, sixteendigits(_mm_set_epi64x(static_cast<long long>(middle),
                                              static_cast<long long>(low))));
#else
  const word middledigits = eightdigits(static_cast<std::uint32_t>(middle));
  storeword(d, eightdigits(static_cast<std::uint32_t>(low)));
  storeword(d + 8, middledigits);
  storeword(d + 11, middledigits >> 24 | top << 40);
#endif
}

#if defined(VELDRA_HAS_SSE2)

constexpr word e16 = e8 * e8;

// The value of the top three digits of a limb's d[0, 19).
word topvalue(const digit* d) {
  return static_cast<word>(d[16]) + 10 * static_cast<word>(d[17]) +
         100 * static_cast<word>(d[18]);
}

// x[0, 2) := the values of the two limbs' worth of digits d[0, 38): the
// low sixteen digits of both in one register, the top three in words.
void packtwolimbs(const digit* d, limb* x) {
  const vector low = sixteenvalues(loadvector(d), loadvector(d + limbdigits));
  const word first = topvalue(d) * e16;
  const word second = topvalue(d + limbdigits) * e16;
  const vector top = _mm_set_epi64x(static_cast<long long>(second),
                                    static_cast<long long>(first));
  _mm_storeu_si128(reinterpret_cast<vector*>(x), _mm_add_epi64(low, top));
}

#endif

} // namespace

void packlimbs(const digit* d, std::size_t n, limb* x) {
  VELDRA_ASSERT(wellformed(d, n));
#if defined(VELDRA_HAS_SSE2)
  for (; n >= 2 * limbdigits; d += 2 * limbdigits, n -= 2 * limbdigits) {
    packtwolimbs(d, x);
    x += 2;
  }
#endif
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

// ---------------------------------------------------------------------------
// Products
// ---------------------------------------------------------------------------

void multiplybylimbs(const digit* a, std::size_t na, const digit* b,
                     std::size_t nb, digit* out, std::size_t outlen) {
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

void multiplydigits(const digit* a, std::size_t na, const digit* b,
                    std::size_t nb, digit* out, std::size_t outlen) {
  VELDRA_ASSERT(!overlap(out, outlen, a, na) && !overlap(out, outlen, b, nb));
  na = significantlength(a, na);
  nb = significantlength(b, nb);
  if (wellformed(a, na) && wellformed(b, nb)) {
    multiplybylimbs(a, na, b, nb, out, outlen);
    return;
  }
  std::vector<digit> full(na + nb);
  multiplyplaces(a, na, b, nb, full.data());
  const std::size_t kept = std::min(outlen, full.size());
  std::copy(full.begin(), full.begin() + kept, out);
  std::fill(out + kept, out + outlen, 0);
}

} // namespace detail
} // namespace VELDRA
