// The reference model of fixedint: what each operation must give on
// well-formed digits of equal lengths, worked out with GMP on a snapshot of
// the number's members.  The tests and the fuzzers both check against it.
#ifndef VELDRA_TESTS_INTMODEL_HPP
#define VELDRA_TESTS_INTMODEL_HPP

#include "support/gmpref.hpp"
#include "veldra.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace veldratest {

inline bool wellformed(const digitvector& digits) {
  return std::all_of(digits.begin(), digits.end(),
                     [](signed char d) { return d >= 0 && d <= 9; });
}

// Everything an operation could change in a fixedint.
struct intstate {
  bool isneg;
  std::uint64_t size;
  bool numsigned;
  bool throwwhenover;
  digitvector digits;

  explicit intstate(const VELDRA::fixedint& n)
      : isneg(n.isneg), size(n.size), numsigned(n.numsigned),
        throwwhenover(n.throwwhenover), digits(n.digits) {}
  // A number freshly made by length: zero and the default flags.
  explicit intstate(std::uint64_t length)
      : isneg(false), size(length), numsigned(true), throwwhenover(false),
        digits(length, 0) {}

  bool wellformed() const { return veldratest::wellformed(digits); }
  bool zero() const {
    return std::all_of(digits.begin(), digits.end(),
                       [](signed char d) { return d == 0; });
  }
  // Negative zero is zero, not negative.
  bool negative() const { return isneg && !zero(); }
  // The magnitude, and the value with its sign (well-formed digits).
  bigint value() const { return fromdigits(digits); }
  bigint signedvalue() const { return fromdigits(digits, isneg); }

  bool operator==(const intstate& o) const {
    return isneg == o.isneg && size == o.size && numsigned == o.numsigned &&
           throwwhenover == o.throwwhenover && digits == o.digits;
  }
};

// What an operation must do: refuse with an overflow, the left operand left
// as it was, or leave the left operand as `left` and make a result of this
// magnitude and sign (+ - * only).
struct intoutcome {
  bool overflow;
  intstate left;
  bigint magnitude; // of the result, before it is cut to the length
  bool isneg;

  digitvector digits() const { return todigits(magnitude, left.size); }
};

// The magnitudes' product mod 10^length, as `length` digits.
inline digitvector lowproduct(const digitvector& a, const digitvector& b,
                              std::size_t length) {
  bigint product;
  mpz_mul(product.get(), fromdigits(a).get(), fromdigits(b).get());
  return todigits(product, length);
}

// left + right.  Signed with differing signs, the values add and cannot
// overflow.  Otherwise the magnitudes add under the left sign; a sum of
// length + 1 digits is refused when the left operand throws on overflow,
// else the left operand keeps the carry out of the top place: it holds 1,
// its sign cleared when signed.
inline intoutcome sumof(const intstate& left, const intstate& right) {
  intoutcome out{false, left, bigint(), false};
  if (left.numsigned && left.isneg != right.isneg) {
    bigint exact;
    mpz_add(exact.get(), left.signedvalue().get(), right.signedvalue().get());
    out.isneg = mpz_sgn(exact.get()) < 0;
    mpz_abs(out.magnitude.get(), exact.get());
    return out;
  }
  mpz_add(out.magnitude.get(), left.value().get(), right.value().get());
  out.isneg = left.isneg;
  if (!below(out.magnitude, powerof10(left.size))) {
    if (left.throwwhenover) {
      out.overflow = true;
      return out;
    }
    out.left.digits.assign(left.size, 0);
    out.left.digits[0] = 1;
    if (left.numsigned) {
      out.left.isneg = false;
    }
  }
  return out;
}

// left - right is left + (-right) with left's signs honoured throughout.
inline intoutcome differenceof(const intstate& left, const intstate& right) {
  intstate signedleft = left;
  signedleft.numsigned = true;
  intstate negated = right;
  negated.isneg = !negated.isneg;
  intoutcome out = sumof(signedleft, negated);
  out.left.numsigned = left.numsigned;
  return out;
}

// left * right: the product cut to the length, negative when signed and the
// signs differ.
inline intoutcome productof(const intstate& left, const intstate& right) {
  intoutcome out{false, left, bigint(),
                 left.numsigned && left.isneg != right.isneg};
  mpz_mul(out.magnitude.get(), left.value().get(), right.value().get());
  return out;
}

// ++ (up) or --.  Signed, the value moves by one; unsigned, the magnitude
// moves and the sign stays.  Leaving 0 .. 10^size - 1 throws or wraps.  A
// zero result is never negative, unsigned ones too.
inline intoutcome stepof(const intstate& n, bool up) {
  intoutcome out{false, n, bigint(), false};
  bigint value = n.numsigned ? n.signedvalue() : n.value();
  (up ? mpz_add_ui : mpz_sub_ui)(value.get(), value.get(), 1);
  bool negative = n.isneg;
  if (n.numsigned) {
    negative = mpz_sgn(value.get()) < 0;
    mpz_abs(value.get(), value.get());
  }
  const bigint limit = powerof10(n.size);
  if (mpz_sgn(value.get()) < 0 || !below(value, limit)) {
    if (n.throwwhenover) {
      out.overflow = true;
      return out;
    }
    mpz_mod(value.get(), value.get(), limit.get());
  }
  out.left.digits = todigits(value, n.size);
  out.left.isneg = negative && mpz_sgn(value.get()) != 0;
  return out;
}

// x / y and x % y, with their signs: truncated toward zero, the remainder
// taking x's sign; when x is unsigned, both come from the magnitudes.
inline bigint quotientof(const intstate& x, const intstate& y) {
  return quotient(x.numsigned ? x.signedvalue() : x.value(),
                  x.numsigned ? y.signedvalue() : y.value());
}

inline bigint remainderof(const intstate& x, const intstate& y) {
  return remainder(x.numsigned ? x.signedvalue() : x.value(),
                   x.numsigned ? y.signedvalue() : y.value());
}

// base ^ exponent mod 10^length, with its sign: negative when the base is
// signed and negative and the exponent odd.  The exponent's sign is not
// read (a negative one is refused before).
inline bigint powerof(const intstate& base, const intstate& exponent) {
  bigint out;
  const bigint times = exponent.value();
  mpz_powm(out.get(), base.value().get(), times.get(),
           powerof10(base.size).get());
  if (base.numsigned && base.isneg && mpz_odd_p(times.get()) != 0) {
    mpz_neg(out.get(), out.get());
  }
  return out;
}

// The digits, malformed or not, moved `places` places up (toward the top)
// or down, zero filled: << and >>.
inline digitvector shifted(const digitvector& digits, std::size_t places,
                           bool up) {
  digitvector out(digits.size(), 0);
  for (std::size_t place = 0; place < digits.size(); ++place) {
    if (up && place + places < digits.size()) {
      out[place + places] = digits[place];
    } else if (!up && place >= places) {
      out[place - places] = digits[place];
    }
  }
  return out;
}

// a > b: the sign flags decide (so 0 is greater than -0), then the
// magnitudes.
inline bool greater(const intstate& a, const intstate& b) {
  if (a.isneg != b.isneg) {
    return !a.isneg;
  }
  const int order = mpz_cmp(a.value().get(), b.value().get());
  return a.isneg ? order < 0 : order > 0;
}

} // namespace veldratest

#endif // VELDRA_TESTS_INTMODEL_HPP
