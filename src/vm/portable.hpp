// Machine operations with an intrinsic path and a portable one beside it.
// Internal: not installed.
//
// The kernels use 128-bit unsigned arithmetic, bit counts and byte swaps.
// Where the compiler has them (unsigned __int128, __builtin_*, SSE2) the
// kernels run on those; elsewhere, on a 32-bit machine or under a compiler
// without them, on the portable definitions here, which give the same
// results.  Defining VELDRA_PORTABLE (the CMake option of that name) takes
// the portable path on every machine, so that an ordinary x86-64 build runs
// and tests it.
#ifndef VELDRA_PORTABLE_HPP
#define VELDRA_PORTABLE_HPP

#include <cstdint>

#if !defined(VELDRA_PORTABLE) && defined(__SIZEOF_INT128__)
#define VELDRA_HAS_INT128 1
#endif
#if !defined(VELDRA_PORTABLE) && defined(__GNUC__)
#define VELDRA_HAS_BUILTINS 1
#endif
#if !defined(VELDRA_PORTABLE) && defined(__SSE2__)
#define VELDRA_HAS_SSE2 1
#endif

namespace VELDRA {
namespace detail {

// ---------------------------------------------------------------------------
// Bit counts and byte order
// ---------------------------------------------------------------------------

// The zero bits above the highest set bit of x != 0, by halving the range.
constexpr int leadingzerosportable(std::uint64_t x) {
  int n = 0;
  for (int half = 32; half > 0; half /= 2) {
    if (x >> (64 - half) == 0) {
      n += half;
      x <<= half;
    }
  }
  return n;
}

// The zero bits below the lowest set bit of x != 0.
constexpr int trailingzerosportable(std::uint64_t x) {
  return 63 - leadingzerosportable(x & (0 - x));
}

// x with its eight bytes in the opposite order.
constexpr std::uint64_t byteswapportable(std::uint64_t x) {
  x = (x & 0x00ff00ff00ff00ffu) << 8 | (x >> 8 & 0x00ff00ff00ff00ffu);
  x = (x & 0x0000ffff0000ffffu) << 16 | (x >> 16 & 0x0000ffff0000ffffu);
  return x << 32 | x >> 32;
}

constexpr int leadingzeros(std::uint64_t x) {
#if defined(VELDRA_HAS_BUILTINS)
  return __builtin_clzll(x);
#else
  return leadingzerosportable(x);
#endif
}

constexpr int trailingzeros(std::uint64_t x) {
#if defined(VELDRA_HAS_BUILTINS)
  return __builtin_ctzll(x);
#else
  return trailingzerosportable(x);
#endif
}

constexpr std::uint64_t byteswap(std::uint64_t x) {
#if defined(VELDRA_HAS_BUILTINS)
  return __builtin_bswap64(x);
#else
  return byteswapportable(x);
#endif
}

// ---------------------------------------------------------------------------
// 128-bit unsigned integers
// ---------------------------------------------------------------------------
//
// wideportable mimics unsigned __int128 for the operations the limb kernels
// use: it is made from a 64-bit word (implicitly, as the built-in type is),
// wraps modulo 2^128 in + * << and ~, compares, shifts by 0 to 127 bits,
// divides by a 64-bit divisor, and converts back to its low word only when
// asked (static_cast).  Everything is constexpr, for the constants the
// kernels work out at compile time.
class wideportable {
public:
  using word = std::uint64_t;

  constexpr wideportable(word low = 0) : high_(0), low_(low) {}

  constexpr explicit operator word() const { return low_; }

  friend constexpr wideportable operator+(wideportable a, wideportable b) {
    const word low = a.low_ + b.low_;
    return {a.high_ + b.high_ + (low < a.low_ ? 1 : 0), low};
  }

  // The low 128 bits of the product: the full product of the low words, and
  // the low words of the two cross products in the high word.
  friend constexpr wideportable operator*(wideportable a, wideportable b) {
    wideportable p = product(a.low_, b.low_);
    p.high_ += a.high_ * b.low_ + a.low_ * b.high_;
    return p;
  }

