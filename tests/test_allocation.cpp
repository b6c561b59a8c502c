// Every public operation with the k-th heap allocation failing, for k = 1,
// 2, ... until a run reaches no k-th, at lengths around each kernel
// threshold: only std::bad_alloc leaves it, the operands keep the guarantee
// veldra.hpp documents and stay in step, no block leaks (counted here; LSan
// in the asan build) and the trace keeps whole lines.  This program
// replaces operator new.
#include "limbs.hpp"
#include "support/floatmodel.hpp"
#include "support/tracecapture.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <sstream>
#include <tuple>

namespace {
std::size_t countdown = 0; // the allocation that fails; 0 for none
std::size_t liveblocks = 0;
} // namespace

// All forms, the sanitizers' runtime replacing the array ones too.
void* operator new(std::size_t size) {
  const bool fails = countdown != 0 && --countdown == 0;
  void* block = fails ? nullptr : std::malloc(size == 0 ? 1 : size);
  liveblocks += block != nullptr ? 1 : 0;
  return block != nullptr ? block : throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
  liveblocks -= block != nullptr ? 1 : 0;
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  operator delete(block);
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete[](void* block) noexcept { operator delete(block); }
void operator delete[](void* block, std::size_t) noexcept {
  operator delete(block);
}

namespace {

using VELDRA::fixedfloat;
using VELDRA::fixedint;
using VELDRA::roundmode;

// Random digits of length n, b and g not zero; e is 3; t and h are texts
// of n and n / 2 digits; out is room for text.
struct operands {
  explicit operands(std::uint64_t length) : n(length) {
    std::mt19937 rng(static_cast<unsigned>(n));
    for (auto* d : {&a.digits, &b.digits, &f.digits.digits, &g.digits.digits}) {
      std::generate(d->begin(), d->end(),
                    [&] { return static_cast<signed char>(rng() % 10); });
      d->back() = 1;
    }
    b.isneg = true;
  }
  auto state() const {
    using namespace veldratest;
    return std::make_tuple(intstate(a), intstate(b), floatstate(f),
                           floatstate(g));
  }
  bool instep() const {
    return a.digits.size() == a.size && b.digits.size() == b.size &&
           f.digits.size == f.size && f.digits.digits.size() == f.size &&
           g.digits.size == g.size && g.digits.digits.size() == g.size;
  }

  std::uint64_t n;
  fixedint a{n}, b{n}, e{n, 3};
  fixedfloat f{n}, g{n};
  std::string t = std::string(n, '7'), h = t.substr(n / 2);
  std::string out = std::string(n + 8, ' ');
  char* begin() { return out.data(); }
  char* end() { return out.data() + out.size(); }
};

// basic: a failure leaves the operands in step, values unspecified.
enum guarantee { strong, basic };
constexpr std::uint64_t all = ~std::uint64_t{0};

struct operation {
  const char* name;
  guarantee promised;
  std::uint64_t longest; // lengths tried: the quadratic ones stop early
  void (*run)(operands&);
};

// A row runs its operations as one comma expression and drops their
// results on purpose, which clang would otherwise warn of.
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wunused-value"
#pragma clang diagnostic ignored "-Wunused-comparison"
#endif

// clang-format off
#define OPERATION(promised, longest, ...) \
  {#__VA_ARGS__, promised, longest,       \
   [](operands& o) { static_cast<void>((__VA_ARGS__)); }}
const operation operations[] = {
  OPERATION(strong, all, fixedint(o.n), fixedint(o.n, -1), fixedint(o.n, o.t)),
  OPERATION(strong, all, fixedint(o.a), o.a = o.e),
  OPERATION(strong, all, o.a.resize(2 * o.n)),
  OPERATION(strong, all, ++o.a, o.b--, o.a.wholeshiftl(), o.a = o.t, o.a = 1),
  OPERATION(strong, all, o.a = o.f),
  OPERATION(strong, all, o.a + o.a, o.b + o.a, o.a - o.b, o.a * o.b),
  OPERATION(strong, all, o.a / o.b, o.b % o.a, o.a ^ o.e, o.a << o.e),
  OPERATION(strong, all, o.a == o.b, o.a != o.b, o.a > o.b, o.a < o.b),
  OPERATION(strong, all, o.a >= o.b, o.a <= o.b, o.b.abs(), o.a.getcopy()),
  OPERATION(strong, all, o.a.asstring(), o.e.getasstdint(), o.a.asdouble()),
  OPERATION(strong, all, o.a.getshorteneddigits(), std::ostringstream() << o.a),
  OPERATION(strong, all, std::istringstream(o.t) >> o.a),
  OPERATION(strong, all, VELDRA::from_chars(o.t.data(), o.t.data() + o.n, o.a)),
  OPERATION(strong, all, VELDRA::to_chars(o.begin(), o.end(), o.a),
            std::hash<fixedint>()(o.a)),
  OPERATION(strong, all, fixedfloat(o.n), fixedfloat(o.n, o.h), fixedfloat(o.f)),
  OPERATION(strong, 40, fixedfloat(o.n, 78.9f)),
  OPERATION(strong, all, o.f = o.g),
  OPERATION(strong, all, o.f.init(2 * o.n)),
  OPERATION(strong, all, o.f.resize(2 * o.n)),
  OPERATION(strong, 40, o.f = o.a),
  OPERATION(basic, 40, o.f = -78.9f),
  OPERATION(strong, all, o.f = o.h),
  OPERATION(strong, all, o.f * o.g, o.f / o.g, o.f + o.g, o.f - o.g),
  OPERATION(strong, all, o.f.round(1, roundmode::up), o.f.getintpart()),
  OPERATION(strong, all, o.f == o.g, o.f != o.g, o.f < o.g, o.f > o.g),
  OPERATION(strong, all, o.f <= o.g, o.f >= o.g, o.f.getfractionpart()),
  OPERATION(strong, all, o.f.asstring(), o.f.asdouble(), o.f.getcopy()),
  OPERATION(strong, all, o.g.abs(), std::ostringstream() << o.f),
  OPERATION(strong, all, std::istringstream(o.h) >> o.f),
  OPERATION(strong, all,
            VELDRA::from_chars(o.h.data(), o.h.data() + o.h.size(), o.f)),
  OPERATION(strong, all, o.f.asstring(2, roundmode::halfeven),
            VELDRA::to_chars(o.begin(), o.end(), o.f, 2, roundmode::up)),
  OPERATION(strong, all, VELDRA::to_chars(o.begin(), o.end(), o.f),
            std::hash<fixedfloat>()(o.f)),
  OPERATION(strong, all, VELDRA::log(o.t)),
};
#undef OPERATION
// clang-format on

// At and one limb below each threshold of the limb kernels, and two short.
std::vector<std::uint64_t> lengths() {
  namespace d = VELDRA::detail;
  std::vector<std::uint64_t> out{8, 40};
  for (const std::size_t limbs :
       {d::divthreshold, d::karatsubathreshold, d::karatsubasquarethreshold,
        d::lowsplitthreshold, d::lowsplitsquarethreshold, d::nttthreshold,
        d::nttlowthreshold, d::nttsquarethreshold, d::nttlowsquarethreshold}) {
    out.push_back(d::limbdigits * (limbs - 1) / 2 * 2);
    out.push_back(d::limbdigits * limbs / 2 * 2);
  }
  return out;
}

// A trace with no room to spare: its next line must grow it.
void tighttrace() {
  std::stringstream fresh;
  VELDRA::logstream.swap(fresh);
}

// One run with the k-th allocation failing; false once it reached none.
bool failsatk(const operation& op, std::uint64_t length, std::size_t k) {
  operands o(length);
  const auto before = o.state();
  tighttrace();
  const std::size_t live = liveblocks;
  countdown = k;
  bool threw = false;
  try {
    op.run(o);
  } catch (const std::bad_alloc&) {
    threw = true;
  } catch (...) {
    ADD_FAILURE() << "not std::bad_alloc";
  }
  const bool reached = countdown == 0;
  countdown = 0;
  EXPECT_TRUE(o.instep());
  EXPECT_TRUE(!threw || op.promised == basic || o.state() == before);
  veldratest::messages(VELDRA::logstream.str()); // whole lines only
  tighttrace();
  EXPECT_EQ(liveblocks, live) << "blocks leaked";
  return reached;
}

TEST(Allocation, FailsSafelyAtEveryAllocationOfEveryOperation) {
  for (const std::uint64_t length : lengths()) {
    for (const operation& op : operations) {
      SCOPED_TRACE(std::string(op.name) + " at " + std::to_string(length));
      for (std::size_t k = 1; length <= op.longest && failsatk(op, length, k);
           ++k) {
        ASSERT_FALSE(HasFailure());
      }
    }
  }
}

// A line the trace could not grow for is counted in the next that it keeps.
TEST(Allocation, TraceCountsTheLinesItLost) {
  tighttrace();
  countdown = 1;
  VELDRA::log("lost");
  VELDRA::log("kept");
  EXPECT_EQ(veldratest::messages(VELDRA::logstream.str()),
            (veldratest::lines{"Trace lines lost, out of memory: 1", "kept"}));
}

} // namespace
