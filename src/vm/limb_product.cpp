// Limb products: schoolbook columns, Karatsuba and Toom-3, each with its
// cheaper square, the low product that computes only the limbs a result keeps,
// and the choice between these and the transform of limb_ntt.cpp.
#include "contract.hpp"
#include "limbs.hpp"

#include <algorithm>
#include <utility>

namespace VELDRA {
namespace detail {

using std::size_t;

namespace {

// w[c] := (column c + carry) mod 10^19 and carry := the rest, for the
// column sum (top, acc) = top 2^128 + acc.  top < 10^19 as divradix requires.
inline void settle(limb top, widelimb acc, widelimb& carry, limb& out) {
  // The carry joins after the products, so they do not wait for it.
  acc += carry;
  top += acc < carry;
  limb r;
  const limb qhigh = divradix(top, static_cast<limb>(acc >> 64), r);
  const limb qlow = divradix(r, static_cast<limb>(acc), out);
  carry = widelimb(qhigh) << 64 | qlow;
}

// (acc, top) += the products u[i] v[c - i] for first <= i < last: column c
// of a product, or the half of it that a square sums.  Three products stay
// below 3 * 10^38 < 2^128, so each triple is summed in 128 bits before one
// carry into top.  The one or two products left over come first, so that a
// column leaves a single loop.
inline void addcolumn(const limb* u, const limb* v, size_t c, size_t first,
                      size_t last, widelimb& acc, limb& top) {
  size_t i = first;
  if (i >= last) {
    return;
  }
  const size_t odd = (last - i) % 3;
  if (odd != 0) {
    widelimb p = widelimb(u[i]) * v[c - i];
    if (odd == 2) {
      p += widelimb(u[i + 1]) * v[c - i - 1];
    }
    acc += p;
    top += acc < p;
    i += odd;
  }
  for (; i < last; i += 3) {
    const widelimb p = widelimb(u[i]) * v[c - i] +
                       widelimb(u[i + 1]) * v[c - i - 1] +
                       widelimb(u[i + 2]) * v[c - i - 2];
    acc += p;
    top += acc < p;
  }
}

// w[0, k) := the low k limbs of u (len m) * v (len n); k <= m + n.
// Product scanning (Comba): column c sums u[i] * v[c - i] into 192 bits
// (acc, top).  A column has at most min(m, n) products below 2^128, so top
// stays far below 10^19 as divradix requires; the column plus the carry in
// splits into w[c] and a carry out below 2^128.
void schoolbookproduct(const limb* u, size_t m, const limb* v, size_t n,
                       limb* w, size_t k) {
  VELDRA_ASSERT(k <= m + n);
  widelimb carry = 0;
  for (size_t c = 0; c < k; ++c) {
    widelimb acc = 0;
    limb top = 0;
    addcolumn(u, v, c, c < n ? 0 : c - n + 1, std::min(c + 1, m), acc, top);
    settle(top, acc, carry, w[c]);
  }
}

// w[0, k) := the low k limbs of u (len n) squared; k <= 2n.  Comba as above,
// each column summing its products u[i] u[c - i] with i < c - i once,
// doubling the sum and adding the square u[c/2]^2 of an even column: about
// half the products of schoolbookproduct(u, n, u, n).
void schoolbooksquare(const limb* u, size_t n, limb* w, size_t k) {
  VELDRA_ASSERT(k <= 2 * n);
  widelimb carry = 0;
  for (size_t c = 0; c < k; ++c) {
    widelimb acc = 0;
    limb top = 0;
    addcolumn(u, u, c, c < n ? 0 : c - n + 1, (c + 1) / 2, acc, top);
    top = top << 1 | static_cast<limb>(acc >> 127);
    acc <<= 1;
    if (c % 2 == 0) {
      const widelimb p = widelimb(u[c / 2]) * u[c / 2];
      acc += p;
      top += acc < p;
    }
    settle(top, acc, carry, w[c]);
  }
}

// w[0, k) := the low k limbs of u (len m) * v (len n) by the columns of
// schoolbookproduct, or of schoolbooksquare for a square; k <= m + n.
inline void columns(const limb* u, size_t m, const limb* v, size_t n, limb* w,
                    size_t k) {
  if (u == v && m == n) {
    schoolbooksquare(u, m, w, k);
  } else {
    schoolbookproduct(u, m, v, n, w, k);
  }
}

// w[0, m] := u (len m) + v (len n), n <= m; returns the length of the sum
// without a zero top limb (m or m + 1).
size_t sumof(const limb* u, size_t m, const limb* v, size_t n, limb* w) {
  std::copy(u, u + m, w);
  w[m] = addto(w, m, v, n);
  return m + w[m];
}

// w[0, n] := |x (len n + 1) - y (len n)|; true when x < y.
bool absdifference(const limb* x, const limb* y, size_t n, limb* w) {
  std::copy(x, x + n + 1, w);
  if (subfrom(w, n + 1, y, n) == 0) {
    return false;
  }
  std::copy(y, y + n, w);
  w[n] = 0;
  subfrom(w, n + 1, x, n + 1);
  return true;
}

// w[0, n) /= d, which divides it exactly; d is 2 or 3.  From the top, with
// radix = places d + rest: r radix + w[i] = r places d + (r rest + w[i]),
// below 2^64, which the compiler divides by d through its reciprocal.
// rest is 0 or 1, so the next remainder, (r rest + w[i] mod d) mod d, takes
// one comparison after w[i] mod d, which does not wait for r: the loop's
// only chain is that comparison, not a division.
template <limb d> void divideexactly(limb* w, size_t n) {
  constexpr limb places = radix / d, rest = radix % d;
  static_assert(rest <= 1, "r rest + w[i] mod d is below 2d");
  limb r = 0;
  for (size_t i = n; i-- > 0;) {
    const limb x = w[i];
    const limb next = r * rest + x % d;
    w[i] = r * places + (r * rest + x) / d;
    r = next >= d ? next - d : next;
  }
  VELDRA_ASSERT(r == 0);
}

// For x (len k) = x2 X^2 + x1 X + x0, X = B^h and k - 2h <= h:
// at[0, h] := x(1) and minus[0, h] := |x(-1)|; true when x(-1) < 0.
bool evaluateatones(const limb* x, size_t k, size_t h, limb* at, limb* minus) {
  sumof(x, h, x + 2 * h, k - 2 * h, at);
  const bool negative = absdifference(at, x + h, h, minus);
  addto(at, h + 1, x + h, h);
  return negative;
}

// at[0, h] := x(2) = 2 (x(1) + x2) - x0 from at = x(1), below 8 B^h.
void evaluateattwo(const limb* x, size_t k, size_t h, limb* at) {
  addto(at, h + 1, x + 2 * h, k - 2 * h);
  addto(at, h + 1, at, h + 1);
  subfrom(at, h + 1, x, h);
}

// The coefficients c_i >= 0 of u v = c4 X^4 + ... + c0 (X = B^h) from the
// products of u and v at 0, 1, -1, 2 and infinity:
//   p0 = c0, p1 = c0 + c1 + c2 + c3 + c4, pm = c0 - c1 + c2 - c3 + c4,
//   p2 = c0 + 2 c1 + 4 c2 + 8 c3 + 16 c4, pinf = c4.
// w holds p0 in [0, 2h) and pinf in [4h, k); at1, atminus (|pm|, with
// `negative` its sign) and at2 hold l limbs each, spare l more.  Every step
// leaves a sum of the c_i with coefficients >= 0, so the divisions by 3 and
// 2 are exact; the c_i then go into w, which becomes u v (len k).
void interpolate(limb* w, size_t k, size_t h, limb* at1, const limb* atminus,
                 bool negative, limb* at2, limb* spare, size_t l) {
  const auto minus = negative ? addto : subfrom;
  const limb* c0 = w;
  const limb* c4 = w + 4 * h;
  const size_t top = k - 4 * h;
  // at2 := (p2 - pm) / 3 = c1 + c2 + 3 c3 + 5 c4.
  minus(at2, l, atminus, l);
  divideexactly<3>(at2, l);
  // spare := (p1 - pm) / 2 = c1 + c3.
  std::copy(at1, at1 + l, spare);
  minus(spare, l, atminus, l);
  divideexactly<2>(spare, l);
  // at1 := p1 - c0 = c1 + c2 + c3 + c4.
  subfrom(at1, l, c0, 2 * h);
  // at2 := (at2 - at1) / 2 - 2 c4 = c3.
  subfrom(at2, l, at1, l);
  divideexactly<2>(at2, l);
  subfrom(at2, l, c4, top);
  subfrom(at2, l, c4, top);
  // at1 := at1 - (c1 + c3) - c4 = c2; spare := (c1 + c3) - c3 = c1.
  subfrom(at1, l, spare, l);
  subfrom(at1, l, c4, top);
  subfrom(spare, l, at2, l);
  std::fill(w + 2 * h, w + 4 * h, 0);
  addto(w + h, k - h, spare, l);
  addto(w + 2 * h, k - 2 * h, at1, l);
  // c3 X^3 is below B^k; its limbs past that are zero.
  addto(w + 3 * h, k - 3 * h, at2, std::min(l, k - 3 * h));
}

// w[0, m + n) := u (len m) * v (len n) by Toom-3; 2h < n <= m for
// h = ceil(m/3).  t: 13(h + 1) limbs.  With X = B^h, u = u2 X^2 + u1 X + u0
// and v alike, the five products at 0, 1, -1, 2 and infinity give the
// product's coefficients (interpolate).  u and v at 1, -1 and 2 are below
// 8 X, so those products take h + 1 limbs a factor.  A square stays one:
// its five products are squares.
void toomproduct(const limb* u, size_t m, const limb* v, size_t n, limb* w,
                 limb* t, bool squaring) {
  const size_t h = (m + 2) / 3, e = h + 1, l = 2 * e;
  VELDRA_ASSERT(2 * h < n && n <= m);
  VELDRA_ASSERT(3 * l + 2 * e + productscratch(e, e) <= productscratch(m, n));
  limb* at1 = t;
  limb* atminus = t + l;
  limb* at2 = t + 2 * l; // first |u(-1)| and |v(-1)|
  limb* uat = t + 3 * l; // u and v at 1, then at 2
  limb* vat = squaring ? uat : uat + e;
  limb* rest = uat + l;
  const limb* vminus = squaring ? at2 : at2 + e;
  const bool unegative = evaluateatones(u, m, h, uat, at2);
  const bool negative =
      !squaring && unegative != evaluateatones(v, n, h, vat, at2 + e);
  product(at2, e, vminus, e, atminus, rest);
  product(uat, e, vat, e, at1, rest);
  evaluateattwo(u, m, h, uat);
  if (!squaring) {
    evaluateattwo(v, n, h, vat);
  }
  product(uat, e, vat, e, at2, rest);
  product(u, h, v, h, w, rest);
  product(u + 2 * h, m - 2 * h, v + 2 * h, n - 2 * h, w + 4 * h, rest);
  interpolate(w, m + n, h, at1, atminus, negative, at2, uat, l);
}

} // namespace

bool bytransform(size_t m, size_t n, size_t k, bool squaring) {
  const size_t shorter = std::min(m, n);
  if (k == m + n) {
    return shorter >= (squaring ? nttsquarethreshold : nttthreshold);
  }
  return shorter >= (squaring ? nttlowsquarethreshold : nttlowthreshold);
}

// w[0, m) += v (len n), n <= m; returns the carry out of w[m - 1].
// The carry out of a limb is known before the carry into it: only a sum of
// exactly 10^19 - 1 passes an incoming carry on, which the (rarely taken)
// branch handles, so the loop carries no long dependency.
limb addto(limb* w, size_t m, const limb* v, size_t n) {
  VELDRA_ASSERT(n <= m);
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
  VELDRA_ASSERT(n <= m);
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

// w[0, m + n) := u (len m) * v (len n).  t: scratch of 5 * max(m, n) limbs.
// Karatsuba with h = ceil(max/2), u = u1 B^h + u0, v = v1 B^h + v0:
//   u v = u1 v1 B^2h + ((u0 + u1)(v0 + v1) - u0 v0 - u1 v1) B^h + u0 v0.
// A square (u == v) stays one: its three parts are squares.  A factor no
// longer than h is multiplied by slices of the other instead; long factors
// of nearly one length split in thirds (toomproduct).
void product(const limb* u, size_t m, const limb* v, size_t n, limb* w,
             limb* t) {
  if (m < n) {
    std::swap(u, v);
    std::swap(m, n);
  }
  VELDRA_ASSERT(!overlap(w, m + n, u, m) && !overlap(w, m + n, v, n));
  const bool squaring = u == v && m == n;
  if (n < (squaring ? karatsubasquarethreshold : karatsubathreshold)) {
    columns(u, m, v, n, w, m + n);
    return;
  }
  if (bytransform(m, n, m + n, squaring)) {
    nttproduct(u, m, v, n, w, m + n);
    return;
  }
  const size_t h = (m + 1) / 2;
  if (n <= h) {
    // Uses 2n + 5n <= 5m limbs of t.
    VELDRA_ASSERT(2 * n + productscratch(n, n) <= productscratch(m, n));
    std::fill(w, w + m + n, 0);
    for (size_t i = 0; i < m; i += n) {
      const size_t slice = std::min(n, m - i);
      product(u + i, slice, v, n, t, t + slice + n);
      addto(w + i, m + n - i, t, slice + n);
    }
    return;
  }
  if (n >= (squaring ? toomsquarethreshold : toomthreshold) &&
      n > 2 * ((m + 2) / 3)) {
    toomproduct(u, m, v, n, w, t, squaring);
    return;
  }
  // Uses 4(h + 1) + 5(h + 1) <= 5m limbs of t for m >= 27.
  VELDRA_ASSERT(4 * (h + 1) + productscratch(h + 1, h + 1) <=
                productscratch(m, n));
  limb* usum = t;
  limb* vsum = usum + h + 1;
  limb* middle = vsum + h + 1;
  limb* rest = middle + 2 * h + 2;
  const size_t lu = sumof(u, h, u + h, m - h, usum);
  const size_t lv = squaring ? lu : sumof(v, h, v + h, n - h, vsum);
  const size_t lmiddle = lu + lv;
  product(usum, lu, squaring ? usum : vsum, lv, middle, rest);
  product(u, h, v, h, w, rest);
  product(u + h, m - h, v + h, n - h, w + 2 * h, rest);
  subfrom(middle, lmiddle, w, 2 * h);
  subfrom(middle, lmiddle, w + 2 * h, m + n - 2 * h);
  // The middle term is below B^(m + n - h); its higher limbs are zero.
  addto(w + h, m + n - h, middle, std::min(lmiddle, m + n - h));
}

// w[0, k) := the low k limbs of u (len m) * v (len n); m, n <= k <= m + n.
// t: lowproductscratch limbs.  With h = floor(k/2), u = u1 B^h + u0 and
// v = v1 B^h + v0:
//   u v mod B^k = (u0 v0 + B^h (u1 (v mod B^(k - h)) + u0 v1)) mod B^k,
// where u0 v0 is a full product of at most 2h <= k limbs and the other two
// terms are low products of k - h limbs.  For a square the two terms are
// 2 u0 u1 plus, when k is odd, u1[0]^2 at B^h: one low product.
void lowproduct(const limb* u, size_t m, const limb* v, size_t n, limb* w,
                size_t k, limb* t) {
  VELDRA_ASSERT(m <= k && n <= k && k <= m + n);
  VELDRA_ASSERT(!overlap(w, k, u, m) && !overlap(w, k, v, n));
  if (m + n == k) {
    product(u, m, v, n, w, t);
    return;
  }
  const bool squaring = u == v && m == n;
  const size_t shorter = std::min(m, n);
  if (bytransform(m, n, k, squaring)) {
    nttproduct(u, m, v, n, w, k);
    return;
  }
  if (shorter >= karatsubathreshold && 8 * k >= 5 * (m + n)) {
    // The full product beats cutting from 5/8 of its length up.
    VELDRA_ASSERT(m + n + productscratch(m, n) <= 7 * k);
    product(u, m, v, n, t, t + m + n);
    std::copy(t, t + k, w);
    return;
  }
  if (shorter < (squaring ? lowsplitsquarethreshold : lowsplitthreshold)) {
    columns(u, m, v, n, w, k);
    return;
  }
  const size_t h = k / 2;
  const size_t kh = k - h;
  const size_t m0 = std::min(m, h);
  // The halves' products and low products fit the scratch given.
  VELDRA_ASSERT(productscratch(m0, std::min(n, h)) <= 7 * k &&
                kh + 7 * kh <= 7 * k);
  product(u, m0, v, std::min(n, h), w, t);
  std::fill(w + m0 + std::min(n, h), w + k, 0);
  if (squaring) {
    // k < 2m, so m > h and u1 is not empty.
    lowproduct(u, h, u + h, m - h, t, kh, t + kh);
    addto(t, kh, t, kh);
    if (kh > h) {
      limb top;
      divradix(static_cast<limb>((widelimb(u[h]) * u[h]) >> 64), u[h] * u[h],
               top);
      addto(t + h, 1, &top, 1);
    }
    addto(w + h, kh, t, kh);
    return;
  }
  if (m > h) {
    lowproduct(u + h, m - h, v, std::min(n, kh), t, kh, t + kh);
    addto(w + h, kh, t, kh);
  }
  if (n > h) {
    lowproduct(u, m0, v + h, n - h, t, kh, t + kh);
    addto(w + h, kh, t, kh);
  }
}

} // namespace detail
} // namespace VELDRA
