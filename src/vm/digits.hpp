// The digit layer: every loop over the digits of a number runs here.
// Internal: not installed, and not on a user's include path.
//
// A digit array holds one decimal digit per element, least significant
// first, as fixedint::digits does.  "Well-formed" means every element lies in
// 0..9; the public members let a caller store anything, so each entry point
// says what it accepts.  The number classes keep the object logic (which
// numbers are made, what is logged, which exception is thrown) and call this
// layer for the digit work.
#ifndef VELDRA_DIGITS_HPP
#define VELDRA_DIGITS_HPP

#include <algorithm>
#include <cstddef>
#include <vector>

namespace VELDRA {
namespace detail {

using digit = signed char;

// True when every element of d[0, n) lies in 0..9.
bool wellformed(const digit* d, std::size_t n);

// Index of the highest non-zero element plus one; 0 for an all-zero array.
std::size_t significantlength(const digit* d, std::size_t n);

// True when every element of d is 0: zero, or negative zero.
inline bool allzero(const std::vector<digit>& d) {
  return significantlength(d.data(), d.size()) == 0;
}

// Magnitude times 10^places, the top places dropped.
inline void shiftup(std::vector<digit>& digits, std::size_t places) {
  const std::size_t kept = places < digits.size() ? digits.size() - places : 0;
  std::move_backward(digits.begin(), digits.begin() + kept, digits.end());
  std::fill(digits.begin(), digits.end() - kept, 0);
}

// Magnitude divided by 10^places, the low places dropped.
inline void shiftdown(std::vector<digit>& digits, std::size_t places) {
  const std::size_t kept = places < digits.size() ? digits.size() - places : 0;
  std::move(digits.end() - kept, digits.end(), digits.begin());
  std::fill(digits.begin() + kept, digits.end(), 0);
}

// Long multiplication place by place for any element values: for each digit
// of a, a pass over b with a 32-bit carry, each place keeping temp % 10 and
// the pass's last carry added to the place after b's top digit.
// out must hold na + nb elements, zero on entry.
void multiplyplaces(const digit* a, std::size_t na, const digit* b,
                    std::size_t nb, digit* out);

// out[0, outlen) = (a × b) mod 10^outlen, for well-formed a and b.  Works on
// machine-word limbs; exact.  out may not overlap a or b.
void multiplylow(const digit* a, std::size_t na, const digit* b, std::size_t nb,
                 digit* out, std::size_t outlen);

// out[0, outlen) = the low outlen places of a × b, leading zeros of a and b
// skipped.  Well-formed digits take multiplylow; any others the place-by-
// place loop, whose places may then hold values outside 0..9.
void multiply(const digit* a, std::size_t na, const digit* b, std::size_t nb,
              digit* out, std::size_t outlen);

// Long division of well-formed a by well-formed, non-zero b on base-10^19
// limbs, O(na × nb) for a short b and growing like a product of the two
// for a long one: quotient[0, nq) = the low nq places of a / b, and
// remainder[0, nr) those of a mod b.  Either output may be null when not
// wanted; neither may overlap a or b.
void divide(const digit* a, std::size_t na, const digit* b, std::size_t nb,
            digit* quotient, std::size_t nq, digit* remainder, std::size_t nr);

} // namespace detail
} // namespace VELDRA

#endif // VELDRA_DIGITS_HPP
