// Limb arithmetic under the digit layer.  Internal: not installed.
//
// A limb holds 19 decimal digits as one machine word: base 10^19, the
// largest power of ten below 2^64, so a limb product fits unsigned __int128
// and moving a number by whole limbs moves it by 19 decimal places.  Limb
// arrays are least significant first, like digit arrays.
#ifndef VELDRA_LIMBS_HPP
#define VELDRA_LIMBS_HPP

#include <cstddef>
#include <cstdint>
#include <memory>

namespace VELDRA {
namespace detail {

using limb = std::uint64_t;
__extension__ typedef unsigned __int128 widelimb;

constexpr std::size_t limbdigits = 19;
constexpr limb radix = 10000000000000000000u; // 10^19, top bit set

// Products whose shorter factor has fewer limbs than this run through the
// schoolbook columns; measured on a Zen 4 core, Karatsuba starts to win
// between 64 and 96 limbs (about 1200 to 1800 digits).
constexpr std::size_t karatsubathreshold = 64;
// Low products whose shorter factor has fewer limbs than this are
// truncated schoolbook; the split into a full and two low products pays
// off only above this size.
constexpr std::size_t lowsplitthreshold = 256;

// Limbs that hold `digits` decimal digits.
inline std::size_t limbsfor(std::size_t digits) {
  return (digits + limbdigits - 1) / limbdigits;
}

// q := floor((u1 * 2^64 + u0) / d), r := the remainder; d has its top bit
// set, u1 < d and dinv = floor((2^128 - 1) / d) - 2^64.  Division by an
// invariant normalised divisor through its reciprocal (Moller and Granlund,
// "Improved division by invariant integers", alg. 4).
inline limb divnormal(limb u1, limb u0, limb d, limb dinv, limb& r) {
  const widelimb q = widelimb(dinv) * u1 + (widelimb(u1 + 1) << 64 | u0);
  limb qh = static_cast<limb>(q >> 64);
  r = u0 - qh * d;
  if (r > static_cast<limb>(q)) {
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
void product(const limb* u, std::size_t m, const limb* v, std::size_t n,
             limb* w, limb* t);

// w[0, k) := the low k limbs of u (len m) * v (len n); m, n <= k <= m + n.
// t: scratch of 7k limbs.
void lowproduct(const limb* u, std::size_t m, const limb* v, std::size_t n,
                limb* w, std::size_t k, limb* t);

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

// Division works on these limbs too: on this machine schoolbook division
// of 4096 digits by 2048 runs 3.4 times faster on base-10^19 limbs than the
// base-10^9 division it replaced (2.9 times at 512 by 256 digits), with
// about a fifth of the steps.  Divisors of fewer limbs than divthreshold
// divide by schoolbook (Knuth's algorithm D); longer ones recursively
// (Burnikel and Ziegler) down to it.  Measured dividing 2n limbs by n, one
// level of recursion loses 3 % at n = 10, ties at 11 and 12, and wins 5 %
// at 13, 8 % at 14 and 13 % at 20.
constexpr std::size_t divthreshold = 12;

} // namespace detail
} // namespace VELDRA

#endif // VELDRA_LIMBS_HPP
