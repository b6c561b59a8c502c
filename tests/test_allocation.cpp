// Every public operation with memory running out at each of its heap
// allocations in turn, the k-th failing for k = 1, 2, ... until one run
// reaches no k-th allocation, at lengths around each kernel threshold: only
// std::bad_alloc leaves it, its operands keep the guarantee veldra.hpp
// documents, every number stays in step, nothing leaks (live blocks are
// counted here, and LSan checks the asan build) and the trace keeps whole
// lines.  Operator new is replaced for this program.
#include "limbs.hpp"
#include "support/floatmodel.hpp"
#include "support/intmodel.hpp"
#include "support/tracecapture.hpp"

#include "veldra.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The allocation that fails, counted down from the k given; 0 for none.
std::size_t countdown = 0;
std::size_t liveblocks = 0;

void* allocate(std::size_t size) {
  if (countdown != 0 && --countdown == 0) {
    throw std::bad_alloc();
  }
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  ++liveblocks;
  return block;
}

void release(void* block) {
  if (block != nullptr) {
    --liveblocks;
    std::free(block);
  }
}

} // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* block) noexcept { release(block); }
void operator delete[](void* block) noexcept { release(block); }
void operator delete(void* block, std::size_t) noexcept { release(block); }
void operator delete[](void* block, std::size_t) noexcept { release(block); }

namespace {

using VELDRA::fixedfloat;
using VELDRA::fixedint;
using VELDRA::roundmode;
using veldratest::floatstate;
using veldratest::intstate;

// Numbers of one length with random digits; b and g are not zero, small
// (3) serves as exponent, shift count and int64_t.
struct operands {
  fixedint a, b, small;
  fixedfloat f, g;
  std::string text;

  explicit operands(std::uint64_t n)
      : a(n), b(n), small(n, 3), f(n), g(n), text(n, '7') {
    std::mt19937 rng(static_cast<unsigned>(n));
    for (auto* digits :
         {&a.digits, &b.digits, &f.digits.digits, &g.digits.digits}) {
      for (auto& place : *digits) {
        place = static_cast<signed char>(rng() % 10);
      }
      digits->back() = 1;
    }
    b.isneg = true;
  }

