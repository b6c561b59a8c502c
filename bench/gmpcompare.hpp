// GMP doing the arithmetic of the two multiplications on the same values,
// as the yardstick for their speed.  The library itself never uses GMP.
#ifndef VELDRA_BENCH_GMPCOMPARE_HPP
#define VELDRA_BENCH_GMPCOMPARE_HPP

#include <benchmark/benchmark.h>

namespace veldrabench {

// fixedint *: a × b mod 10^n.
void timegmpintproduct(benchmark::State& state);
// fixedfloat *: (a × b / 10^(n/2)) mod 10^n, the quotient truncated.
void timegmpfloatproduct(benchmark::State& state);

} // namespace veldrabench

#endif // VELDRA_BENCH_GMPCOMPARE_HPP
