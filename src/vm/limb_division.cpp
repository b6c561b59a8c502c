// Long division of limb arrays (base 10^19): Knuth's algorithm D for short
// divisors and, from divthreshold limbs up, the recursive division of
// Burnikel and Ziegler, which spends its time in limb products.  divide(),
// the front end for digit arrays, packs the operands, scales both so that
// the divisor's top limb is at least radix / 2, divides, and unpacks the
// places it keeps.
#include "contract.hpp"
#include "digits.hpp"
#include "limbs.hpp"

#include <algorithm>
#include <array>
#include <vector>

namespace VELDRA {
namespace detail {

using std::size_t;

namespace {

// A divisor d < 2^64 prepared for dividing two-word binary numbers by
// multiplication: shifted until its top bit is set, with its reciprocal.
class reciprocal {
public:
  explicit reciprocal(limb d)
      : shift_(static_cast<unsigned>(leadingzeros(d))), d_(d << shift_),
        inv_(static_cast<limb>(~widelimb(0) / d_)) {}

  // floor(x / d), r := x mod d; x < d * 2^64.
  limb divide(widelimb x, limb& r) const {
    x <<= shift_;
    const limb q = divnormal(static_cast<limb>(x >> 64), static_cast<limb>(x),
                             d_, inv_, r);
    r >>= shift_;
    return q;
  }

private:
  unsigned shift_;
  limb d_;
  limb inv_;
};

// A limb factor f prepared for splitting its products with limbs into
// radix places by Shoup's method: with f' = floor(f 2^64 / radix), the high
// half of v f' is the high place of v f or one less, and one less only when
// the low place is below 0.55 radix, so v f - (that) radix lies below
// 2 radix and below 2^64 and comes out of two wrapping multiplications.
class factor {
public:
  explicit factor(limb f) : f_(f) {
    limb rest;
    scaled_ = divradix(f, 0, rest);
  }

