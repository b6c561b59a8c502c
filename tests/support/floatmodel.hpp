// The reference model of fixedfloat.  A number of length 2h holds an
// integer, its scaled value: the top h digits are the integer part, the
// bottom h the fraction, and the value is scaled / 10^h.  What each
// operation must give on well-formed digits is worked out with GMP on a
// snapshot of the members; the tests and the fuzzers both check against it.
#ifndef VELDRA_TESTS_FLOATMODEL_HPP
#define VELDRA_TESTS_FLOATMODEL_HPP

#include "support/gmpref.hpp"
#include "support/intmodel.hpp"
#include "veldra.hpp"

#include <cstdint>
#include <string>

namespace veldratest {

// Everything an operation could change in a fixedfloat.
struct floatstate {
  intstate digits;
  std::uint64_t size;
  bool floatsigned;
  bool isneg;

  explicit floatstate(const VELDRA::fixedfloat& n)
      : digits(n.digits), size(n.size), floatsigned(n.floatsigned),
        isneg(n.isneg) {}
  // A number freshly made by length: zero, signed, not negative.
  explicit floatstate(std::uint64_t length)
      : digits(length), size(length), floatsigned(true), isneg(false) {}

  std::uint64_t half() const { return size / 2; }
  bool wellformed() const { return digits.wellformed(); }
  // The scaled magnitude, and the scaled value with the number's sign.
  bigint scaled() const { return digits.value(); }
  bigint signedscaled() const { return fromdigits(digits.digits, isneg); }

  bool operator==(const floatstate& o) const {
    return digits == o.digits && size == o.size &&
           floatsigned == o.floatsigned && isneg == o.isneg;
  }
};

// What + - * must do: refuse with an overflow, or make a result of this
// scaled magnitude and sign.
struct floatoutcome {
  bool overflow;
  bigint magnitude; // before it is cut to the length
  bool isneg;
};

// x + y: the exact signed sum, its integer digits above h dropped unless
// x's digits throw on overflow; a zero result is not negative.
inline floatoutcome fixedsumof(const floatstate& x, const floatstate& y) {
  bigint exact;
  mpz_add(exact.get(), x.signedscaled().get(), y.signedscaled().get());
  floatoutcome out{false, bigint(), false};
  mpz_abs(out.magnitude.get(), exact.get());
  const bigint limit = powerof10(x.size);
  if (!below(out.magnitude, limit) && x.digits.throwwhenover) {
    out.overflow = true;
    return out;
  }
  out.magnitude = remainder(out.magnitude, limit);
  out.isneg = mpz_sgn(exact.get()) < 0 && mpz_sgn(out.magnitude.get()) != 0;
  return out;
}

inline floatoutcome fixeddifferenceof(const floatstate& x,
                                      const floatstate& y) {
  floatstate negated = y;
  negated.isneg = !negated.isneg;
  return fixedsumof(x, negated);
}

// x * y: the exact product with the fraction digits below 10^-h cut off,
// negative when x is signed and the signs differ.
inline floatoutcome fixedproductof(const floatstate& x, const floatstate& y) {
  bigint product;
  mpz_mul(product.get(), x.scaled().get(), y.scaled().get());
  return {false, quotient(product, powerof10(x.half())),
          x.floatsigned && x.isneg != y.isneg};
}

// The sign of x - y, by value across lengths: the points aligned, 0 equal
// to -0.
inline int fixedorder(const floatstate& x, const floatstate& y) {
  bigint left = x.signedscaled();
  bigint right = y.signedscaled();
  mpz_mul(left.get(), left.get(), powerof10(y.half()).get());
  mpz_mul(right.get(), right.get(), powerof10(x.half()).get());
  const int order = mpz_cmp(left.get(), right.get());
  return (order > 0) - (order < 0);
}

// The text: the sign, the integer digits ("0" at least, none at length 0),
// ".", the fraction digits without trailing zeros ("0" at least).
inline std::string fixedtext(const floatstate& s) {
  const bigint unit = powerof10(s.half());
  std::string out = s.isneg ? "-" : "";
  out += s.size == 0 ? "" : quotient(s.scaled(), unit).str();
  out += '.';
  const bigint fraction = remainder(s.scaled(), unit);
  if (mpz_sgn(fraction.get()) == 0) {
    return out + "0";
  }
  std::string digits = fraction.str();
  digits.insert(0, s.half() - digits.size(), '0');
  digits.erase(digits.find_last_not_of('0') + 1);
  return out + digits;
}

// The text of the signed scaled value v (v / 10^h) with exactly `places`
// fraction digits; v is a multiple of 10^(h - places) when places < h.
inline std::string placestext(bigint v, unsigned long h, unsigned long places) {
  if (places < h) {
    v = quotient(v, powerof10(h - places));
  } else {
    mpz_mul(v.get(), v.get(), powerof10(places - h).get());
  }
  const bool negative = mpz_sgn(v.get()) < 0;
  mpz_abs(v.get(), v.get());
  std::string digits = v.str();
  if (digits.size() <= places) {
    digits.insert(0, places + 1 - digits.size(), '0');
  }
  if (places > 0) {
    digits.insert(digits.size() - places, ".");
  }
  return (negative ? "-" : "") + digits;
}

} // namespace veldratest

#endif // VELDRA_TESTS_FLOATMODEL_HPP
