// Long division of digit arrays: the digits are packed nine to a 32-bit limb
// (base 10^9, so a limb product plus carries fits in 64 bits) and divided
// with the classic normalized schoolbook method, one quotient limb per pass
// over the divisor.
#include "digits.hpp"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace VELDRA {
namespace detail {

namespace {

using limb = std::uint32_t;
using wide = std::uint64_t;
using limbs = std::vector<limb>;

constexpr std::size_t limbdigits = 9;
constexpr wide base = 1000000000;

limbs tolimbs(const digit* d, std::size_t n) {
  limbs out((n + limbdigits - 1) / limbdigits);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const std::size_t low = i * limbdigits;
    limb value = 0;
    for (std::size_t place = std::min(n, low + limbdigits); place-- > low;) {
      value = value * 10 + static_cast<limb>(d[place]);
    }
    out[i] = value;
  }
  return out;
}

// d[0, n) = the low n places of x; places beyond x are zero.
void todigits(const limbs& x, digit* d, std::size_t n) {
  std::fill(d, d + n, digit{0});
  for (std::size_t i = 0; i < x.size() && i * limbdigits < n; ++i) {
    limb value = x[i];
    for (std::size_t place = i * limbdigits; value != 0 && place < n; ++place) {
      d[place] = static_cast<digit>(value % 10);
      value /= 10;
    }
  }
}

// x = x × factor over its n limbs; returns the limb carried out.
limb multiplyshort(limb* x, std::size_t n, limb factor) {
  wide carry = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const wide product = wide{x[i]} * factor + carry;
    x[i] = static_cast<limb>(product % base);
    carry = product / base;
  }
  return static_cast<limb>(carry);
}

// x = x / divisor over its limbs; returns the remainder.
limb divideshort(limbs& x, limb divisor) {
  wide rest = 0;
  for (std::size_t i = x.size(); i-- > 0;) {
    const wide current = rest * base + x[i];
    x[i] = static_cast<limb>(current / divisor);
    rest = current % divisor;
  }
  return static_cast<limb>(rest);
}

// u[0, n) -= q × v[0, n); returns what the top limb above must lose: the
// product's carry plus the final borrow.
wide submultiple(limb* u, const limb* v, std::size_t n, wide q) {
  wide carry = 0;
  wide borrow = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const wide product = q * v[i] + carry;
    carry = product / base;
    const wide take = product % base + borrow;
    borrow = u[i] < take ? 1 : 0;
    u[i] = static_cast<limb>(u[i] + borrow * base - take);
  }
  return carry + borrow;
}

// u[0, n) += v[0, n); returns the carry out.
wide addback(limb* u, const limb* v, std::size_t n) {
  wide carry = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const wide sum = wide{u[i]} + v[i] + carry;
    carry = sum >= base ? 1 : 0;
    u[i] = static_cast<limb>(sum - carry * base);
  }
  return carry;
}

// The estimate of the quotient limb at u[j]: the top two limbs of the
// running remainder over the divisor's top limb, corrected with the next
// limb of each so that it is at most one too large.
wide estimate(const limbs& u, const limbs& v, std::size_t j) {
  const std::size_t n = v.size();
  const wide top = wide{u[j + n]} * base + u[j + n - 1];
  wide q = top / v[n - 1];
  wide r = top % v[n - 1];
  while (q >= base || q * v[n - 2] > r * base + u[j + n - 2]) {
    --q;
    r += v[n - 1];
    if (r >= base) {
      break;
    }
  }
  return q;
}

// u / v with v of at least two limbs, v's top limb non-zero and u no
// shorter than v: the quotient goes to q, u keeps the remainder.
void dividelong(limbs& u, limbs v, limbs& q) {
  const std::size_t n = v.size();
  const std::size_t m = u.size() - n;
  // Scaling both by d brings v's top limb to at least base / 2, which keeps
  // each estimate within one of the true quotient limb.
  const auto d = static_cast<limb>(base / (wide{v[n - 1]} + 1));
  multiplyshort(v.data(), n, d);
  u.push_back(multiplyshort(u.data(), u.size(), d));
  q.assign(m + 1, 0);
  for (std::size_t j = m + 1; j-- > 0;) {
    wide qhat = estimate(u, v, j);
    auto top = static_cast<std::int64_t>(u[j + n]) -
               static_cast<std::int64_t>(submultiple(&u[j], v.data(), n, qhat));
    while (top < 0) {
      --qhat;
      top += static_cast<std::int64_t>(addback(&u[j], v.data(), n));
    }
    u[j + n] = static_cast<limb>(top);
    q[j] = static_cast<limb>(qhat);
  }
  u.resize(n);
  divideshort(u, d);
}

// Values of up to 19 digits fit a machine word and divide without limbs.
constexpr std::size_t worddigits = 19;

std::uint64_t wordvalue(const digit* d, std::size_t n) {
  std::uint64_t value = 0;
  for (std::size_t place = n; place-- > 0;) {
    value = value * 10 + static_cast<std::uint64_t>(d[place]);
  }
  return value;
}

// d[0, n) = the low n places of value.
void storeword(std::uint64_t value, digit* d, std::size_t n) {
  for (std::size_t place = 0; place < n; ++place) {
    d[place] = static_cast<digit>(value % 10);
    value /= 10;
  }
}

} // namespace

void divide(const digit* a, std::size_t na, const digit* b, std::size_t nb,
            digit* quotient, std::size_t nq, digit* remainder, std::size_t nr) {
  na = significantlength(a, na);
  nb = significantlength(b, nb);
  if (na <= worddigits && nb <= worddigits) {
    const std::uint64_t x = wordvalue(a, na);
    const std::uint64_t y = wordvalue(b, nb);
    if (quotient != nullptr) {
      storeword(x / y, quotient, nq);
    }
    if (remainder != nullptr) {
      storeword(x % y, remainder, nr);
    }
    return;
  }
  limbs u = tolimbs(a, na);
  const limbs v = tolimbs(b, nb);
  limbs q;
  if (u.size() < v.size()) {
    // a < b: the quotient is zero and the remainder a itself.
  } else if (v.size() == 1) {
    q = u;
    u.assign(1, divideshort(q, v[0]));
  } else {
    dividelong(u, v, q);
  }
  if (quotient != nullptr) {
    todigits(q, quotient, nq);
  }
  if (remainder != nullptr) {
    todigits(u, remainder, nr);
  }
}

} // namespace detail
} // namespace VELDRA
