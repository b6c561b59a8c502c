// Fuzzes fixedfloat.  The input is a sequence of operations on a few numbers:
// construction and init at odd and even lengths, floats of any bit pattern
// (NaN, infinities, subnormals, huge) by = and by the constructor, = from
// fixedint, * + -, the comparisons, the text, the parts and the copies, with
// flags and digits also written straight into the public members.  Results
// on well-formed digits are checked against GMP; every result against the
// invariants, the documented failures and the "unchanged on failure"
// promises.
#include "fuzzcheck.hpp"
#include "support/floatmodel.hpp"

#include <cmath>
#include <cstring>

namespace {

using VELDRA::fixedfloat;
using VELDRA::fixedint;
using namespace veldrafuzz;
using namespace veldratest;
using state = floatstate;

constexpr std::size_t poolsize = 3;

// Magnitude and sign match, whatever the flags of `digits`.
bool holdsvalue(const fixedfloat& n, const bigint& scaled, bool isneg) {
  return n.digits.digits == todigits(scaled, n.size) && n.isneg == isneg;
}

// |scaled / 10^h, negated when negative, - val| <= 0.0011: the fraction is
// scaled until it is integral within 0.001, in single precision.
bool closeto(const bigint& scaled, std::uint64_t h, bool negative, float val) {
  mpq_t stored;
  mpq_t gap;
  mpq_t bound;
  mpq_init(stored);
  mpq_init(gap);
  mpq_init(bound);
  mpq_set_num(stored, scaled.get());
  mpq_set_den(stored, powerof10(h).get());
  mpq_canonicalize(stored);
  if (negative) {
    mpq_neg(stored, stored);
  }
  mpq_set_d(gap, static_cast<double>(val));
  mpq_sub(gap, stored, gap);
  mpq_abs(gap, gap);
  mpq_set_ui(bound, 11, 10000);
  const bool close = mpq_cmp(gap, bound) <= 0;
  mpq_clear(bound);
  mpq_clear(gap);
  mpq_clear(stored);
  return close;
}

// Lengths are even: an odd one is only tried where it must be refused.
class session : public pool<session, fixedfloat, state, poolsize> {
public:
  session(const std::uint8_t* data, std::size_t size) : pool(data, size, 2) {}

  static void checkinvariants(const fixedfloat& n) {
    check(n.digits.digits.size() == n.digits.size, "digits.size() != size");
    check(n.digits.size == n.size, "the digits' length differs from size");
    check(n.size % 2 == 0, "odd size");
    check(!n.digits.isneg, "digits.isneg set: the sign belongs to isneg");
  }

private:
  friend pool; // runs step()

  // The operations and how often each is picked.
  void step() {
    static constexpr operation<session> operations[] = {
        {1, [](session& s) { s.construct(); }},
        {1, [](session& s) { s.init(); }},
        {1, [](session& s) { s.fromfloat(s.floatbits()); }},
        {1, [](session& s) { s.fromfloat(s.decimalfloat()); }},
        {1, [](session& s) { s.assignfixedint(); }},
        {2, [](session& s) { s.multiply(); }},
        {1, [](session& s) { s.text(); }},
        {1, [](session& s) { s.parts(); }},
        {1, [](session& s) { filldigits(s.input_, s.pick().digits.digits); }},
        {1, [](session& s) { poke(s.input_, s.pick().digits.digits); }},
        {1, [](session& s) { s.flagsorcopy(); }},
        {1, [](session& s) { s.addsub(s.input_.ConsumeBool()); }},
        {1, [](session& s) { s.compare(); }},
        {2, [](session& s) { checkcopies<state>(s.pick()); }},
        {1, [](session& s) { s.outofstep(); }},
    };
    runweighted(*this, input_, operations);
  }

  // Any bit pattern: NaNs, infinities, subnormals, huge values.
  float floatbits() {
    const auto bits = input_.ConsumeIntegral<std::uint32_t>();
    float val;
    std::memcpy(&val, &bits, sizeof val);
    return val;
  }

