// The digit layer: validity checks, conversion to and from limbs, and the
// products of digit arrays, which pack the digits into limbs of base 10^19,
// multiply the limbs and unpack the places they keep.
#include "digits.hpp"
#include "limbs.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
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

// The value of the n <= 9 digits d[0, n).
std::uint32_t nineofvalue(const digit* d, size_t n) {
  std::uint32_t value = 0;
  while (n > 0) {
    value = value * 10 + static_cast<std::uint32_t>(d[--n]);
  }
  return value;
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

} // namespace

void packlimbs(const digit* d, std::size_t n, limb* x) {
  constexpr limb e9 = 1000000000;
  for (; n >= limbdigits; d += limbdigits, n -= limbdigits) {
    *x++ = (limb(d[18]) * e9 + nineofvalue(d + 9, 9)) * e9 + nineofvalue(d, 9);
  }
  if (n > 0) {
    const size_t low = std::min<size_t>(n, 9);
    *x = limb(nineofvalue(d + low, n - low)) * e9 + nineofvalue(d, low);
  }
}

void unpacklimbs(const limb* x, std::size_t k, digit* d, std::size_t n) {
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
  // Factors, result and scratch; small products stay off the heap.
  const size_t need = m + n + k + lowproductscratch(m, n, k, false);
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

namespace {

// The value of the n decimal digits d, least significant first, if it fits
// a word.
bool wordvalue(const digit* d, size_t n, std::uint64_t& value) {
  value = 0;
  for (size_t i = n; i-- > 0;) {
    const auto place = static_cast<std::uint64_t>(d[i]);
    if (value > (UINT64_MAX - place) / 10) {
      return false;
    }
    value = value * 10 + place;
  }
  return true;
}

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
    for (int bit = 62 - __builtin_clzll(e); bit >= 0; --bit) {
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

} // namespace

void power(const digit* base, std::size_t nbase, const digit* exponent,
           std::size_t nexp, digit* out, std::size_t outlen) {
  if (outlen == 0) {
    return;
  }
  lowpowers powers(limbsfor(outlen));
  lownumber x =
      powers.pack(base, significantlength(base, std::min(nbase, outlen)));
  nexp = significantlength(exponent, nexp);
  std::uint64_t e;
  if (wordvalue(exponent, nexp, e)) {
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

// ---------------------------------------------------------------------------
// Decimal text and rounding
// ---------------------------------------------------------------------------

namespace {

// True when every character is an ASCII digit.  No early exit, so that the
// loop over a long text vectorizes.
bool alldigits(std::string_view text) {
  unsigned bad = 0;
  for (const char c : text) {
    bad |= static_cast<unsigned char>(c - '0') > 9 ? 1u : 0u;
  }
  return bad == 0;
}

} // namespace

bool readdecimal(std::string_view text, bool allowpoint, decimaltext& parts) {
  parts.negative = !text.empty() && text.front() == '-';
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    text.remove_prefix(1);
  }
  const std::size_t point =
      allowpoint ? text.find('.') : std::string_view::npos;
  const std::string_view integer = text.substr(0, point);
  const std::string_view fraction = point == std::string_view::npos
                                        ? std::string_view()
                                        : text.substr(point + 1);
  // A second point lands in the fraction and fails the digit test there.
  if (integer.empty() && fraction.empty()) {
    return false;
  }
  if (!alldigits(integer) || !alldigits(fraction)) {
    return false;
  }
  parts.integer =
      integer.substr(std::min(integer.find_first_not_of('0'), integer.size()));
  // npos + 1 is 0: a fraction of zeros only leaves nothing.
  parts.fraction = fraction.substr(0, fraction.find_last_not_of('0') + 1);
  return true;
}

void placesfromtext(std::string_view text, digit* out) {
  std::transform(text.rbegin(), text.rend(), out,
                 [](char c) { return static_cast<digit>(c - '0'); });
}

void appendplaces(const digit* d, std::size_t n, std::string& out) {
  const std::size_t start = out.size();
  out.resize(start + n);
  std::transform(std::make_reverse_iterator(d + n),
                 std::make_reverse_iterator(d), out.begin() + start,
                 [](digit v) { return static_cast<char>('0' + v); });
}

dropped weighplaces(const digit* d, std::size_t k) {
  const digit top = d[k - 1];
  const bool restzero = significantlength(d, k - 1) == 0;
  if (top == 0 && restzero) {
    return dropped::zero;
  }
  if (top != 5) {
    return top < 5 ? dropped::belowhalf : dropped::abovehalf;
  }
  return restzero ? dropped::half : dropped::abovehalf;
}

bool incrementat(digit* d, std::size_t n, std::size_t place) {
  for (; place < n; ++place) {
    if (d[place] != 9) {
      ++d[place];
      return false;
    }
    d[place] = 0;
  }
  return true;
}

} // namespace detail
} // namespace VELDRA
