// The nearest double to a decimal value, worked out exactly on the digit
// layer: for a standard library without std::from_chars for double, and for
// builds that take every portable path.
#include "digits.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace VELDRA {
namespace detail {

namespace {

using std::size_t;

// Every double and every point halfway between two of them has at most 767
// significant digits, so digits past the 800th can only tell whether the
// value lies above such a point: they are kept as one sticky bit.
constexpr size_t keptdigits = 800;

// The digits of 2^e.
std::vector<digit> poweroftwo(std::uint64_t e) {
  const digit two = 2;
  std::vector<digit> exponent(decimallength(e));
  wordtodigits(e, exponent.data(), exponent.size());
  // 2^e has floor(e log10 2) + 1 digits.
  std::vector<digit> out(e * 30103 / 100000 + 2);
  power(&two, 1, exponent.data(), exponent.size(), out.data(), out.size());
  out.resize(significantlength(out.data(), out.size()));
  return out;
}

// x := x * 2^e.
void timespoweroftwo(std::vector<digit>& x, std::uint64_t e) {
  const std::vector<digit> factor = poweroftwo(e);
  std::vector<digit> product(x.size() + factor.size());
  multiplydigits(x.data(), x.size(), factor.data(), factor.size(),
                 product.data(), product.size());
  x.swap(product);
}

// x := floor(x / 2^e); true when something was dropped.
bool bypoweroftwo(std::vector<digit>& x, std::uint64_t e) {
  const std::vector<digit> divisor = poweroftwo(e);
  std::vector<digit> quotient(x.size());
  std::vector<digit> remainder(divisor.size());
  divide(x.data(), x.size(), divisor.data(), divisor.size(), quotient.data(),
         quotient.size(), remainder.data(), remainder.size());
  x.swap(quotient);
  return significantlength(remainder.data(), remainder.size()) != 0;
}

// x := floor(x / 10^places); true when something was dropped.
bool droplowplaces(std::vector<digit>& x, size_t places) {
  places = std::min(places, x.size());
  const bool dropped = significantlength(x.data(), places) != 0;
  x.erase(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(places));
  return dropped;
}

// ceil(k log2 10) for |k| < 400, with 1741647 / 2^19 a little below log2 10:
// for positive k it may come out one low, never high.
std::int64_t binaryexponentceiling(std::int64_t k) {
  const std::int64_t t = k * 1741647;
  return t >= 0 ? (t + (1 << 19) - 1) >> 19 : -(-t >> 19);
}

// The double nearest to q 2^-s, plus a little more when `sticky`; q >= 2^55.
// Ties go to the even neighbour; subnormals keep their bits, and a result
// past the largest double becomes infinity.
double roundtodouble(std::uint64_t q, std::int64_t s, bool sticky) {
  const int bits = 64 - leadingzeros(q);
  // The low bits of q below the double's last place: 53 bits kept, fewer
  // once that place would lie below 2^-1074.
  const std::int64_t drop = std::max<std::int64_t>(bits - 53, s - 1074);
  if (drop > bits) {
    return 0.0; // below 2^-1075, half the smallest subnormal
  }
  const std::uint64_t kept = drop == 64 ? 0 : q >> drop;
  const std::uint64_t rest = q - (drop == 64 ? 0 : kept << drop);
  const std::uint64_t half = std::uint64_t{1} << (drop - 1);
  const bool up = rest > half || (rest == half && (sticky || (kept & 1) != 0));
  return std::ldexp(static_cast<double>(kept + (up ? 1 : 0)),
                    static_cast<int>(drop - s));
}

} // namespace

double decimaltodouble(const digit* d, std::size_t n, std::uint64_t scale) {
  const size_t kept = std::min(n, keptdigits);
  bool sticky = significantlength(d, n - kept) != 0;
  std::vector<digit> x(d + n - kept, d + n);
  // The value is x 10^e, x of `kept` digits, so it lies below 10^k.
  const std::int64_t e =
      static_cast<std::int64_t>(n - kept) - static_cast<std::int64_t>(scale);
  const std::int64_t k = static_cast<std::int64_t>(kept) + e;
  if (k > 309) {
    return std::numeric_limits<double>::infinity(); // at least 10^309
  }
  if (k < -324) {
    return 0.0; // below 10^-324, under half the smallest subnormal
  }
  // q = floor(x 10^e 2^s) with s chosen so that 2^57 <= q < 2^64.
  const std::int64_t s = 63 - binaryexponentceiling(k);
  if (s > 0) {
    timespoweroftwo(x, static_cast<std::uint64_t>(s));
  }
  // e > 0 takes more than 800 digits and so k > 800: only e <= 0 is left.
  sticky = droplowplaces(x, static_cast<size_t>(-e)) || sticky;
  if (s < 0) {
    sticky = bypoweroftwo(x, static_cast<std::uint64_t>(-s)) || sticky;
  }
  std::uint64_t q = 0;
  readword(x.data(), x.size(), UINT64_MAX, q);
  return roundtodouble(q, s, sticky);
}

} // namespace detail
} // namespace VELDRA
