// Limb arithmetic under the digit layer.  Internal: not installed.
//
// A limb holds 19 decimal digits as one machine word: base 10^19, the
// largest power of ten below 2^64, so a limb product fits 128 bits
// (unsigned __int128, or wideportable where there is none) and moving a number
// by whole limbs moves it by 19 decimal places.  Limb arrays are least
// significant first, like digit arrays.
#ifndef VELDRA_LIMBS_HPP
#define VELDRA_LIMBS_HPP

#include "contract.hpp"
#include "portable.hpp"
#include "tuning.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace VELDRA {
namespace detail {

using limb = std::uint64_t;
#if defined(VELDRA_HAS_INT128)
__extension__ using widelimb = unsigned __int128;
#else
using widelimb = wideportable;
#endif

constexpr std::size_t limbdigits = 19;
constexpr limb radix = 10000000000000000000u; // 10^19, top bit set

// Limbs that hold `digits` decimal digits.
inline std::size_t limbsfor(std::size_t digits) {
  return (digits + limbdigits - 1) / limbdigits;
}

// q := floor((u1 * 2^64 + u0) / d), r := the remainder; d has its top bit
// set, u1 < d and dinv = floor((2^128 - 1) / d) - 2^64.  Division by an
// invariant normalised divisor through its reciprocal (Moller and Granlund,
// "Improved division by invariant integers", alg. 4).
inline limb divnormal(limb u1, limb u0, limb d, limb dinv, limb& r) {
  VELDRA_ASSERT(u1 < d && d >> 63 != 0);
  // q = dinv u1 + (u1 + 1) 2^64 + u0, its halves added apart: compilers
  // otherwise build the two-word addend in memory.
  const widelimb p = widelimb(dinv) * u1;
  const limb ql = static_cast<limb>(p) + u0;
  limb qh = static_cast<limb>(p >> 64) + u1 + 1 + limb(ql < u0);
  r = u0 - qh * d;
  if (r > ql) {
    --qh;
    r += d;
  }
  if (r >= d) {
    ++qh;
    r -= d;
  }
  return qh;
}

// floor((2^128 - 1) / radix) - 2^64: the reciprocal divradix multiplies by.
constexpr limb radixinv = static_cast<limb>(~widelimb(0) / radix);

// q := floor((u1 * 2^64 + u0) / 10^19), r := the remainder; u1 < 10^19.
inline limb divradix(limb u1, limb u0, limb& r) {
  return divnormal(u1, u0, radix, radixinv, r);
}

// w[0, m) += v (len n), n <= m; returns the carry out of w[m - 1].
limb addto(limb* w, std::size_t m, const limb* v, std::size_t n);

// w[0, m) -= v (len n), n <= m; returns the borrow out of w[m - 1].
limb subfrom(limb* w, std::size_t m, const limb* v, std::size_t n);

// Scratch limbs that product(u, m, v, n, ...) needs.
inline std::size_t productscratch(std::size_t m, std::size_t n) {
  return 5 * (m > n ? m : n);
}

// w[0, m + n) := u (len m) * v (len n).  t: productscratch(m, n) limbs.
// The same array as both factors (u == v, m == n) is squared, at about
// half the cost; so it is by lowproduct.
void product(const limb* u, std::size_t m, const limb* v, std::size_t n,
             limb* w, limb* t);

// w[0, k) := the low k limbs of u (len m) * v (len n); m, n <= k <= m + n.
// t: lowproductscratch(m, n, k, u == v && m == n) limbs, at most 7k.
void lowproduct(const limb* u, std::size_t m, const limb* v, std::size_t n,
                limb* w, std::size_t k, limb* t);

// True when the product of factors of m and n limbs, cut to its low k (m + n
// for all of it), takes the number-theoretic transform; `squaring` when
// both factors are one array.
bool bytransform(std::size_t m, std::size_t n, std::size_t k, bool squaring);

// Scratch limbs that lowproduct needs: 7k, and none when it takes the
// transform, which allocates its own.
inline std::size_t lowproductscratch(std::size_t m, std::size_t n,
                                     std::size_t k, bool squaring) {
  return bytransform(m, n, k, squaring) ? 0 : 7 * k;
}

// The length of the transform that holds `columns` columns: the least
// power of two, or three times one, that is not below it.
std::size_t transformlength(std::size_t columns);

// w[0, k) := the low k limbs of u (len m) * v (len n), 0 < k <= m + n, by a
// transform over three primes; allocates its own memory.
void nttproduct(const limb* u, std::size_t m, const limb* v, std::size_t n,
                limb* w, std::size_t k);

// x[0, limbsfor(n)) := the n well-formed digits d[0, n), 19 to a limb.
void packlimbs(const signed char* d, std::size_t n, limb* x);

// d[0, n) := the low n digits of x (len k), zero above the limbs.
void unpacklimbs(const limb* x, std::size_t k, signed char* d, std::size_t n);

// Limbs for one call: on the stack when few, else on the heap.
class limbstorage {
public:
  explicit limbstorage(std::size_t n)
      : heap_(n > sizeof local_ / sizeof *local_ ? new limb[n] : nullptr) {}
  limb* data() { return heap_ ? heap_.get() : local_; }

private:
  limb local_[256];
  std::unique_ptr<limb[]> heap_;
};

} // namespace detail
} // namespace VELDRA

#endif // VELDRA_LIMBS_HPP