  // A short decimal such as -12.34, which often fits.
  float decimalfloat() {
    const auto mantissa = input_.ConsumeIntegral<std::int32_t>();
    const int places = input_.ConsumeIntegralInRange<int>(0, 9);
    return static_cast<float>(mantissa) /
           static_cast<float>(std::pow(10.0, places));
  }

  void construct() {
    const std::size_t target = slot();
    const std::uint64_t length = newlength();
    const state before(pool_[target]);
    const failure thrown = attempt([&] { pool_[target] = fixedfloat(length); },
                                   {failure::oddlength});
    checkmade(pool_[target], before, length, thrown);
  }

  void init() {
    fixedfloat& n = pick();
    const std::uint64_t length = newlength();
    const state before(n);
    const failure thrown =
        attempt([&] { n.init(length); }, {failure::oddlength});
    checkmade(n, before, length, thrown);
  }

  // An odd length is refused with the number unchanged; an even one makes
  // it zero.
  static void checkmade(const fixedfloat& n, const state& before,
                        std::uint64_t length, failure thrown) {
    if (length % 2 != 0) {
      check(thrown == failure::oddlength && holds(n, before),
            "odd length: must be refused, number unchanged");
      return;
    }
    check(thrown == failure::none && holds(n, state(length)),
          "even length: not a fresh zero");
  }

  // = float, or fixedfloat(length, float) copied into a slot.
  void fromfloat(float val) {
    fixedfloat& n = pick();
    const state before(n);
    const bool construct = input_.ConsumeBool();
    const std::uint64_t length = construct ? newlength() : before.size;
    const auto run = [&] {
      if (construct) {
        n = fixedfloat(length, val);
      } else {
        n = val;
      }
    };
    const failure thrown = attempt(
        run, {failure::oddlength, failure::notfinite, failure::outofint64,
              failure::intbigger, failure::fractiontoobig});
    const failure refused =
        length % 2 != 0 ? failure::oddlength : refusal(val, length / 2);
    if (refused != failure::none) {
      check(thrown == refused && holds(n, before),
            "float: must be refused, number unchanged");
      return;
    }
    if (thrown == failure::fractiontoobig) {
      checkfractionrefused(n, before, val, length, construct);
      return;
    }
    check(thrown == failure::none, "float: unexpected failure");
    checkstored(state(n), before, val, length, construct);
  }

  // Scaling ends within ten rounds, so only short halves can refuse.  A
  // failed construction makes nothing; a failed assignment keeps the
  // integer part.
  static void checkfractionrefused(const fixedfloat& n, const state& before,
                                   float val, std::uint64_t length,
                                   bool construct) {
    check(length / 2 < 10, "float: fraction refused at h >= 10");
    const auto integer = static_cast<std::int64_t>(val);
    bigint whole = fromint64(integer);
    mpz_abs(whole.get(), whole.get());
    mpz_mul(whole.get(), whole.get(), powerof10(length / 2).get());
    check(construct ? holds(n, before) : holdsvalue(n, whole, integer < 0),
          "float: wrong state after a refused fraction");
  }

  // A float stored: within 0.001 of it, with its sign unless zero.
  static void checkstored(const state& after, const state& before, float val,
                          std::uint64_t length, bool construct) {
    check(after.size == length &&
              after.floatsigned == (construct || before.floatsigned),
          "float: length or floatsigned changed");
    check(after.wellformed(), "float: malformed digits");
    check(closeto(after.scaled(), after.half(), after.isneg, val),
          "float: stored value not within 0.001 of the float");
    check(after.isneg == (val < 0 && mpz_sgn(after.scaled().get()) != 0),
          "float: wrong sign");
  }

  // What = float refuses before it changes anything.
  static failure refusal(float val, std::uint64_t h) {
    if (!std::isfinite(val)) {
      return failure::notfinite;
    }
    if (!(val >= -0x1p63f && val < 0x1p63f)) {
      return failure::outofint64;
    }
    if (digitcount(static_cast<std::int64_t>(val)) > h) {
      return failure::intbigger;
    }
    return failure::none;
  }

