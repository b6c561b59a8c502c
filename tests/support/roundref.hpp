// The reference for fixedfloat::round: a value rounded to a multiple of 10^k
// by each mode, from GMP's floor and ceiling quotients and the distance to
// them.
#ifndef VELDRA_TESTS_ROUNDREF_HPP
#define VELDRA_TESTS_ROUNDREF_HPP

#include "support/gmpref.hpp"
#include "veldra.hpp"

namespace veldratest {

// v rounded to a multiple of 10^k by `mode`: the multiple below or the one
// above, as the mode and the distance to them decide.
inline bigint roundedreference(const bigint& v, unsigned long k,
                               VELDRA::roundmode mode) {
  const bigint unit = powerof10(k);
  bigint below;
  bigint above;
  bigint twice; // twice the distance to the multiple below
  mpz_fdiv_q(below.get(), v.get(), unit.get());
  mpz_cdiv_q(above.get(), v.get(), unit.get());
  mpz_fdiv_r(twice.get(), v.get(), unit.get());
  mpz_mul_ui(twice.get(), twice.get(), 2);
  const int half = mpz_cmp(twice.get(), unit.get());
  const bool negative = mpz_sgn(v.get()) < 0;
  const bool tie = half == 0;
  const bool odd = mpz_odd_p(below.get()) != 0;
  const bool takeabove[] = {negative,                       // down
                            !negative,                      // up
                            half > 0 || (tie && !negative), // halfup
                            half > 0 || (tie && negative),  // halfdown
                            half > 0 || (tie && odd),       // halfeven
                            true,                           // ceiling
                            false};                         // floor
  bigint out;
  mpz_mul(out.get(), (takeabove[static_cast<int>(mode)] ? above : below).get(),
          unit.get());
  return out;
}

} // namespace veldratest

#endif // VELDRA_TESTS_ROUNDREF_HPP
