// Long limb products by number-theoretic transform: the convolution of the
// limbs is taken modulo three primes below 2^62 and rebuilt by the Chinese
// remainder theorem.  Limbs of base 10^19 go in as they are; only the
// rebuilt columns are carried in base 10^19.
//
// The transforms are negacyclic (modulo x^n + 1) and hold every column, so
// nothing wraps.  Their length n is a power of two or three times one; the
// second halves the padding past a power of two.
#include "contract.hpp"
#include "limbs.hpp"

#include <algorithm>
#include <memory>

namespace VELDRA {
namespace detail {

using std::size_t;

namespace {

// a^e mod p, at compile time too.
constexpr limb powermod(limb a, limb e, limb p) {
  limb r = 1;
  for (a %= p; e != 0; e >>= 1, a = static_cast<limb>(widelimb(a) * a % p)) {
    if (e & 1) {
      r = static_cast<limb>(widelimb(r) * a % p);
    }
  }
  return r;
}

constexpr limb mulmod(limb a, limb b, limb p) {
  return static_cast<limb>(widelimb(a) * b % p);
}

// Modular division: a / b mod p, as a times the inverse of b (p prime).
constexpr limb dividemod(limb a, limb b, limb p) {
  return mulmod(a % p, powermod(b, p - 2, p), p);
}

// A prime p = c 2^s + 1, 3 dividing c, with 2.5 10^18 < p < 2^62: a limb is
// below 4p, and values kept below 4p fit a word.  g generates the
// multiplicative group.
struct prime {
  limb p;
  limb g;
  limb pinv; // p^-1 mod 2^64
  limb r1;   // 2^64 mod p
  limb r2;   // 2^128 mod p
};

constexpr prime makeprime(limb p, limb g) {
  limb inv = p; // right to 3 bits; each step doubles them
  for (int i = 0; i < 5; ++i) {
    inv *= 2 - p * inv;
  }
  const limb r1 = static_cast<limb>((widelimb(1) << 64) % p);
  return {p, g, inv, r1, mulmod(r1, r1, p)};
}

// 177 2^54 + 1, 501 2^53 + 1 and 471 2^53 + 1.  Their product exceeds
// 6 10^55, and a column of a product of factors of at most 2^51 limbs is
// below 2^51 10^38 < 2.3 10^53.
constexpr prime primes[3] = {makeprime(0x2c40000000000001, 7),
                             makeprime(0x3ea0000000000001, 7),
                             makeprime(0x3ae0000000000001, 11)};
[[maybe_unused]] constexpr std::uint64_t maxpower = std::uint64_t{1}
                                                    << 51; // 2^53 | p - 1

// a b 2^-64 mod p in [0, 2p), for a b < p 2^64 (Montgomery multiplication):
// with m = (a b) p^-1 mod 2^64, a b - m p is a multiple of 2^64 whose high
// word is the difference of the high words.
inline limb mont(limb a, limb b, const prime& q) {
  const widelimb t = widelimb(a) * b;
  const limb m = static_cast<limb>(t) * q.pinv;
  return static_cast<limb>(t >> 64) -
         static_cast<limb>((widelimb(m) * q.p) >> 64) + q.p;
}

// x - y if x >= y, else x: brings a lazily reduced value down by y.
inline limb lower(limb x, limb y) { return x >= y ? x - y : x; }

// A factor w < p with floor(w 2^64 / p), for Shoup's multiplication.
struct root {
  limb w;
  limb quotient;
};

// w 2^64 = quotient p + (w 2^64 mod p) and the division is exact, so
// quotient = -(w 2^64 mod p) p^-1 mod 2^64.
inline root makeroot(limb w, const prime& q) {
  const limb shifted = lower(mont(w, q.r2, q), q.p);
  return {w, (0 - shifted) * q.pinv};
}

// x w mod p in [0, 2p) for any word x (Shoup): the estimate
// floor(x quotient / 2^64) falls short of floor(x w / p) by at most one.
inline limb mulroot(limb x, root r, const prime& q) {
  const limb estimate = static_cast<limb>((widelimb(x) * r.quotient) >> 64);
  return x * r.w - estimate * q.p;
}

// x w mod p below p.
inline limb reduced(limb x, root r, const prime& q) {
  return lower(mulroot(x, r, q), q.p);
}

// The roots a transform of length n = e m needs, m a power of two and e 1
// or 3.  z: the roots of the negacyclic transforms of length m, z[j] =
// psi^brev(j) for psi a primitive 2m-th root of unity and brev reversing
// log2(m) bits.  For e = 3, rho a primitive 3m-th root of unity:
// twist[j] = rho^j, untwist[j] = rho^-j and omega = rho^m.
struct roots {
  size_t m;
  size_t e;
  std::unique_ptr<root[]> memory;
  root* z;
  root* twist;
  root* untwist;
  root omega;

