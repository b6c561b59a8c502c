// GMP doing the same arithmetic on the same values, as the yardstick for the
// speed of the long operations.  The library itself never uses GMP.
#ifndef VELDRA_BENCH_GMPCOMPARE_HPP
#define VELDRA_BENCH_GMPCOMPARE_HPP

#include <benchmark/benchmark.h>

namespace veldrabench {

// fixedint +: a + b.
void timegmpsum(benchmark::State& state);
// fixedint + of mixed signs, fixedint -, fixedfloat + of mixed signs and
// fixedfloat -: a - b.
void timegmpdifference(benchmark::State& state);
// fixedint *: a × b mod 10^n.
void timegmpintproduct(benchmark::State& state);
// fixedfloat *: (a × b / 10^(n/2)) mod 10^n, the quotient truncated.
void timegmpfloatproduct(benchmark::State& state);
// fixedint / and %: a by a divisor of n/2 digits, truncated.
void timegmpquotient(benchmark::State& state);
void timegmpremainder(benchmark::State& state);
// fixedfloat /: (a × 10^(n/2)) / b, truncated.
void timegmpfloatquotient(benchmark::State& state);
// fixedint(length, text): the decimal text of a read into a number.
void timegmpfromtext(benchmark::State& state);
// fixedint ^ 257: a^257 mod 10^n.
void timegmppower(benchmark::State& state);

} // namespace veldrabench

#endif // VELDRA_BENCH_GMPCOMPARE_HPP
