// Fuzzes fixedint.  The input is a sequence of operations on a few numbers of
// random lengths, whose digits (malformed ones included) and flags are also
// written straight into the public members.  Results on well-formed digits
// are checked against GMP; every result against the invariants, the
// documented failures and the "unchanged on failure" promises.
#include "fuzzcheck.hpp"

#include <limits>
#include <optional>
#include <utility>

namespace {

using VELDRA::fixedint;
using namespace veldrafuzz;
using namespace veldratest;
using state = intstate;

constexpr std::size_t poolsize = 4;

// The documented text of any digits: each element in decimal, most
// significant first, leading '0' characters cut to one, then the sign.
std::string rendered(const state& s) {
  std::string out;
  for (auto place = s.digits.rbegin(); place != s.digits.rend(); ++place) {
    out += std::to_string(static_cast<int>(*place));
  }
  while (out.size() > 1 && out[0] == '0') {
    out.erase(0, 1);
  }
  return s.isneg ? "-" + out : out;
}

// A new number from an operator: this length, the default flags, and the
// digits and sign given.
void checknew(const fixedint& result, std::uint64_t length,
              const digitvector& digits, bool isneg, const char* what) {
  check(result.size == length && result.numsigned && !result.throwwhenover,
        "a result must have the operand's length and the default flags");
  check(result.digits == digits && result.isneg == isneg, what);
}

// The failure a model's outcome calls for.
failure failurefor(const intoutcome& outcome) {
  return outcome.overflow ? failure::overflow : failure::none;
}

// Runs left op right (+ - *) into `result`; what it threw.
failure apply(char op, fixedint& left, const fixedint& right,
              std::optional<fixedint>& result) {
  if (op == '*') {
    return attempt([&] { result.emplace(left * right); },
                   {failure::sizesdiffer, failure::intbigger});
  }
  return attempt(
      [&] { result.emplace(op == '+' ? left + right : left - right); },
      {failure::sizesdiffer, failure::overflow, failure::carryover9});
}

// ++ and --, prefix and postfix (kinds 0 to 3); what each returned.
const fixedint* applystep(fixedint& n, int kind) {
  switch (kind) {
  case 0:
    return &++n;
  case 1:
    return &n++;
  case 2:
    return &--n;
  default:
    return &n--;
  }
}

class session : public pool<session, fixedint, state, poolsize> {
public:
  session(const std::uint8_t* data, std::size_t size) : pool(data, size, 1) {}

  static void checkinvariants(const fixedint& n) {
    check(n.digits.size() == n.size, "digits.size() != size");
  }

private:
  friend pool; // runs step()

  // Any int64_t, often cut to a few digits so that it fits.
  std::int64_t machinevalue() {
    auto val = input_.ConsumeIntegral<std::int64_t>();
    const int kept = input_.ConsumeIntegralInRange<int>(0, 19);
    if (kept == 19) {
      return val;
    }
    std::int64_t limit = 1;
    for (int i = 0; i < kept; ++i) {
      limit *= 10;
    }
    return val % limit;
  }

  // The operations and how often each is picked.
  void step() {
    static constexpr operation<session> operations[] = {
        {1, [](session& s) { filldigits(s.input_, s.pick().digits); }},
        {1, [](session& s) { poke(s.input_, s.pick().digits); }},
        {1, [](session& s) { s.setflags(); }},
        {1, [](session& s) { s.assignint(); }},
        {1, [](session& s) { s.construct(); }},
        {1, [](session& s) { s.copyormove(); }},
        {1, [](session& s) { s.resize(); }},
        {1, [](session& s) { s.shift(); }},
        {2, [](session& s) { s.arithmetic('+'); }},
        {1, [](session& s) { s.arithmetic('-'); }},
        {2, [](session& s) { s.arithmetic('*'); }},
        {1, [](session& s) { s.compare(); }},
        {1, [](session& s) { s.text(); }},
        {1, [](session& s) { s.toint(); }},
        {1, [](session& s) { checkcopies<state>(s.pick()); }},
        {1, [](session& s) { s.shortened(); }},
        {1, [](session& s) { s.steps(); }},
        {1, [](session& s) { s.divide(s.input_.ConsumeBool()); }},
        {1, [](session& s) { s.power(); }},
        {2, [](session& s) { s.shiftby(s.input_.ConsumeBool()); }},
        {1, [](session& s) { s.outofstep(); }},
    };
    runweighted(*this, input_, operations);
  }