  bool instep() const {
    return a.digits.size() == a.size && b.digits.size() == b.size &&
           f.digits.size == f.size && f.digits.digits.size() == f.size &&
           g.digits.size == g.size && g.digits.digits.size() == g.size;
  }
};

// What an operation may have changed.
struct snapshot {
  intstate a, b;
  floatstate f, g;
  explicit snapshot(const operands& o) : a(o.a), b(o.b), f(o.f), g(o.g) {}
  bool operator==(const snapshot& o) const {
    return a == o.a && b == o.b && f == o.f && g == o.g;
  }
};

// Strong: a failure leaves the operands as they were; basic: valid and in
// step, values unspecified.
enum class guarantee { strong, basic };

struct operation {
  const char* name;
  guarantee promised;
  // Longest length tried: the quadratic ones stop early.
  std::uint64_t longest;
  void (*run)(operands&);
};

template <class T> void discard(const T& /*result*/) {}

constexpr std::uint64_t all = ~std::uint64_t{0};
constexpr auto strong = guarantee::strong;

const operation operations[] = {
    {"fixedint(length)", strong, all,
     [](operands& o) { fixedint n(o.a.size); }},
    {"fixedint(length, int)", strong, all,
     [](operands& o) { fixedint n(o.a.size, -42); }},
    {"fixedint(length, text)", strong, all,
     [](operands& o) { fixedint n(o.a.size, o.text); }},
    {"fixedint copy", strong, all, [](operands& o) { fixedint n(o.a); }},
    {"fixedint = fixedint", strong, all, [](operands& o) { o.a = o.small; }},
    {"fixedint resize", strong, all,
     [](operands& o) { o.a.resize(2 * o.a.size); }},
    {"wholeshiftl, wholeshiftr", strong, all,
     [](operands& o) { o.a.wholeshiftl(), o.a.wholeshiftr(); }},
    {"fixedint = int64_t", strong, all, [](operands& o) { o.a = -42; }},
    {"fixedint = text", strong, all, [](operands& o) { o.a = o.text; }},
    {"fixedint = fixedfloat", strong, all, [](operands& o) { o.a = o.f; }},
    {"fixedint asstring", strong, all,
     [](operands& o) { discard(o.a.asstring()); }},
    {"getasstdint", strong, all,
     [](operands& o) { discard(o.small.getasstdint()); }},
    {"fixedint asdouble", strong, all,
     [](operands& o) { discard(o.a.asdouble()); }},
    {"getshorteneddigits", strong, all,
     [](operands& o) { discard(o.a.getshorteneddigits()); }},
    {"fixedint getcopy, abs", strong, all,
     [](operands& o) { discard(o.a.getcopy()), discard(o.b.abs()); }},
    {"fixedint comparisons", strong, all,
     [](operands& o) {
       discard(o.a == o.b), discard(o.a != o.b), discard(o.a > o.b);
       discard(o.a < o.b), discard(o.a >= o.b), discard(o.a <= o.b);
     }},
    {"++, --", strong, all, [](operands& o) { ++o.a, o.b--; }},
    {"fixedint +", strong, all, [](operands& o) { discard(o.a + o.a); }},
    {"fixedint + mixed signs", strong, all,
     [](operands& o) { discard(o.b + o.a); }},
    {"fixedint -", strong, all, [](operands& o) { discard(o.a - o.b); }},
    {"fixedint *", strong, all, [](operands& o) { discard(o.a * o.b); }},
    {"fixedint /", strong, all, [](operands& o) { discard(o.a / o.b); }},
    {"fixedint %", strong, all, [](operands& o) { discard(o.b % o.a); }},
    {"fixedint ^", strong, all, [](operands& o) { discard(o.a ^ o.small); }},
    {"fixedint << >>", strong, all,
     [](operands& o) { discard(o.a << o.small), discard(o.a >> o.small); }},
    {"fixedint stream output", strong, all,
     [](operands& o) { std::ostringstream(std::string()) << o.a; }},
    {"fixedint stream input", strong, all,
     [](operands& o) { std::istringstream(o.text) >> o.a; }},
    {"fixedfloat(length)", strong, all,
     [](operands& o) { fixedfloat n(o.f.size); }},
    {"fixedfloat(length, float)", strong, 40,
     [](operands& o) { fixedfloat n(o.f.size, 78.9f); }},
    {"fixedfloat(length, text)", strong, all,
     [](operands& o) { fixedfloat n(o.f.size, o.text.substr(o.f.size / 2)); }},
    {"fixedfloat copy", strong, all, [](operands& o) { fixedfloat n(o.f); }},
    {"fixedfloat = fixedfloat", strong, all, [](operands& o) { o.f = o.g; }},
    {"init", strong, all, [](operands& o) { o.f.init(2 * o.f.size); }},
    {"fixedfloat resize", strong, all,
     [](operands& o) { o.f.resize(2 * o.f.size); }},
    {"getintpart, getfractionpart", strong, all,
     [](operands& o) {
       discard(o.f.getintpart()), discard(o.f.getfractionpart());
     }},
    {"fixedfloat = fixedint", guarantee::basic, 40,
     [](operands& o) { o.f = o.a; }},
    {"fixedfloat = float", guarantee::basic, 40,
     [](operands& o) { o.f = -78.9f; }},
    {"fixedfloat = text", strong, all,
     [](operands& o) { o.f = o.text.substr(o.f.size / 2); }},
    {"fixedfloat asstring", strong, all,
     [](operands& o) { discard(o.f.asstring()); }},
    {"fixedfloat asdouble", strong, all,
     [](operands& o) { discard(o.f.asdouble()); }},
    {"fixedfloat getcopy, abs", strong, all,
     [](operands& o) { discard(o.f.getcopy()), discard(o.g.abs()); }},
    {"fixedfloat comparisons", strong, all,
     [](operands& o) {
       discard(o.f == o.g), discard(o.f != o.g), discard(o.f > o.g);
       discard(o.f < o.g), discard(o.f >= o.g), discard(o.f <= o.g);
     }},
    {"fixedfloat *", strong, all, [](operands& o) { discard(o.f * o.g); }},
    {"fixedfloat /", strong, all, [](operands& o) { discard(o.f / o.g); }},
    {"round", strong, all,
     [](operands& o) { discard(o.f.round(1, roundmode::halfeven)); }},
    {"fixedfloat + -", strong, all,
     [](operands& o) { discard(o.f + o.g), discard(o.f - o.g); }},
    {"fixedfloat stream output", strong, all,
     [](operands& o) { std::ostringstream(std::string()) << o.f; }},
    {"fixedfloat stream input", strong, all,
     [](operands& o) { std::istringstream(o.text) >> o.f; }},
    {"log", strong, all, [](operands& /*o*/) { VELDRA::log("a line"); }},
};

// Lengths at and one limb below each threshold of the limb kernels, and two
// short ones.
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
  const snapshot before(o);
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
  if (threw && op.promised == strong) {
    EXPECT_TRUE(snapshot(o) == before) << "operands changed";
  }
  veldratest::messages(VELDRA::logstream.str()); // whole lines only
  tighttrace();
  EXPECT_EQ(liveblocks, live) << "blocks leaked";
  return reached;
}

TEST(Allocation, FailsSafelyAtEveryAllocationOfEveryOperation) {
  for (const std::uint64_t length : lengths()) {
    for (const operation& op : operations) {
      if (length > op.longest) {
        continue;
      }
      SCOPED_TRACE(std::string(op.name) + " at length " +
                   std::to_string(length));
      for (std::size_t k = 1; failsatk(op, length, k); ++k) {
        if (testing::Test::HasFailure()) {
          return;
        }
      }
    }
  }
}

// A line the trace could not grow for is counted in the next that it keeps.
TEST(Allocation, TraceCountsTheLinesItLost) {
  tighttrace();
  countdown = 1;
  VELDRA::log("lost");
  EXPECT_EQ(countdown, 0U);
  VELDRA::log("kept");
  EXPECT_EQ(veldratest::messages(VELDRA::logstream.str()),
            (veldratest::lines{"Trace lines lost, out of memory: 1", "kept"}));
}

} // namespace