  // v f = high * radix + low; returns high, at most f - 1.
  limb split(limb v, limb& low) const {
    limb high = static_cast<limb>(widelimb(v) * scaled_ >> 64);
    low = v * f_ - high * radix;
    const limb over = 0 - limb(low >= radix);
    high -= over;
    low -= radix & over;
    return high;
  }

private:
  limb f_;
  limb scaled_;
};

// w[0, n) := u (len n) * f, f <= radix / 2; returns the limb carried out.
// Products split apart from the running carry, so the loop's only chain is
// the carry; the carry is at most f, so a sum stays below 2^64.
limb multiplyshort(limb* w, const limb* u, size_t n, limb f) {
  VELDRA_ASSERT(f <= radix / 2);
  const factor scale(f);
  limb carry = 0;
  for (size_t i = 0; i < n; ++i) {
    limb low;
    const limb high = scale.split(u[i], low);
    const limb s = low + carry;
    const limb out = s >= radix;
    w[i] = s - (radix & (0 - out));
    carry = high + out;
  }
  return carry;
}

// x (len n) *= f in place, f <= radix / 2; returns the limb carried out.  A
// divisor whose top limb is already at least radix / 2 has f = 1 and costs
// no pass.
limb scale(limb* x, size_t n, limb f) {
  return f == 1 ? 0 : multiplyshort(x, x, n, f);
}

// q[0, n) := u (len n) / d; returns the remainder.  q may be u.
limb divideshort(limb* q, const limb* u, size_t n, const reciprocal& d) {
  limb r = 0;
  for (size_t i = n; i-- > 0;) {
    q[i] = d.divide(widelimb(r) * radix + u[i], r);
  }
  return r;
}

// w[0, n) -= q * v (len n); returns what w[n] must lose, below radix.
// As in multiplyshort, only the borrow is carried from step to step.
limb submultiple(limb* w, const limb* v, size_t n, limb q) {
  const factor times(q);
  limb carry = 0; // the previous product's high place plus the borrows
  for (size_t i = 0; i < n; ++i) {
    limb low;
    const limb high = times.split(v[i], low);
    const limb first = w[i] < low;
    const limb x = w[i] - low + (radix & (0 - first));
    const limb second = x < carry;
    w[i] = x - carry + (radix & (0 - second));
    carry = high + first + second;
  }
  return carry;
}

// -1, 0 or 1 as u (len n) is below, equal to or above v (len n).
int compare(const limb* u, const limb* v, size_t n) {
  while (n-- > 0) {
    if (u[n] != v[n]) {
      return u[n] < v[n] ? -1 : 1;
    }
  }
  return 0;
}

// The quotient limb of the window w[0, n] by v (len n >= 2), whose top n
// limbs lie below v: the top three limbs of w over the top two of v, capped
// at radix - 1.  With v[n - 1] >= radix / 2 it is the true limb or one more
// (Knuth, TAOCP vol. 2, 4.3.1, step D3).
limb estimate(const limb* w, const limb* v, size_t n, const reciprocal& top) {
  const limb v1 = v[n - 1], v0 = v[n - 2];
  limb q, r;
  if (w[n] < v1) {
    q = top.divide(widelimb(w[n]) * radix + w[n - 1], r);
  } else {
    // w[n] == v1: the two-limb estimate reaches radix.
    q = radix - 1;
    if (w[n - 1] >= radix - v1) {
      return q;
    }
    r = w[n - 1] + v1;
  }
  while (widelimb(q) * v0 > widelimb(r) * radix + w[n - 2]) {
    --q;
    if (r >= radix - v1) {
      break;
    }
    r += v1;
  }
  return q;
}

// Knuth's algorithm D.  q[0, nu - n) := u (len nu) / v (len n) below its
// top limb, which is returned (0 or 1); u[0, n) := the remainder.
// Preconditions: n >= 2 and v[n - 1] >= radix / 2 (top is its reciprocal),
// so that u's top n limbs are below 2 v.
limb schoolbookdivision(limb* q, limb* u, size_t nu, const limb* v, size_t n,
                        const reciprocal& top) {
  VELDRA_ASSERT(n >= 2 && nu >= n && v[n - 1] >= radix / 2);
  const size_t qn = nu - n;
  const limb high = compare(u + qn, v, n) >= 0;
  if (high != 0) {
    subfrom(u + qn, n, v, n);
  }
  for (size_t j = qn; j-- > 0;) {
    limb* w = u + j;
    limb qhat = estimate(w, v, n, top);
    if (w[n] < submultiple(w, v, n, qhat)) {
      // One too large (rare): adding v back carries into w[n], zeroing it.
      --qhat;
      addto(w, n, v, n);
    }
    q[j] = qhat;
  }
  return high;
}

limb recursive(limb* q, limb* u, const limb* v, size_t n, const reciprocal& top,
               limb* t);

// q[0, n) := u (len 2n) / v (len n) below its top limb, returned; u[0, n) :=
// the remainder.  The preconditions of schoolbookdivision; t:
// divisionscratch(n).
limb divideblock(limb* q, limb* u, const limb* v, size_t n,
                 const reciprocal& top, limb* t) {
  if (n < divthreshold) {
    return schoolbookdivision(q, u, 2 * n, v, n, top);
  }
  return recursive(q, u, v, n, top, t);
}

// A quotient block qh radix^k + q (len k) was found from the divisor's top
// limbs v + l alone, its remainder left in u[l, k + l).  Subtracts
// (qh radix^k + q) * v[0, l) from u (len k + l) and, while that leaves it
// negative, adds v (len k + l) back and lowers the block by one: at most
// twice for a normalised v.  Returns the corrected qh.  t: divisionscratch.
limb completeblock(limb* q, size_t k, limb qh, limb* u, const limb* v, size_t l,
                   limb* t) {
  if (l == 0) {
    return qh;
  }
  product(q, k, v, l, t, t + k + l);
  limb borrow = subfrom(u, k + l, t, k + l);
  if (qh != 0) {
    borrow += subfrom(u + k, l, v, l);
  }
  constexpr limb one = 1;
  while (borrow != 0) {
    qh -= subfrom(q, k, &one, 1);
    borrow -= addto(u, k + l, v, k + l);
  }
  return qh;
}

// Burnikel and Ziegler's recursive division: q[0, n) := u (len 2n) / v
// (len n) below its top limb, returned; u[0, n) := the remainder.  The high
// half of the quotient comes from the top 2 hi limbs of u over v's top hi
// limbs, the low half likewise from what remains; each half is then
// completed with a product by the rest of v.  Preconditions of
// divideblock, n >= divthreshold, so both halves have two limbs or more.
limb recursive(limb* q, limb* u, const limb* v, size_t n, const reciprocal& top,
               limb* t) {
  const size_t lo = n / 2, hi = n - lo;
  limb qh = divideblock(q + lo, u + 2 * lo, v + lo, hi, top, t);
  qh = completeblock(q + lo, hi, qh, u + lo, v, lo, t);
  const limb ql = divideblock(q, u + hi, v + hi, lo, top, t);
  const limb carried = completeblock(q, lo, ql, u, v, hi, t);
  VELDRA_ASSERT(carried == 0);
  static_cast<void>(carried);
  return qh;
}

// How far the estimates below may exceed a quotient.  One taken from a
// normalised divisor's top k limbs alone is the true quotient or up to 2
// more while that is below radix^k (4 more below 2 radix^k), and each level
// of approximateblock's recursion, of which there are fewer than 64, adds
// that again.
constexpr limb estimateslack = 256;

// q[0, n) := an estimate of u (len 2n) / v (len n) below its top limb,
// returned: the true quotient or up to 2 more for each level of recursion.
// The high half is divided exactly as in recursive; the low half is only
// estimated from v's top limbs, so none of its completing products are
// made and u is left undefined.  Preconditions of divideblock.
limb approximateblock(limb* q, limb* u, const limb* v, size_t n,
                      const reciprocal& top, limb* t) {
  if (n < divthreshold) {
    return schoolbookdivision(q, u, 2 * n, v, n, top);
  }
  const size_t lo = n / 2, hi = n - lo;
  limb qh = divideblock(q + lo, u + 2 * lo, v + lo, hi, top, t);
  qh = completeblock(q + lo, hi, qh, u + lo, v, lo, t);
  // The estimate may pass radix^lo, carrying into the high half.
  const limb carried = approximateblock(q, u + hi, v + hi, lo, top, t);
  return qh + addto(q + lo, hi, &carried, 1);
}

// q[0, nu - n) := u (len nu) / v (len n) below its top limb, which is
// returned; u[0, n) := the remainder.  Preconditions of schoolbookdivision.
// Long divisors take the quotient in blocks of n limbs from the top, the first
// block holding what is left over, each block a recursive division; a first
// block shorter than n divides by v's top limbs and is then completed.
// With `estimate`, the last block is only estimated (approximateblock; a
// first block that is the only one is not completed) and the remainder is
// left undefined: the quotient is then the true one or up to estimateslack
// - 1 more.
limb dividelimbs(limb* q, limb* u, size_t nu, const limb* v, size_t n,
                 const reciprocal& top, limb* t, bool estimate = false) {
  const size_t qn = nu - n;
  if (n < divthreshold || qn == 0) {
    return schoolbookdivision(q, u, nu, v, n, top);
  }
  const size_t first = (qn - 1) % n + 1;
  size_t j = qn - first;
  limb qh;
  if (first == 1) {
    qh = schoolbookdivision(q + j, u + j, n + 1, v, n, top);
  } else if (estimate && j == 0) {
    qh = approximateblock(q, u + n - first, v + n - first, first, top, t);
  } else {
    qh = divideblock(q + j, u + j + n - first, v + n - first, first, top, t);
    qh = completeblock(q + j, first, qh, u + j, v, n - first, t);
  }
  while (j > 0) {
    j -= n;
    if (estimate && j == 0) {
      const limb carried = approximateblock(q, u, v, n, top, t);
      qh += addto(q + n, qn - n, &carried, 1);
    } else {
      divideblock(q + j, u + j, v, n, top, t);
    }
  }
  return qh;
}

// Scratch limbs for dividelimbs with a divisor of n limbs: the product of a
// quotient block and the rest of the divisor, and the product's own.
size_t divisionscratch(size_t n) { return n + productscratch(n, n); }

// What dividelong leaves: the quotient; the quotient and in u the
// remainder; or dividelimbs' estimate of the quotient, u undefined.
enum class division { quotient, remainder, estimate };

// q := u (len m) / v (len n), 2 <= n <= m, and u[0, n) := the remainder
// when it is wanted; returns the length of q, at most m + 1 - n.  u holds
// m + 1 limbs, t divisionscratch(n).  Scaling both by f brings v's top limb
// to radix / 2 or more and leaves the quotient as it is; the remainder is
// scaled back.
size_t dividelong(limb* q, limb* u, size_t m, limb* v, size_t n, limb* t,
                  division wanted) {
  const limb f = radix / (v[n - 1] + 1);
  u[m] = scale(u, m, f);
  scale(v, n, f);
  const size_t nu = m + (u[m] != 0);
  q[nu - n] = dividelimbs(q, u, nu, v, n, reciprocal(v[n - 1]), t,
                          wanted == division::estimate);
  if (wanted == division::remainder && f != 1) {
    divideshort(u, u, n, reciprocal(f));
  }
  return nu - n + 1;
}

// tenpowers[k] = 10^k for k < 19.
constexpr std::array<limb, limbdigits> tenpowers = [] {
  std::array<limb, limbdigits> powers{};
  limb power = 1;
  for (limb& entry : powers) {
    entry = power;
    power *= 10;
  }
  return powers;
}();

// Limbs that packscaled writes for na digits moved up by `places`.
size_t scaledlimbs(size_t na, size_t places) {
  return places / limbdigits + limbsfor(na) + 1;
}

// u[0, scaledlimbs(na, places)) := the well-formed digits a (len na) times
// 10^places, which take the low limbsfor(na + places) of them: whole limbs
// of zeros below the packed digits, and a product by a power of ten for the
// places left.
void packscaled(const digit* a, size_t na, size_t places, limb* u) {
  const size_t zeros = places / limbdigits, k = limbsfor(na);
  std::fill(u, u + zeros, limb{0});
  packlimbs(a, na, u + zeros);
  const limb scale = tenpowers[places % limbdigits];
  u[zeros + k] = scale == 1 ? 0 : multiplyshort(u + zeros, u + zeros, k, scale);
}

// q (len k) holds a 10^places / b or one more; lowers it to the quotient
// when q b is above the dividend.  Only estimates that end too close to a
// unit come here (exact quotients among them), so the limbs are packed again
// rather than kept from the division.
void correctestimate(limb* q, size_t k, const digit* a, size_t na,
                     size_t places, const digit* b, size_t nb) {
  const size_t m = limbsfor(na + places), n = limbsfor(nb);
  std::vector<limb> x(scaledlimbs(na, places)), y(n), p(k + n),
      t(productscratch(k, n));
  packscaled(a, na, places, x.data());
  packlimbs(b, nb, y.data());
  product(q, k, y.data(), n, p.data(), t.data());
  // k + n > m: the product has limbs above the dividend's.
  const bool above = std::any_of(p.begin() + static_cast<std::ptrdiff_t>(m),
                                 p.end(), [](limb l) { return l != 0; });
  if (above || compare(p.data(), x.data(), m) > 0) {
    constexpr limb one = 1;
    subfrom(q, k, &one, 1);
  }
}

// quotient[0, nq) := a 10^places / b, of na and nb significant digits, for
// a divisor of n >= 2 limbs and a dividend of m >= n limbs, when only the
// quotient is wanted.  The dividend is taken one limb longer, a zero limb
// below it, so that the estimate of dividelimbs has a limb below the units:
// the excess can reach the units only when that limb is below
// estimateslack, and only then is the estimate checked.
void quotientbyestimate(const digit* a, size_t na, size_t places,
                        const digit* b, size_t nb, size_t m, size_t n,
                        digit* quotient, size_t nq) {
  const size_t mu = m + 1;
  const size_t ulimbs = std::max(mu + 1, scaledlimbs(na, places + limbdigits));
  const size_t qlen = mu + 2 - n;
  limbstorage storage(ulimbs + qlen + n + divisionscratch(n));
  limb* u = storage.data();
  limb* q = u + ulimbs;
  limb* v = q + qlen;
  packscaled(a, na, places + limbdigits, u);
  packlimbs(b, nb, v);
  const size_t qlimbs = dividelong(q, u, mu, v, n, v + n, division::estimate);
  if (q[0] < estimateslack) {
    correctestimate(q + 1, qlimbs - 1, a, na, places, b, nb);
  }
  unpacklimbs(q + 1, qlimbs - 1, quotient, nq);
}

// The quotient's limbs q (len kq) and the remainder's r (len kr) into the
// outputs that are wanted.
void unpackresults(const limb* q, size_t kq, const limb* r, size_t kr,
                   digit* quotient, size_t nq, digit* remainder, size_t nr) {
  if (quotient != nullptr) {
    unpacklimbs(q, kq, quotient, nq);
  }
  if (remainder != nullptr) {
    unpacklimbs(r, kr, remainder, nr);
  }
}

// divide, with the dividend a 10^places.
void dividedigits(const digit* a, std::size_t na, std::size_t places,
                  const digit* b, std::size_t nb, digit* quotient,
                  std::size_t nq, digit* remainder, std::size_t nr) {
  VELDRA_ASSERT(wellformed(a, na) && wellformed(b, nb));
  VELDRA_ASSERT(!overlap(quotient, nq, a, na) && !overlap(quotient, nq, b, nb));
  VELDRA_ASSERT(!overlap(remainder, nr, a, na) &&
                !overlap(remainder, nr, b, nb));
  na = significantlength(a, na);
  nb = significantlength(b, nb);
  const size_t m = na == 0 ? 0 : limbsfor(na + places), n = limbsfor(nb);
  VELDRA_ASSERT(n > 0);
  if (m <= 1 && n == 1) {
    // Machine words: the trace dominates here, so nothing else is set up.
    // A dividend of one limb has fewer than 19 places with the zeros.
    limb x = 0, y;
    if (m == 1) {
      packlimbs(a, na, &x);
      x *= tenpowers[places];
    }
    packlimbs(b, nb, &y);
    const limb q = x / y, r = x % y;
    unpackresults(&q, 1, &r, 1, quotient, nq, remainder, nr);
    return;
  }
  if (quotient != nullptr && remainder == nullptr && n >= divthreshold &&
      m >= n) {
    quotientbyestimate(a, na, places, b, nb, m, n, quotient, nq);
    return;
  }
  // Dividend (and its scaling carry), quotient, divisor, scratch.  With
  // fewer limbs a is below b: the quotient is 0 and the remainder a.
  const size_t ulimbs = std::max(m + 1, scaledlimbs(na, places));
  const size_t qlen = m + 2 - std::min(m, n);
  const size_t t = m >= n && n >= divthreshold ? divisionscratch(n) : 0;
  limbstorage storage(ulimbs + qlen + n + t);
  limb* u = storage.data();
  limb* q = u + ulimbs;
  limb* v = q + qlen;
  if (m > 0) {
    packscaled(a, na, places, u);
  }
  size_t qlimbs = 0, rlimbs = m;
  if (m >= n) {
    packlimbs(b, nb, v);
    rlimbs = n;
    if (n > 1) {
      qlimbs = dividelong(q, u, m, v, n, v + n,
                          remainder != nullptr ? division::remainder
                                               : division::quotient);
    } else {
      qlimbs = m;
      u[0] = divideshort(q, u, m, reciprocal(v[0]));
    }
  }
  unpackresults(q, qlimbs, u, rlimbs, quotient, nq, remainder, nr);
}

} // namespace

void divide(const digit* a, std::size_t na, const digit* b, std::size_t nb,
            digit* quotient, std::size_t nq, digit* remainder, std::size_t nr) {
  dividedigits(a, na, 0, b, nb, quotient, nq, remainder, nr);
}

void dividescaled(const digit* a, std::size_t na, std::size_t places,
                  const digit* b, std::size_t nb, digit* quotient,
                  std::size_t nq) {
  dividedigits(a, na, places, b, nb, quotient, nq, nullptr, 0);
}

} // namespace detail
} // namespace VELDRA
