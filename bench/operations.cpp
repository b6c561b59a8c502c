// Time of each operation against the lengths of its operands, and at length 8
// against its log floor: appending, to a std::stringstream, the very lines
// the operation writes, already formatted.  Every operation writes its trace
// lines to VELDRA::logstream as it would in a program; the stream is emptied
// between batches (see tracebatch).
#include "benchsupport.hpp"
#include "gmpcompare.hpp"
#include "logline.hpp"
#include "veldra.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <malloc.h>
#include <string>
#include <utility>
#include <vector>

using VELDRA::fixedfloat;
using VELDRA::fixedint;

namespace veldrabench {
namespace {

fixedint randomint(std::size_t length, unsigned seed) {
  fixedint number(length);
  number.digits = randomdigits(length, seed);
  return number;
}

fixedfloat randomfloat(std::size_t length, unsigned seed) {
  fixedfloat number(length);
  number.digits.digits = randomdigits(length, seed);
  return number;
}

// A number of `length` places whose value has only length / 2 significant
// digits, the upper places zero: a divisor half as long as the dividend.
fixedint halflengthint(std::size_t length, unsigned seed) {
  fixedint number(length);
  const std::vector<signed char> low = randomdigits(length / 2, seed);
  std::copy(low.begin(), low.end(), number.digits.begin());
  return number;
}

// The same digits with the units digit raised by one (or lowered from 9), so
// comparing the two scans every place.
fixedint neighbour(const fixedint& number) {
  fixedint other(number);
  other.digits[0] =
      static_cast<signed char>(other.digits[0] == 9 ? 8 : other.digits[0] + 1);
  return other;
}

// Each operation: its operands, made for a length, and one call as a caller
// writes it (right operands are copied in by value, results destroyed).
struct fixedintsum {
  fixedint a, b;
  explicit fixedintsum(std::size_t n)
      : a(randomint(n, 1)), b(randomint(n, 2)) {}
  void operator()() { benchmark::DoNotOptimize(a + b); }
};

struct fixedintmixedsum {
  fixedint a, b;
  explicit fixedintmixedsum(std::size_t n)
      : a(randomint(n, 3)), b(randomint(n, 2)) {
    a.digits.back() = 5; // |a| > |b|: one pass, no second run
    b.isneg = true;
  }
  void operator()() { benchmark::DoNotOptimize(a + b); }
};

struct fixedintdifference {
  fixedint a, b;
  explicit fixedintdifference(std::size_t n)
      : a(randomint(n, 3)), b(randomint(n, 2)) {
    a.digits.back() = 5;
  }
  void operator()() { benchmark::DoNotOptimize(a - b); }
};

struct fixedintproduct {
  fixedint a, b;
  explicit fixedintproduct(std::size_t n)
      : a(randomint(n, 1)), b(randomint(n, 2)) {}
  void operator()() const { benchmark::DoNotOptimize(a * b); }
};

// A dividend of n significant digits by a divisor of n / 2 (std::divides
// for /, std::modulus for %): the long division runs n / 2 quotient places
// over a divisor of n / 2 places.
template <class Division> struct fixedintdivision {
  fixedint a, b;
  explicit fixedintdivision(std::size_t n)
      : a(randomint(n, 1)), b(halflengthint(n, 2)) {}
  void operator()() { benchmark::DoNotOptimize(Division{}(a, b)); }
};

struct fixedintequal {
  fixedint a, b;
  explicit fixedintequal(std::size_t n) : a(randomint(n, 1)), b(a) {}
  void operator()() const { benchmark::DoNotOptimize(a == b); }
};

struct fixedintunequal {
  fixedint a, b;
  explicit fixedintunequal(std::size_t n) : a(randomint(n, 1)), b(a) {}
  void operator()() const { benchmark::DoNotOptimize(a != b); }
};

struct fixedintgreater {
  fixedint a, b;
  explicit fixedintgreater(std::size_t n)
      : a(randomint(n, 1)), b(neighbour(a)) {}
  void operator()() const { benchmark::DoNotOptimize(a > b); }
};

struct fixedintless {
  fixedint a, b;
  explicit fixedintless(std::size_t n) : a(randomint(n, 1)), b(neighbour(a)) {}
  void operator()() const { benchmark::DoNotOptimize(a < b); }
};

// a^257 mod 10^n: eight squarings and one product by binary powering.
struct fixedintpower {
  fixedint a, b;
  explicit fixedintpower(std::size_t n) : a(randomint(n, 1)), b(3, 257) {}
  void operator()() const { benchmark::DoNotOptimize(a ^ b); }
};

struct fixedinttext {
  fixedint a;
  explicit fixedinttext(std::size_t n) : a(randomint(n, 1)) {}
  void operator()() const { benchmark::DoNotOptimize(a.asstring()); }
};

// Construction from the decimal text of n random digits.
struct fixedintfromtext {
  std::size_t length;
  std::string text;
  explicit fixedintfromtext(std::size_t n)
      : length(n), text(digittext(randomdigits(n, 1))) {}
  void operator()() const { benchmark::DoNotOptimize(fixedint(length, text)); }
};

struct fixedfloatproduct {
  fixedfloat a, b;
  explicit fixedfloatproduct(std::size_t n)
      : a(randomfloat(n, 1)), b(randomfloat(n, 2)) {}
  void operator()() const { benchmark::DoNotOptimize(a * b); }
};

// Full-length operands: the long division runs h + 1 quotient places over a
// divisor of n places.
struct fixedfloatquotient {
  fixedfloat a, b;
  explicit fixedfloatquotient(std::size_t n)
      : a(randomfloat(n, 1)), b(randomfloat(n, 2)) {}
  void operator()() const { benchmark::DoNotOptimize(a / b); }
};

// Half the fraction places rounded away, half to even.
struct fixedfloatround {
  fixedfloat a;
  std::uint64_t places;
  explicit fixedfloatround(std::size_t n)
      : a(randomfloat(n, 1)), places(n / 4) {}
  void operator()() const {
    benchmark::DoNotOptimize(a.round(places, VELDRA::roundmode::halfeven));
  }
};

// The point moves one place and back on alternate calls: each call a pass
// over the digits.
struct fixedfloatresize {
  fixedfloat a;
  std::size_t length;
  bool grown = false;
  explicit fixedfloatresize(std::size_t n) : a(randomfloat(n, 1)), length(n) {}
  void operator()() {
    grown = !grown;
    a.resize(grown ? length + 2 : length);
  }
};

struct fixedfloatmixedsum {
  fixedfloat a, b;
  explicit fixedfloatmixedsum(std::size_t n)
      : a(randomfloat(n, 1)), b(randomfloat(n, 2)) {
    b.isneg = true;
  }
  void operator()() const { benchmark::DoNotOptimize(a + b); }
};

struct fixedfloatdifference {
  fixedfloat a, b;
  explicit fixedfloatdifference(std::size_t n)
      : a(randomfloat(n, 1)), b(randomfloat(n, 2)) {}
  void operator()() const { benchmark::DoNotOptimize(a - b); }
};

struct fixedfloatfromfloat {
  fixedfloat a;
  explicit fixedfloatfromfloat(std::size_t n) : a(n) {}
  void operator()() { benchmark::DoNotOptimize(a = 78.9f); }
};

struct fixedfloatfromint {
  fixedfloat a;
  fixedint b;
  explicit fixedfloatfromint(std::size_t n) : a(n), b(randomint(n, 2)) {}
  void operator()() { benchmark::DoNotOptimize(a = b); }
};

struct fixedfloattext {
  fixedfloat a;
  explicit fixedfloattext(std::size_t n) : a(randomfloat(n, 1)) {}
  void operator()() const { benchmark::DoNotOptimize(a.asstring()); }
};

struct fixedfloatintpart {
  fixedfloat a;
  explicit fixedfloatintpart(std::size_t n) : a(randomfloat(n, 1)) {}
  void operator()() const { benchmark::DoNotOptimize(a.getintpart()); }
};

// The public log, called as a caller writes it: the std::string it takes is
// built from the text, on the heap when the text is longer than the 15
// characters a string holds inline.
template <const char* message> struct logcall {
  explicit logcall(std::size_t) {}
  void operator()() { VELDRA::log(message); }
};
constexpr char longmessage[] = "Deleted fixedint object.";
constexpr char shortmessage[] = "Done.";

// The entry the library's own operations log through: no string is built.
struct loglinecall {
  explicit loglinecall(std::size_t) {}
  void operator()() { VELDRA::detail::logline(longmessage); }
};

// The same with the trace bounded: it drops its oldest lines as it goes,
// several times per batch.
struct loglinebounded {
  static constexpr std::size_t capacity = std::size_t{1} << 20;
  explicit loglinebounded(std::size_t) { VELDRA::setlogcapacity(capacity); }
  loglinebounded(const loglinebounded&) = delete;
  loglinebounded& operator=(const loglinebounded&) = delete;
  ~loglinebounded() { VELDRA::setlogcapacity(0); }
  void operator()() { VELDRA::detail::logline(longmessage); }
};

void reportprofile(benchmark::State& state, const profile& measured) {
  state.counters["lines"] = static_cast<double>(measured.lines.size());
  state.counters["heap_peak_bytes"] =
      static_cast<double>(measured.heap.peakbytes);
  state.counters["heap_allocs"] =
      static_cast<double>(measured.heap.allocations);
}

template <class Op> void timeoperation(benchmark::State& state) {
  const auto length = static_cast<std::size_t>(state.range(0));
  Op op(length);
  const profile measured = profileop([&op] { op(); });
  tracebatch batch(VELDRA::logstream, measured.bytes);
  for (auto _ : state) {
    op();
    batch.step();
  }
  reportprofile(state, measured);
  VELDRA::logstream.str("");
}

// The floor under Op at `length`: the same lines, appended to a stream.
template <class Op> void timefloor(benchmark::State& state) {
  const auto length = static_cast<std::size_t>(state.range(0));
  Op op(length);
  const profile measured = profileop([&op] { op(); });
  VELDRA::logstream.str("");
  std::stringstream stream;
  reservestream(stream);
  tracebatch batch(stream, measured.bytes);
  for (auto _ : state) {
    for (const std::string& line : measured.lines) {
      stream << line;
    }
    batch.step();
  }
  reportprofile(state, measured);
}

constexpr std::int64_t floorlength = 8;

using benchfunction = void (*)(benchmark::State&);

// Per length, doubling from 8 to `maxlength`: the operation, then next to it
// its floor (at the lengths up to `floormax`, 0 for none) and its
// reference (GMP), so that ratios come from neighbouring runs.
template <class Op>
void registeroperation(const std::string& name, std::int64_t maxlength,
                       std::int64_t floormax = floorlength,
                       benchfunction reference = nullptr) {
  for (std::int64_t length = floorlength; length <= maxlength; length *= 2) {
    benchmark::RegisterBenchmark(name.c_str(), timeoperation<Op>)->Arg(length);
    if (length <= floormax) {
      benchmark::RegisterBenchmark(("floor/" + name).c_str(), timefloor<Op>)
          ->Arg(length);
    }
    if (reference != nullptr) {
      benchmark::RegisterBenchmark(("gmp/" + name).c_str(), reference)
          ->Arg(length);
    }
  }
}

void registeroperations() {
  // Each row's longest length: as long as the whole table still runs in a
  // few minutes.  + and - go on to 262144, where blocks of glibc's default
  // mmap threshold and beyond show (docs/performance.md); the conversions
  // into fixed point have a floor at every length.
  registeroperation<logcall<longmessage>>("log, 24-character message",
                                          floorlength);
  registeroperation<logcall<shortmessage>>("log, 5-character message",
                                           floorlength);
  registeroperation<loglinecall>("log, internal entry", floorlength);
  registeroperation<loglinebounded>("log, internal entry, 1 MiB capacity",
                                    floorlength);
  registeroperation<fixedintsum>("fixedint +", 262144, floorlength, timegmpsum);
  registeroperation<fixedintmixedsum>("fixedint + (mixed signs)", 32768,
                                      floorlength, timegmpdifference);
  registeroperation<fixedintdifference>("fixedint -", 262144, floorlength,
                                        timegmpdifference);
  registeroperation<fixedintequal>("fixedint ==", 32768);
  registeroperation<fixedintunequal>("fixedint !=", 32768);
  registeroperation<fixedintgreater>("fixedint >", 32768);
  registeroperation<fixedintless>("fixedint <", 32768);
  registeroperation<fixedintproduct>("fixedint *", 262144, floorlength,
                                     timegmpintproduct);
  registeroperation<fixedintdivision<std::divides<>>>(
      "fixedint /", 32768, floorlength, timegmpquotient);
  registeroperation<fixedintdivision<std::modulus<>>>(
      "fixedint %", 32768, floorlength, timegmpremainder);
  registeroperation<fixedintpower>("fixedint ^ 257", 32768, floorlength,
                                   timegmppower);
  registeroperation<fixedinttext>("fixedint asstring", 4096, 0);
  registeroperation<fixedintfromtext>("fixedint(length, text)", 32768,
                                      floorlength, timegmpfromtext);
  registeroperation<fixedfloatproduct>("fixedfloat *", 4096, floorlength,
                                       timegmpfloatproduct);
  registeroperation<fixedfloatquotient>("fixedfloat /", 32768, floorlength,
                                        timegmpfloatquotient);
  registeroperation<fixedfloatround>("fixedfloat round", 32768);
  registeroperation<fixedfloatresize>("fixedfloat resize", 32768);
  registeroperation<fixedfloatmixedsum>("fixedfloat + (mixed signs)", 32768,
                                        true, timegmpdifference);
  registeroperation<fixedfloatdifference>("fixedfloat -", 32768, floorlength,
                                          timegmpdifference);
  registeroperation<fixedfloatfromfloat>("fixedfloat = float", 32768, 32768);
  registeroperation<fixedfloatfromint>("fixedfloat = fixedint", 32768, 32768);
  registeroperation<fixedfloattext>("fixedfloat asstring", 4096);
  registeroperation<fixedfloatintpart>("fixedfloat getintpart", 4096);
}

} // namespace
} // namespace veldrabench

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  // Freed memory stays with the process: otherwise glibc hands the top of
  // the heap back to the kernel whenever an operation frees more than 128
  // KiB at once, and the next call pays a page fault per page it touches
  // again, a step in the timings that the growth exponents would misread.
  // Fixing the trim threshold also fixes glibc's mmap threshold at 128 KiB,
  // so blocks of up to 32 MiB (its largest setting) come from the heap too,
  // as glibc's own adaptive threshold would have them after the first call.
  // With VELDRA_BENCH_GLIBC_MALLOC set, glibc keeps its own settings (and
  // those of GLIBC_TUNABLES), to measure what they cost.
#if defined(M_TRIM_THRESHOLD) && defined(M_MMAP_THRESHOLD)
  if (std::getenv("VELDRA_BENCH_GLIBC_MALLOC") == nullptr) {
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
  }
#endif
  // Set-up logs once per process; get it out of the way of the profiles.
  VELDRA::setup();
  veldrabench::reservestream(VELDRA::logstream);
  veldrabench::registeroperations();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
