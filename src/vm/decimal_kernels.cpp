// Digit-array kernels: validity checks and the exact low product of two
// well-formed digit arrays.
//
// multiplylow packs the digits into limbs of base 10^19, multiplies the limbs
// and unpacks the low places.  10^19 is the largest power of ten below 2^64,
// so a limb product fits unsigned __int128 and one limb holds 19 digits.
// Shorter factors go through the schoolbook columns, longer ones through
// Karatsuba; a low product computes only the limbs it returns.
#include "decimal_kernels.hpp"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace VELDRA {
namespace detail {

namespace {

// The byte b repeated in all eight bytes of a word.
constexpr std::uint64_t everybyte(std::uint8_t b) {
  return 0x0101010101010101u * b;
}

// Eight elements as one word.  Only "is some byte set" is asked of it, so the
// byte order does not matter.
std::uint64_t eightdigits(const digit* d) {
  std::uint64_t w;
  std::memcpy(&w, d, sizeof w);
  return w;
}

} // namespace

bool wellformed(const digit* d, std::size_t n) {
  // A byte b lies in 0..9 when neither b nor b + 0x76 has its top bit set.
  // The addition carries into the next byte only from a byte of 0x8a or
  // more, whose own top bit already rejects the word.
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const std::uint64_t w = eightdigits(d + i);
    if (((w | (w + everybyte(0x76))) & everybyte(0x80)) != 0) {
      return false;
    }
  }
  for (; i < n; ++i) {
    if (d[i] < 0 || d[i] > 9) {
      return false;
    }
  }
  return true;
}

std::size_t significantlength(const digit* d, std::size_t n) {
  while (n >= 8 && eightdigits(d + n - 8) == 0) {
    n -= 8;
  }
  while (n > 0 && d[n - 1] == 0) {
    --n;
  }
  return n;
}