  void assignfixedint() {
    fixedfloat& n = pick();
    const state before(n);
    fixedint val(input_.ConsumeBool() ? before.half() : newlength());
    filldigits(input_, val.digits);
    if (input_.ConsumeBool()) {
      poke(input_, val.digits);
    }
    const auto bits = input_.ConsumeIntegral<std::uint8_t>();
    val.isneg = (bits & 1) != 0;
    val.numsigned = (bits & 2) != 0;
    val.throwwhenover = (bits & 4) != 0;
    const intstate source(val);

    const failure thrown = attempt([&] { n = val; }, {failure::valtoosmall});
    check(holds(val, source), "= fixedint changed its argument");
    if (source.size < before.half()) {
      check(thrown == failure::valtoosmall && holds(n, before),
            "= fixedint: too short must be refused, number unchanged");
      return;
    }
    check(thrown == failure::none && n.size == before.size &&
              n.floatsigned == before.floatsigned,
          "= fixedint: failed, or changed the length");
    if (source.wellformed()) {
      bigint scaled = source.value();
      mpz_mul(scaled.get(), scaled.get(), powerof10(before.half()).get());
      check(holdsvalue(n, scaled, source.isneg), "= fixedint differs from GMP");
    }
  }

  using binary = binaryrun<fixedfloat, state>;

  // Checks a new number from an operator, its magnitude too when there is
  // one to compare with, then keeps it in the pool.
  void keep(binary& run, const bigint* scaled, bool isneg, const char* what) {
    const fixedfloat& result = *run.result;
    check(result.size == run.x.size && result.floatsigned,
          "a result must have the operands' length and floatsigned");
    check(result.isneg == isneg, what);
    check(scaled == nullptr || holdsvalue(result, *scaled, isneg), what);
    pool_[slot()] = result;
  }

  void multiply() {
    binary run = runbinary(
        [](const fixedfloat& a, const fixedfloat& b) { return a * b; },
        {failure::floatsizes});
    const state& x = run.x;
    const state& y = run.y;
    std::vector<failure> faults;
    if (x.size != y.size) {
      faults.push_back(failure::floatsizes);
    }
    if (refused(run.thrown, faults, "*: wrong failure")) {
      return;
    }
    if (!x.wellformed() || !y.wellformed()) {
      keep(run, nullptr, x.floatsigned && x.isneg != y.isneg,
           "* differs from GMP");
      return;
    }
    const floatoutcome model = fixedproductof(x, y);
    keep(run, &model.magnitude, model.isneg, "* differs from GMP");
  }

  // + and -: the exact signed sum, integer digits above h dropped unless
  // this number's digits.throwwhenover; a zero result is not negative.
  void addsub(bool minus) {
    binary run = runbinary(
        [minus](const fixedfloat& a, const fixedfloat& b) {
          return minus ? a - b : a + b;
        },
        {failure::floatsizes, failure::malformeddigits, failure::overflow});
    const state& x = run.x;
    const state& y = run.y;
    std::vector<failure> faults;
    if (x.size != y.size) {
      faults.push_back(failure::floatsizes);
    }
    if (!x.wellformed() || !y.wellformed()) {
      faults.push_back(failure::malformeddigits);
    }
    if (!faults.empty()) {
      refused(run.thrown, faults, "+ or -: wrong failure");
      return;
    }
    const floatoutcome model =
        minus ? fixeddifferenceof(x, y) : fixedsumof(x, y);
    if (model.overflow) {
      check(run.thrown == failure::overflow, "+ or -: overflow not refused");
      return;
    }
    check(run.thrown == failure::none, "+ or -: unexpected failure");
    keep(run, &model.magnitude, model.isneg, "+ or - differs from GMP");
  }