  void setflags() {
    fixedint& n = pick();
    const auto bits = input_.ConsumeIntegral<std::uint8_t>();
    n.isneg = (bits & 1) != 0;
    n.numsigned = (bits & 2) != 0;
    n.throwwhenover = (bits & 4) != 0;
  }

  void assignint() {
    fixedint& n = pick();
    const state before(n);
    const std::int64_t val = machinevalue();
    const failure thrown = attempt([&] { n = val; }, {failure::intbigger});
    if (digitcount(val) > before.size) {
      check(thrown == failure::intbigger && holds(n, before),
            "= int64: a value too long must be refused, number unchanged");
      return;
    }
    state expected = before;
    expected.digits = todigits(fromint64(val), before.size);
    if (before.numsigned) {
      expected.isneg = val < 0;
    }
    check(thrown == failure::none && holds(n, expected),
          "= int64: wrong value");
  }

  void construct() {
    const std::size_t target = slot();
    const std::uint64_t length = newlength();
    const bool withvalue = input_.ConsumeBool();
    const std::int64_t val = machinevalue();
    const state before(pool_[target]);
    state expected(length);
    if (!withvalue) {
      pool_[target] = fixedint(length);
      check(holds(pool_[target], expected), "fixedint(length): not zero");
      return;
    }
    const failure thrown = attempt(
        [&] { pool_[target] = fixedint(length, val); }, {failure::intbigger});
    if (digitcount(val) > length) {
      check(thrown == failure::intbigger && holds(pool_[target], before),
            "fixedint(length, initial): a value too long must be refused");
      return;
    }
    expected.digits = todigits(fromint64(val), length);
    expected.isneg = val < 0;
    check(thrown == failure::none && holds(pool_[target], expected),
          "fixedint(length, initial): wrong value");
  }

  void copyormove() {
    const std::size_t target = slot();
    const fixedint& source = pick();
    const state expected(source);
    if (input_.ConsumeBool()) {
      pool_[target] = source;
      const fixedint copy(source);
      check(holds(pool_[target], expected) && holds(copy, expected),
            "copy differs from its source");
      return;
    }
    fixedint taken(source);
    fixedint moved(std::move(taken));
    pool_[target] = std::move(moved);
    check(holds(pool_[target], expected), "move changed the value");
    // The moved-from state is documented: length 0, no digits.
    // NOLINTNEXTLINE(bugprone-use-after-move)
    check(taken.size == 0 && taken.digits.empty() && moved.size == 0 &&
              moved.digits.empty(),
          "a moved-from number must have length 0");
  }

  void resize() {
    fixedint& n = pick();
    state expected(n);
    const std::uint64_t length = newlength();
    n.resize(length);
    expected.size = length;
    expected.digits.resize(length, 0);
    check(holds(n, expected), "resize: wrong digits, sign or flags");
  }

  void shift() {
    fixedint& n = pick();
    state expected(n);
    const bool up = input_.ConsumeBool();
    if (up) {
      n.wholeshiftl();
    } else {
      n.wholeshiftr();
    }
    expected.digits = shifted(expected.digits, 1, up);
    check(holds(n, expected), "whole-place shift: wrong digits");
  }

  void arithmetic(char op) {
    const std::size_t leftslot = slot();
    const std::size_t rightslot = slot();
    fixedint& left = pool_[leftslot];
    const fixedint& right = pool_[rightslot];
    const state a(left);
    const state b(right);
    std::optional<fixedint> result;
    const failure thrown = apply(op, left, right, result);
    if (leftslot != rightslot) {
      check(holds(right, b), "the right operand changed");
    }
    if (result) {
      check(result->size == a.size && result->digits.size() == a.size,
            "result length differs from the operands'");
      check(result->numsigned && !result->throwwhenover,
            "a result must have the default flags");
    }
    if (a.wellformed() && b.wellformed()) {
      checkmodel(op, thrown, a, b, left, result);
    } else {
      checkmalformed(op, thrown, a, b, left);
    }
    if (result) {
      pool_[slot()] = std::move(*result);
    }
  }