  friend constexpr wideportable operator/(wideportable a, word d) {
    word r = 0;
    return divide(a, d, r);
  }
  friend constexpr wideportable operator%(wideportable a, word d) {
    word r = 0;
    divide(a, d, r);
    return r;
  }

  friend constexpr wideportable operator<<(wideportable a, unsigned n) {
    if (n == 0) {
      return a;
    }
    if (n >= 64) {
      return {a.low_ << (n - 64), 0};
    }
    return {a.high_ << n | a.low_ >> (64 - n), a.low_ << n};
  }
  friend constexpr wideportable operator>>(wideportable a, unsigned n) {
    if (n == 0) {
      return a;
    }
    if (n >= 64) {
      return {0, a.high_ >> (n - 64)};
    }
    return {a.high_ >> n, a.low_ >> n | a.high_ << (64 - n)};
  }

  friend constexpr wideportable operator|(wideportable a, wideportable b) {
    return {a.high_ | b.high_, a.low_ | b.low_};
  }
  friend constexpr wideportable operator~(wideportable a) {
    return {~a.high_, ~a.low_};
  }

  constexpr wideportable& operator+=(wideportable b) {
    return *this = *this + b;
  }
  constexpr wideportable& operator<<=(unsigned n) { return *this = *this << n; }

  friend constexpr bool operator==(wideportable a, wideportable b) {
    return a.high_ == b.high_ && a.low_ == b.low_;
  }
  friend constexpr bool operator!=(wideportable a, wideportable b) {
    return !(a == b);
  }
  friend constexpr bool operator<(wideportable a, wideportable b) {
    return a.high_ != b.high_ ? a.high_ < b.high_ : a.low_ < b.low_;
  }
  friend constexpr bool operator>(wideportable a, wideportable b) {
    return b < a;
  }

private:
  word high_;
  word low_;

  constexpr wideportable(word high, word low) : high_(high), low_(low) {}

  // a * b in full, from the four products of their 32-bit halves.
  static constexpr wideportable product(word a, word b) {
    const word mask = 0xffffffffu;
    const word ll = (a & mask) * (b & mask);
    const word lh = (a & mask) * (b >> 32);
    const word hl = (a >> 32) * (b & mask);
    const word hh = (a >> 32) * (b >> 32);
    const word middle = (ll >> 32) + (lh & mask) + (hl & mask);
    return {hh + (lh >> 32) + (hl >> 32) + (middle >> 32),
            middle << 32 | (ll & mask)};
  }

  // a / d, r := a % d, d != 0: the high word by the machine's division,
  // then (r 2^64 + low) / d with r < d by Knuth's algorithm D on 32-bit
  // digits, d shifted until its top bit is set (Warren, "Hacker's Delight",
  // divlu).
  static constexpr wideportable divide(wideportable a, word d, word& r) {
    const word half = word{1} << 32;
    const int shift = leadingzerosportable(d);
    const word v = d << shift;
    const word v1 = v >> 32;
    const word v0 = v & (half - 1);
    const word u = a.low_ << shift;
    const word digits[2] = {u >> 32, u & (half - 1)};
    r = a.high_ % d;
    word rest = shift == 0 ? r : r << shift | a.low_ >> (64 - shift);
    word q[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
      word qhat = rest / v1;
      word rhat = rest - qhat * v1;
      while (qhat >= half || qhat * v0 > (rhat << 32 | digits[i])) {
        --qhat;
        rhat += v1;
        if (rhat >= half) {
          break;
        }
      }
      rest = (rest << 32 | digits[i]) - qhat * v;
      q[i] = qhat;
    }
    r = rest >> shift;
    return {a.high_ / d, q[0] << 32 | q[1]};
  }
};

} // namespace detail
} // namespace VELDRA

#endif // VELDRA_PORTABLE_HPP