  // All six comparisons: by value across lengths, the points aligned, zero
  // equal to -0.
  void compare() {
    const fixedfloat& a = pick();
    const fixedfloat& b = pick();
    const state x(a);
    const state y(b);
    const ordering order = compareall<state>(a, b);
    if (x.wellformed() && y.wellformed()) {
      const int model = fixedorder(x, y);
      check(order.eq == (model == 0) && order.gt == (model > 0),
            "comparison differs from GMP");
    }
  }

  // Every operation that reads a number refuses the one x written out of
  // step, on either side; + - / and round first say "Malformed digits!"
  // for digits that do not match the length, and the length checks come
  // first, as before.
  void outofstep() {
    using reading = void (*)(fixedfloat&, fixedfloat&);
    static constexpr reading readings[] = {
        [](fixedfloat& x, fixedfloat& y) { static_cast<void>(x * y); },
        [](fixedfloat& x, fixedfloat& y) { static_cast<void>(y * x); },
        [](fixedfloat& x, fixedfloat& y) { static_cast<void>(x / y); },
        [](fixedfloat& x, fixedfloat& y) { static_cast<void>(y + x); },
        [](fixedfloat& x, fixedfloat& y) { static_cast<void>(x - y); },
        [](fixedfloat& x, fixedfloat& y) { static_cast<void>(x == y); },
        [](fixedfloat& x, fixedfloat& y) { static_cast<void>(y < x); },
        [](fixedfloat& x, fixedfloat&) {
          static_cast<void>(x.round(1, VELDRA::roundmode::up));
        },
        [](fixedfloat& x, fixedfloat&) { x.resize(2); },
        [](fixedfloat& x, fixedfloat&) { static_cast<void>(x.asstring()); },
        [](fixedfloat& x, fixedfloat&) { static_cast<void>(x.getintpart()); },
        [](fixedfloat& x, fixedfloat&) { fixedint(0) = x; },
    };
    const std::size_t left = slot();
    readskewed<state>(
        input_, pool_[left], pick(), readings,
        {failure::outofstep, failure::malformeddigits, failure::floatsizes});
  }

  void text() {
    const fixedfloat& n = pick();
    const state s(n);
    const std::string out = printed<state>(n);
    if (s.wellformed()) {
      check(out == fixedtext(s), "asstring differs from GMP");
    }
  }

  // getintpart, getfractionpart and fixedint = fixedfloat.
  void parts() {
    const fixedfloat& n = pick();
    const state s(n);
    fixedint whole(newlength());
    whole = n;
    const fixedint intpart = n.getintpart();
    const fixedint fraction = n.getfractionpart();
    check(holds(n, s), "taking the parts changed the number");
    check(holds(whole, intstate(intpart)),
          "fixedint = fixedfloat is not getintpart");
    check(intpart.size == s.size && fraction.size == s.size && !intpart.isneg &&
              !fraction.isneg,
          "parts: wrong length or sign");
    if (s.wellformed()) {
      const bigint unit = powerof10(s.half());
      check(intpart.digits == todigits(quotient(s.scaled(), unit), s.size),
            "getintpart differs from GMP");
      check(fraction.digits == todigits(remainder(s.scaled(), unit), s.size),
            "getfractionpart differs from GMP");
    }
  }

  void flagsorcopy() {
    const std::size_t target = slot();
    fixedfloat& n = pool_[target];
    const auto bits = input_.ConsumeIntegral<std::uint8_t>();
    switch (bits % 4) {
    case 0:
      n.floatsigned = (bits & 4) != 0;
      n.isneg = (bits & 8) != 0;
      n.digits.throwwhenover = (bits & 16) != 0;
      break;
    case 1:
      n.updsign();
      check(!n.isneg, "updsign: the digits carry no sign to move");
      break;
    default: {
      const fixedfloat& source = pick();
      const state expected(source);
      const fixedfloat copy(source);
      pool_[target] = source;
      check(holds(copy, expected) && holds(pool_[target], expected),
            "copy differs from its source");
      break;
    }
    }
  }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  resettrace();
  session(data, size).run();
  return 0;
}