  // Well-formed digits: GMP's result and left operand, after the refusals
  // of unusable lengths.
  static void checkmodel(char op, failure thrown, const state& a,
                         const state& b, const fixedint& left,
                         const std::optional<fixedint>& result) {
    if (a.size != b.size || (op == '*' && a.size == 0)) {
      // The empty product cannot take 0.
      check(thrown ==
                (a.size != b.size ? failure::sizesdiffer : failure::intbigger),
            "wrong failure against GMP");
      check(holds(left, a), "left operand wrong afterwards");
      return;
    }
    const intoutcome model = op == '+'   ? sumof(a, b)
                             : op == '-' ? differenceof(a, b)
                                         : productof(a, b);
    check(thrown == failurefor(model), "wrong failure against GMP");
    check(holds(left, model.left), "left operand wrong afterwards");
    if (result) {
      check(result->digits == model.digits() && result->isneg == model.isneg,
            "result differs from GMP");
    }
  }

  // Malformed digits: the value is undefined, but the length checks, the
  // overflow policy and "unchanged on failure" still hold.
  static void checkmalformed(char op, failure thrown, const state& a,
                             const state& b, const fixedint& left) {
    check((thrown == failure::sizesdiffer) == (a.size != b.size),
          "length mismatch not reported as such");
    if (thrown != failure::none || op == '*') {
      check(holds(left, a), "a failure must leave the left operand unchanged");
    } else {
      check(left.size == a.size && left.numsigned == a.numsigned &&
                left.throwwhenover == a.throwwhenover,
            "left operand's length or flags changed");
    }
    if (thrown == failure::overflow) {
      check(a.throwwhenover, "overflow thrown without throwwhenover");
    }
    if (thrown == failure::intbigger) {
      check(a.size == 0, "product failed on non-empty operands");
    }
  }

  void compare() {
    const fixedint& x = pick();
    const fixedint& y = pick();
    const state a(x);
    const state b(y);
    const ordering order = compareall<state>(x, y);
    check(order.eq == (a.digits == b.digits && a.isneg == b.isneg),
          "== is wrong");
    if (a.wellformed() && b.wellformed()) {
      check(order.gt == greater(a, b), "> differs from GMP");
    }
  }

  void text() {
    const fixedint& n = pick();
    const state s(n);
    std::string expected = rendered(s);
    if (s.wellformed()) {
      expected = (s.isneg ? "-" : "") + (s.size == 0 ? "" : s.value().str());
    }
    check(printed<state>(n) == expected, "asstring is wrong");
  }

  void toint() {
    const fixedint& n = pick();
    const state s(n);
    std::int64_t out = 0;
    const failure thrown = attempt([&] { out = n.getasstdint(); },
                                   {failure::nofit, failure::malformed});
    check(holds(n, s), "getasstdint changed the number");
    if (!s.wellformed()) {
      check(thrown != failure::none, "malformed digits gave an int64_t");
      return;
    }
    // Against int64_t's own bounds: a long has 32 bits on Windows.
    using limits = std::numeric_limits<std::int64_t>;
    const bigint value = s.signedvalue();
    if (below(value, fromint64(limits::min())) ||
        below(fromint64(limits::max()), value)) {
      check(thrown == failure::nofit, "getasstdint: too big not refused");
      return;
    }
    check(thrown == failure::none &&
              mpz_cmp(fromint64(out).get(), value.get()) == 0,
          "getasstdint differs from GMP");
  }

  // ++ and --, prefix and postfix; each returns the number itself.
  void steps() {
    fixedint& n = pick();
    const state before(n);
    const int kind = input_.ConsumeIntegralInRange<int>(0, 3);
    const fixedint* returned = nullptr;
    const failure thrown =
        attempt([&] { returned = applystep(n, kind); },
                {failure::overflow, failure::malformeddigits});
    if (thrown == failure::none) {
      check(returned == &n, "++ and -- must return the number itself");
    } else {
      check(holds(n, before), "a failed step must leave the number unchanged");
    }
    if (!before.wellformed()) {
      check(n.size == before.size && n.numsigned == before.numsigned &&
                n.throwwhenover == before.throwwhenover,
            "a step changed the length or the flags");
      check(thrown != failure::overflow || before.throwwhenover,
            "overflow thrown without throwwhenover");
      return;
    }
    const intoutcome model = stepof(before, kind < 2);
    check(thrown == failurefor(model) && holds(n, model.left),
          "++ or -- differs from GMP");
  }

  using binary = binaryrun<fixedint, state>;

  // Sound results go back into the pool for later operations.
  void keep(binary& run) {
    if (run.result) {
      pool_[slot()] = std::move(*run.result);
    }
  }