  explicit roots(size_t n)
      : m(n % 3 == 0 ? n / 3 : n), e(n / m), memory(new root[n]),
        z(memory.get()), twist(e == 3 ? z + m : nullptr),
        untwist(e == 3 ? z + 2 * m : nullptr), omega{} {}

  void make(const prime& q);
};

// With j = i + b, i a power of two above b, brev(j) = brev(i) + brev(b).
void makenegacyclic(root* z, size_t m, const prime& q) {
  limb power = powermod(q.g, (q.p - 1) / (2 * m), q.p); // psi^(m / i)
  root step[64];
  size_t levels = 0;
  for (size_t i = m / 2; i >= 1; i /= 2) {
    step[levels] = makeroot(power, q);
    power = reduced(power, step[levels++], q);
  }
  z[0] = makeroot(1, q);
  for (size_t i = 1; i < m; i *= 2) {
    const root zi = step[--levels];
    for (size_t b = 0; b < i; ++b) {
      z[i + b] = makeroot(reduced(z[b].w, zi, q), q);
    }
  }
}

// r[j] = x^j for j < m.
void makepowers(root* r, size_t m, limb x, const prime& q) {
  const root step = makeroot(x, q);
  limb power = 1;
  for (size_t j = 0; j < m; ++j, power = reduced(power, step, q)) {
    r[j] = makeroot(power, q);
  }
}

void roots::make(const prime& q) {
  makenegacyclic(z, m, q);
  if (e == 3) {
    const limb rho = powermod(q.g, (q.p - 1) / (3 * m), q.p);
    makepowers(twist, m, rho, q);
    makepowers(untwist, m, powermod(rho, 3 * m - 1, q.p), q);
    omega = makeroot(powermod(rho, m, q.p), q);
  }
}

// a[0, m) := the negacyclic transform of a, in bit-reversed order, for a
// that repeats with period `width` (a power of two): the levels that would
// only copy are left out.  Values below 4p in and out (Cooley-Tukey with
// Harvey's lazy reduction).
void forward(limb* a, size_t m, size_t width, const root* z, const prime& q) {
  const limb twop = 2 * q.p;
  size_t k = m / width;
  for (size_t len = width / 2; len >= 1; len /= 2) {
    for (size_t start = 0; start < m; start += 2 * len) {
      const root zeta = z[k++];
      for (size_t j = start; j < start + len; ++j) {
        const limb x = lower(a[j], twop);
        const limb t = mulroot(a[j + len], zeta, q);
        a[j] = x + t;
        a[j + len] = x - t + twop;
      }
    }
  }
}

// a[0, m) := m times the inverse of forward; values below 2p in and out
// (Gentleman-Sande).  psi^-brev(i + b) = -z[2i - 1 - b], so the roots are
// read backwards and the difference taken the other way round.
void inverse(limb* a, size_t m, const root* z, const prime& q) {
  const limb twop = 2 * q.p;
  size_t k = m - 1;
  for (size_t len = 1; len < m; len *= 2) {
    for (size_t start = 0; start < m; start += 2 * len) {
      const root zeta = z[k--];
      for (size_t j = start; j < start + len; ++j) {
        const limb x = a[j];
        const limb y = a[j + len];
        a[j] = lower(x + y, twop);
        a[j + len] = mulroot(y - x + twop, zeta, q);
      }
    }
  }
}

// x^3m + 1 = (x^m + 1)(x^m + omega)(x^m + omega^2).  Splits a (values below
// 4p) into its remainders b_r modulo the three factors, x^m = -omega^r,
// each below 4p:
//   b0 = a0 - a1 + a2,  b1 = (a0 - a2) - omega s,  b2 = (a0 + a1) + omega s
// for s = a1 + a2 (omega^2 = -1 - omega), and twists b_r(x) into
// b_r(rho^r y) modulo y^m + 1, a negacyclic transform's input.
void splitthree(limb* a, const roots& r, const prime& q) {
  const limb twop = 2 * q.p;
  const size_t m = r.m;
  for (size_t j = 0; j < m; ++j) {
    const limb a0 = lower(a[j], twop);
    const limb a1 = lower(a[j + m], twop);
    const limb a2 = lower(a[j + 2 * m], twop);
    const limb t = mulroot(a1 + a2, r.omega, q);
    const root rho = r.twist[j];
    a[j] = lower(a0 + a2, twop) + twop - a1;
    a[j + m] = mulroot(lower(a0 + twop - a2, twop) + twop - t, rho, q);
    a[j + 2 * m] = mulroot(mulroot(lower(a0 + a1, twop) + t, rho, q), rho, q);
  }
}

// The inverse of splitthree after the inverse transforms (values below 2p),
// times 3: with c_r the untwisted remainders,
//   3 a0 = c0 + c1 + c2,  3 a1 = (c1 - c0) + d,  3 a2 = (c0 - c2) + d
// for d = omega (c1 - c2).  Values below 4p out.
void jointhree(limb* a, const roots& r, const prime& q) {
  const limb twop = 2 * q.p;
  const size_t m = r.m;
  for (size_t j = 0; j < m; ++j) {
    const root rho = r.untwist[j];
    const limb c0 = a[j];
    const limb c1 = mulroot(a[j + m], rho, q);
    const limb c2 = mulroot(mulroot(a[j + 2 * m], rho, q), rho, q);
    const limb d = mulroot(c1 + twop - c2, r.omega, q);
    a[j] = lower(c0 + c1, twop) + c2;
    a[j + m] = lower(c1 + twop - c0, twop) + d;
    a[j + 2 * m] = lower(c0 + twop - c2, twop) + d;
  }
}

// a[0, n) := the transform of u (len m), zero above m.  Of a power-of-two
// length: while the top half of every block is zero, a level of butterflies
// only copies each block's bottom half into its top, so u, zero-padded to a
// power of two, is repeated instead.
void transform(const limb* u, size_t m, limb* a, const roots& r,
               const prime& q) {
  std::copy(u, u + m, a);
  if (r.e == 3) {
    std::fill(a + m, a + 3 * r.m, 0);
    splitthree(a, r, q);
    for (size_t i = 0; i < 3 * r.m; i += r.m) {
      forward(a + i, r.m, r.m, r.z, q);
    }
    return;
  }
  size_t width = 1;
  while (width < m) {
    width *= 2;
  }
  std::fill(a + m, a + width, 0);
  for (size_t i = width; i < r.m; i += width) {
    std::copy(a, a + width, a + i);
  }
  forward(a, r.m, width, r.z, q);
}

// a[0, n) := the columns of u (len m) * v (len nv) modulo q, times n 2^-64;
// b: n limbs of scratch.  m + nv - 1 <= n.
void columnsmodulo(const limb* u, size_t m, const limb* v, size_t nv, limb* a,
                   limb* b, roots& r, const prime& q) {
  const size_t n = r.e * r.m;
  r.make(q);
  transform(u, m, a, r, q);
  const limb twop = 2 * q.p;
  if (u == v && m == nv) {
    for (size_t i = 0; i < n; ++i) {
      const limb x = lower(a[i], twop);
      a[i] = mont(x, x, q);
    }
  } else {
    transform(v, nv, b, r, q);
    for (size_t i = 0; i < n; ++i) {
      a[i] = mont(lower(a[i], twop), lower(b[i], twop), q);
    }
  }
  for (size_t i = 0; i < n; i += r.m) {
    inverse(a + i, r.m, r.z, q);
  }
  if (r.e == 3) {
    jointhree(a, r, q);
  }
}

// Constants that turn the three residues y_i = n c 2^-64 of a column c into
// its mixed-radix digits (Garner): c = x1 + p1 (x2 + p2 x3).  Each is a
// factor f stored as f 2^64 mod p, the form mont expects.
struct garner {
  limb s1;           // x1 = mont(y1, s1)
  limb s2, t21;      // x2 = mont(y2, s2) - mont(x1, t21) mod p2
  limb s3, t31, t32; // x3 = mont(y3, s3) - mont(x1, t31) - mont(x2, t32)
  widelimb p12;      // p1 p2
};

garner makegarner(size_t n) {
  const prime &q1 = primes[0], &q2 = primes[1], &q3 = primes[2];
  // f 2^64 mod p, and for a residue y_i the factor 2^128 / n that undoes
  // the transform's n 2^-64; 1/n mod p is -(p - 1)/n.
  const auto form = [](limb f, const prime& q) { return mulmod(f, q.r1, q.p); };
  const auto unscale = [n](limb f, const prime& q) {
    return mulmod(mulmod(f, q.r2, q.p), q.p - (q.p - 1) / n, q.p);
  };
  const limb p12 = mulmod(q1.p % q3.p, q2.p % q3.p, q3.p);
  garner g{};
  g.s1 = unscale(1, q1);
  g.s2 = unscale(dividemod(1, q1.p, q2.p), q2);
  g.t21 = form(dividemod(1, q1.p, q2.p), q2);
  g.s3 = unscale(dividemod(1, p12, q3.p), q3);
  g.t31 = form(dividemod(1, p12, q3.p), q3);
  g.t32 = form(dividemod(1, q2.p, q3.p), q3);
  g.p12 = widelimb(q1.p) * q2.p;
  return g;
}

// x - y mod p for x, y below p.
inline limb submod(limb x, limb y, limb p) {
  return x >= y ? x - y : x - y + p;
}

// w[0, k) := the columns whose residues y1, y2, y3 columnsmodulo left,
// rebuilt and carried in base 10^19; columns at or above `count` are zero.
// y1 may be w: each column is read before its limb is written.
void rebuild(const limb* y1, const limb* y2, const limb* y3, size_t count,
             const garner& g, limb* w, size_t k) {
  const prime &q1 = primes[0], &q2 = primes[1], &q3 = primes[2];
  const limb p12low = static_cast<limb>(g.p12);
  const limb p12high = static_cast<limb>(g.p12 >> 64);
  widelimb carry = 0;
  for (size_t j = 0; j < k; ++j) {
    limb column[3] = {0, 0, 0}; // least significant word first
    if (j < count) {
      const limb x1 = lower(mont(y1[j], g.s1, q1), q1.p);
      const limb x2 = submod(lower(mont(y2[j], g.s2, q2), q2.p),
                             lower(mont(x1, g.t21, q2), q2.p), q2.p);
      const limb x3 = submod(submod(lower(mont(y3[j], g.s3, q3), q3.p),
                                    lower(mont(x1, g.t31, q3), q3.p), q3.p),
                             lower(mont(x2, g.t32, q3), q3.p), q3.p);
      // x1 + p1 x2 + p1 p2 x3 < p1 p2 p3 < 2^186.
      const widelimb low = widelimb(x3) * p12low;
      const widelimb high = widelimb(x3) * p12high;
      const widelimb s = widelimb(q1.p) * x2 + x1;
      widelimb t = widelimb(static_cast<limb>(low)) + static_cast<limb>(s);
      column[0] = static_cast<limb>(t);
      t = (t >> 64) + (low >> 64) + static_cast<limb>(high) + (s >> 64);
      column[1] = static_cast<limb>(t);
      column[2] = static_cast<limb>(t >> 64) + static_cast<limb>(high >> 64);
    }
    // Column plus carry stays below 2^187: its top word is below 10^19.
    widelimb t = widelimb(column[0]) + static_cast<limb>(carry);
    column[0] = static_cast<limb>(t);
    t = (t >> 64) + column[1] + static_cast<limb>(carry >> 64);
    column[1] = static_cast<limb>(t);
    column[2] += static_cast<limb>(t >> 64);
    limb r;
    const limb qhigh = divradix(column[2], column[1], r);
    const limb qlow = divradix(r, column[0], w[j]);
    carry = widelimb(qhigh) << 64 | qlow;
  }
}

} // namespace

size_t transformlength(size_t columns) {
  size_t power = 1;
  while (power < columns) {
    power *= 2;
  }
  // 3/4 of the power of two, when the columns fit.
  return power >= 4 && columns <= power / 4 * 3 ? power / 4 * 3 : power;
}

void nttproduct(const limb* u, size_t m, const limb* v, size_t n, limb* w,
                size_t k) {
  VELDRA_ASSERT(0 < k && k <= m + n);
  VELDRA_ASSERT(!overlap(w, k, u, m) && !overlap(w, k, v, n));
  // Columns 0 .. m + n - 2, all of them held by the transform; the top limb
  // is the last carry.
  const size_t count = m + n - 1;
  const size_t length = transformlength(count);
  VELDRA_ASSERT(length <= maxpower);
  const size_t kept = std::min(k, count);
  roots r(length);
  const bool squaring = u == v && m == n;
  // The residues modulo the first prime wait in w.
  std::unique_ptr<limb[]> memory(new limb[(squaring ? 1 : 2) * length + kept]);
  limb* a = memory.get();
  limb* y2 = a + length;
  limb* b = y2 + kept;
  columnsmodulo(u, m, v, n, a, b, r, primes[0]);
  std::copy(a, a + kept, w);
  columnsmodulo(u, m, v, n, a, b, r, primes[1]);
  std::copy(a, a + kept, y2);
  columnsmodulo(u, m, v, n, a, b, r, primes[2]);
  rebuild(w, y2, a, kept, makegarner(length), w, k);
}

} // namespace detail
} // namespace VELDRA