namespace {

using std::size_t;
using limb = std::uint64_t;
__extension__ typedef unsigned __int128 wide;

constexpr size_t limbdigits = 19;
constexpr limb radix = 10000000000000000000u; // 10^19, top bit set
// floor((2^128 - 1) / radix) - 2^64: the reciprocal divradix multiplies by.
constexpr limb radixinv = static_cast<limb>(~wide(0) / radix);

// Products whose shorter factor has fewer limbs than this run through the
// schoolbook columns; measured on a Zen 4 core, Karatsuba starts to win
// between 64 and 96 limbs (about 1200 to 1800 digits).
constexpr size_t karatsubathreshold = 64;
// Low products whose shorter factor has fewer limbs than this are
// truncated schoolbook; the split into a full and two low products pays
// off only above this size.
constexpr size_t lowsplitthreshold = 256;

size_t limbsfor(size_t digits) {
  return (digits + limbdigits - 1) / limbdigits;
}

// q := floor((u1 * 2^64 + u0) / 10^19), r := the remainder; u1 < 10^19.
// Division by an invariant normalised divisor through its reciprocal
// (Moller and Granlund, "Improved division by invariant integers", alg. 4).
limb divradix(limb u1, limb u0, limb& r) {
  const wide q = wide(radixinv) * u1 + (wide(u1 + 1) << 64 | u0);
  limb qh = static_cast<limb>(q >> 64);
  r = u0 - qh * radix;
  if (r > static_cast<limb>(q)) {
    --qh;
    r += radix;
  }
  if (r >= radix) {
    ++qh;
    r -= radix;
  }
  return qh;
}

// w[0, k) := the low k limbs of u (len m) * v (len n); k <= m + n.
// Product scanning (Comba): column c sums u[i] * v[c - i] into 192 bits
// (acc, top).  A column has at most min(m, n) products below 2^128, so top
// stays far below 10^19 as divradix requires; the column plus the carry in
// splits into w[c] and a carry out below 2^128.
void schoolbook(const limb* u, size_t m, const limb* v, size_t n, limb* w,
                size_t k) {
  assert(k <= m + n);
  wide carry = 0;
  for (size_t c = 0; c < k; ++c) {
    wide acc = 0;
    limb top = 0;
    const size_t first = c < n ? 0 : c - n + 1;
    const size_t last = std::min(c + 1, m);
    for (size_t i = first; i < last; ++i) {
      const wide p = wide(u[i]) * v[c - i];
      acc += p;
      top += acc < p;
    }
    // The carry joins after the products, so they do not wait for it.
    acc += carry;
    top += acc < carry;
    limb r;
    const limb qhigh = divradix(top, static_cast<limb>(acc >> 64), r);
    const limb qlow = divradix(r, static_cast<limb>(acc), w[c]);
    carry = wide(qhigh) << 64 | qlow;
  }
}

// w[0, m) += v (len n), n <= m; returns the carry out of w[m - 1].
// The carry out of a limb is known before the carry into it: only a sum of
// exactly 10^19 - 1 passes an incoming carry on, which the (rarely taken)
// branch handles, so the loop carries no long dependency.
limb addto(limb* w, size_t m, const limb* v, size_t n) {
  limb carry = 0;
  size_t i = 0;
  for (; i < n; ++i) {
    const limb s = w[i] + v[i];
    const limb out = (s < v[i]) | (s >= radix); // s wraps past 2^64 or not
    limb sum = s - (radix & (0 - out)) + carry;
    carry = out;
    if (sum == radix) {
      sum = 0;
      carry = 1;
    }
    w[i] = sum;
  }
  for (; carry != 0 && i < m; ++i) {
    carry = w[i] == radix - 1;
    w[i] = carry != 0 ? 0 : w[i] + 1;
  }
  return carry;
}

// w[0, m) -= v (len n), n <= m; returns the borrow out of w[m - 1].
// Same scheme as addto: only a difference of 0 passes a borrow on.
limb subfrom(limb* w, size_t m, const limb* v, size_t n) {
  limb borrow = 0;
  size_t i = 0;
  for (; i < n; ++i) {
    const limb out = w[i] < v[i];
    const limb d = w[i] - v[i] + (radix & (0 - out));
    if (d < borrow) {
      w[i] = radix - 1;
    } else {
      w[i] = d - borrow;
      borrow = out;
    }
  }
  for (; borrow != 0 && i < m; ++i) {
    borrow = w[i] == 0;
    w[i] = borrow != 0 ? radix - 1 : w[i] - 1;
  }
  return borrow;
}

// w[0, m] := u (len m) + v (len n), n <= m; returns the length of the sum
// without a zero top limb (m or m + 1).
size_t sumof(const limb* u, size_t m, const limb* v, size_t n, limb* w) {
  std::copy(u, u + m, w);
  w[m] = addto(w, m, v, n);
  return m + w[m];
}

// w[0, m + n) := u (len m) * v (len n).  t: scratch of 5 * max(m, n) limbs.
// Karatsuba with h = ceil(max/2), u = u1 B^h + u0, v = v1 B^h + v0:
//   u v = u1 v1 B^2h + ((u0 + u1)(v0 + v1) - u0 v0 - u1 v1) B^h + u0 v0.
// A factor no longer than h is multiplied by slices of the other instead.
void product(const limb* u, size_t m, const limb* v, size_t n, limb* w,
             limb* t) {
  if (m < n) {
    std::swap(u, v);
    std::swap(m, n);
  }
  if (n < karatsubathreshold) {
    schoolbook(u, m, v, n, w, m + n);
    return;
  }
  const size_t h = (m + 1) / 2;
  if (n <= h) {
    // Uses 2n + 5n <= 5m limbs of t.
    std::fill(w, w + m + n, 0);
    for (size_t i = 0; i < m; i += n) {
      const size_t slice = std::min(n, m - i);
      product(u + i, slice, v, n, t, t + slice + n);
      addto(w + i, m + n - i, t, slice + n);
    }
    return;
  }
  // Uses 4(h + 1) + 5(h + 1) <= 5m limbs of t for m >= 27.
  limb* usum = t;
  limb* vsum = usum + h + 1;
  limb* middle = vsum + h + 1;
  limb* rest = middle + 2 * h + 2;
  const size_t lu = sumof(u, h, u + h, m - h, usum);
  const size_t lv = sumof(v, h, v + h, n - h, vsum);
  const size_t lmiddle = lu + lv;
  product(usum, lu, vsum, lv, middle, rest);
  product(u, h, v, h, w, rest);
  product(u + h, m - h, v + h, n - h, w + 2 * h, rest);
  subfrom(middle, lmiddle, w, 2 * h);
  subfrom(middle, lmiddle, w + 2 * h, m + n - 2 * h);
  // The middle term is below B^(m + n - h); its higher limbs are zero.
  addto(w + h, m + n - h, middle, std::min(lmiddle, m + n - h));
}

// w[0, k) := the low k limbs of u (len m) * v (len n); m, n <= k <= m + n.
// t: scratch of 7k limbs.  With h = floor(k/2), u = u1 B^h + u0 and
// v = v1 B^h + v0:
//   u v mod B^k = (u0 v0 + B^h (u1 (v mod B^(k - h)) + u0 v1)) mod B^k,
// where u0 v0 is a full product of at most 2h <= k limbs and the other two
// terms are low products of k - h limbs.
void lowproduct(const limb* u, size_t m, const limb* v, size_t n, limb* w,
                size_t k, limb* t) {
  assert(m <= k && n <= k && k <= m + n);
  if (m + n == k) {
    product(u, m, v, n, w, t);
    return;
  }
  const size_t shorter = std::min(m, n);
  if (shorter >= karatsubathreshold && 8 * k >= 5 * (m + n)) {
    // The full Karatsuba product beats cutting from 5/8 of its length up.
    product(u, m, v, n, t, t + m + n);
    std::copy(t, t + k, w);
    return;
  }
  if (shorter < lowsplitthreshold) {
    schoolbook(u, m, v, n, w, k);
    return;
  }
  const size_t h = k / 2;
  const size_t kh = k - h;
  const size_t m0 = std::min(m, h);
  product(u, m0, v, std::min(n, h), w, t);
  std::fill(w + m0 + std::min(n, h), w + k, 0);
  if (m > h) {
    lowproduct(u + h, m - h, v, std::min(n, kh), t, kh, t + kh);
    addto(w + h, kh, t, kh);
  }
  if (n > h) {
    lowproduct(u, m0, v + h, n - h, t, kh, t + kh);
    addto(w + h, kh, t, kh);
  }
}

// The value of the n <= 9 digits d[0, n).
std::uint32_t nineofvalue(const digit* d, size_t n) {
  std::uint32_t value = 0;
  while (n > 0) {
    value = value * 10 + static_cast<std::uint32_t>(d[--n]);
  }
  return value;
}

// x[0, limbsfor(n)) := the n well-formed digits d[0, n), 19 to a limb.
void packlimbs(const digit* d, size_t n, limb* x) {
  constexpr limb e9 = 1000000000;
  for (; n >= limbdigits; d += limbdigits, n -= limbdigits) {
    *x++ = (limb(d[18]) * e9 + nineofvalue(d + 9, 9)) * e9 + nineofvalue(d, 9);
  }
  if (n > 0) {
    const size_t low = std::min<size_t>(n, 9);
    *x = limb(nineofvalue(d + low, n - low)) * e9 + nineofvalue(d, low);
  }
}

// Digit pairs 00..99, least significant digit first.
struct digitpairs {
  digit d[200];
};
constexpr digitpairs makepairs() {
  digitpairs p{};
  for (int i = 0; i < 100; ++i) {
    p.d[2 * i] = static_cast<digit>(i % 10);
    p.d[2 * i + 1] = static_cast<digit>(i / 10);
  }
  return p;
}
constexpr digitpairs pairs = makepairs();

// d[0, 8) := the eight digits of v < 10^8.
void eightof(std::uint32_t v, digit* d) {
  for (int j = 0; j < 8; j += 2, v /= 100) {
    std::memcpy(d + j, pairs.d + 2 * (v % 100), 2);
  }
}

// d[0, n) := the low n digits of x (len k), zero above the limbs.
void unpacklimbs(const limb* x, size_t k, digit* d, size_t n) {
  constexpr limb e9 = 1000000000, e8 = 100000000;
  for (; k > 0 && n >= limbdigits; --k, ++x, d += limbdigits, n -= limbdigits) {
    const limb high = *x / e9, low = *x % e9;
    eightof(static_cast<std::uint32_t>(low % e8), d);
    d[8] = static_cast<digit>(low / e8);
    eightof(static_cast<std::uint32_t>(high % e8), d + 9);
    // % 100 keeps the index in the table even for a limb of 10^19 or more,
    // which only malformed digits can bring about.
    std::memcpy(d + 17, pairs.d + 2 * (high / e8 % 100), 2);
  }
  if (k > 0) {
    limb v = *x;
    for (; n > 0 && v != 0; --n, v /= 10) {
      *d++ = static_cast<digit>(v % 10);
    }
  }
  std::fill(d, d + n, 0);
}

} // namespace

void multiplylow(const digit* a, std::size_t na, const digit* b, std::size_t nb,
                 digit* out, std::size_t outlen) {
  // Places at or above outlen in a factor do not reach the result.
  na = significantlength(a, std::min(na, outlen));
  nb = significantlength(b, std::min(nb, outlen));
  if (na == 0 || nb == 0) {
    std::fill(out, out + outlen, 0);
    return;
  }
  const size_t m = limbsfor(na), n = limbsfor(nb);
  const size_t k = std::min(limbsfor(outlen), m + n);
  // Factors, result and 7k of scratch; small products stay off the heap.
  const size_t need = m + n + 8 * k;
  limb local[256];
  std::unique_ptr<limb[]> heap;
  limb* u = local;
  if (need > sizeof local / sizeof *local) {
    heap.reset(new limb[need]);
    u = heap.get();
  }
  limb* v = u + m;
  limb* w = v + n;
  packlimbs(a, na, u);
  packlimbs(b, nb, v);
  lowproduct(u, m, v, n, w, k, w + k);
  unpacklimbs(w, k, out, outlen);
}

void multiplyplaces(const digit* a, std::size_t na, const digit* b,
                    std::size_t nb, digit* out) {
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

} // namespace detail
} // namespace VELDRA