  void divide(bool remainder) {
    binary run = runbinary(
        [remainder](const fixedint& a, const fixedint& b) {
          return remainder ? a % b : a / b;
        },
        {failure::sizesdiffer, failure::malformeddigits,
         failure::divisionbyzero});
    const state& x = run.x;
    const state& y = run.y;
    std::vector<failure> faults;
    if (x.size != y.size) {
      faults.push_back(failure::sizesdiffer);
    }
    if (!x.wellformed() || !y.wellformed()) {
      faults.push_back(failure::malformeddigits);
    }
    if (y.zero()) {
      faults.push_back(failure::divisionbyzero);
    }
    if (refused(run.thrown, faults, "/ or %: wrong failure")) {
      return;
    }
    const bigint value = remainder ? remainderof(x, y) : quotientof(x, y);
    checknew(*run.result, x.size, todigits(value, x.size),
             mpz_sgn(value.get()) < 0, "/ or % differs from GMP");
    keep(run);
  }

  void power() {
    binary run =
        runbinary([](const fixedint& a, const fixedint& b) { return a ^ b; },
                  {failure::malformeddigits, failure::negativeexponent});
    const state& x = run.x;
    const state& y = run.y;
    std::vector<failure> faults;
    if (!x.wellformed() || !y.wellformed()) {
      faults.push_back(failure::malformeddigits);
    }
    if (y.negative()) {
      faults.push_back(failure::negativeexponent);
    }
    if (refused(run.thrown, faults, "^: wrong failure")) {
      return;
    }
    const bigint value = powerof(x, y);
    checknew(*run.result, x.size, todigits(value, x.size),
             mpz_sgn(value.get()) < 0, "^ differs from GMP");
    keep(run);
  }

  // << and >>: this number's digits move as they are, malformed or not.
  void shiftby(bool up) {
    binary run =
        runbinary([up](const fixedint& a,
                       const fixedint& b) { return up ? a << b : a >> b; },
                  {failure::malformeddigits, failure::negativeshift});
    const state& x = run.x;
    const state& y = run.y;
    std::vector<failure> faults;
    if (!y.wellformed()) {
      faults.push_back(failure::malformeddigits);
    } else if (y.negative()) {
      faults.push_back(failure::negativeshift);
    }
    if (refused(run.thrown, faults, "<< or >>: wrong failure")) {
      return;
    }
    const bigint count = y.value();
    const std::size_t places =
        below(count, bigint(static_cast<long>(x.size)))
            ? static_cast<std::size_t>(mpz_get_ui(count.get()))
            : x.size;
    checknew(*run.result, x.size, shifted(x.digits, places, up), x.isneg,
             "<< or >> moved the digits wrongly");
    keep(run);
  }

  // Every operation that reads a number refuses the one x written out of
  // step, on either side.
  void outofstep() {
    using reading = void (*)(fixedint&, fixedint&);
    static constexpr reading readings[] = {
        [](fixedint& x, fixedint& y) { static_cast<void>(x + y); },
        [](fixedint& x, fixedint& y) { static_cast<void>(y - x); },
        [](fixedint& x, fixedint& y) { static_cast<void>(y * x); },
        [](fixedint& x, fixedint& y) { static_cast<void>(x / y); },
        [](fixedint& x, fixedint& y) { static_cast<void>(y % x); },
        [](fixedint& x, fixedint& y) { static_cast<void>(x ^ y); },
        [](fixedint& x, fixedint& y) { static_cast<void>(y << x); },
        [](fixedint& x, fixedint& y) { static_cast<void>(x == y); },
        [](fixedint& x, fixedint& y) { static_cast<void>(y < x); },
        [](fixedint& x, fixedint&) { ++x; },
        [](fixedint& x, fixedint&) { x.resize(1); },
        [](fixedint& x, fixedint&) { static_cast<void>(x.asstring()); },
        [](fixedint& x, fixedint&) { static_cast<void>(x.asdouble()); },
        [](fixedint& x, fixedint&) { static_cast<void>(x.abs()); },
    };
    const fixedint& x = pick(); // picked before y
    readskewed<state>(input_, x, pick(), readings, {failure::outofstep});
  }

  void shortened() {
    const fixedint& n = pick();
    digitvector expected = n.digits;
    while (!expected.empty() && expected.back() == 0) {
      expected.pop_back();
    }
    check(n.getshorteneddigits() == expected, "getshorteneddigits is wrong");
  }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  resettrace();
  session(data, size).run();
  return 0;
}
