// Shared by the fuzz targets: the failures the library documents, running
// one operation so that only those may escape it, the checks that abort the
// run on a finding, the choice of the next operation, the pool of numbers a
// session works on, and the checks every number type must pass alike.
#ifndef VELDRA_FUZZ_FUZZCHECK_HPP
#define VELDRA_FUZZ_FUZZCHECK_HPP

#include "fuzzinput.hpp"
#include "support/floatmodel.hpp"
#include "support/intmodel.hpp"
#include "veldra.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

namespace veldrafuzz {

using veldratest::bigint;
using veldratest::digitvector;
using veldratest::floatstate;
using veldratest::intstate;

// Every failure an operation may report, each with its documented type and
// message below.
enum class failure {
  none,
  intbigger,        // = int64, fixedint(length, initial), float integer part,
                    // fixedint text
  sizesdiffer,      // fixedint + - * / %
  overflow,         // + - ++ -- with throwwhenover
  carryover9,       // fixedint + - with malformed digits only
  nofit,            // getasstdint
  malformed,        // getasstdint with malformed digits
  oddlength,        // fixedfloat(length), init, resize, fixedfloat text
  valtoosmall,      // fixedfloat = fixedint
  notfinite,        // fixedfloat = float
  outofint64,       // fixedfloat = float
  fractiontoobig,   // fixedfloat = float
  floatsizes,       // fixedfloat * + -
  malformeddigits,  // ++ -- / % ^ << >>, fixedfloat + -
  divisionbyzero,   // / %
  negativeexponent, // ^
  negativeshift,    // << >>
  textnotinteger,   // fixedint text: = text, (length, text), >>
  textnotdecimal,   // fixedfloat text, the same three
  textintpart,      // fixedfloat text
  textfraction,     // fixedfloat text
  unknownroundmode, // fixedfloat round
  outofstep,        // any operation reading a number written out of step
};

struct documentedfailure {
  failure id;
  const std::type_info& type;
  const char* message;
};

// The allow-list: nothing else may leave an operation.
inline const documentedfailure documented[] = {
    {failure::intbigger, typeid(std::out_of_range),
     "Input int bigger than size!"},
    {failure::sizesdiffer, typeid(std::length_error),
     "Int sizes are not equal!"},
    {failure::overflow, typeid(std::overflow_error), "Overflow occured."},
    {failure::carryover9, typeid(std::out_of_range), "Carry over 9!"},
    {failure::nofit, typeid(std::overflow_error),
     "Value does not fit in int64_t!"},
    {failure::malformed, typeid(std::overflow_error),
     "Malformed digit: value has no int64_t form!"},
    {failure::oddlength, typeid(std::runtime_error),
     "length should be able to be divided by 2!"},
    {failure::valtoosmall, typeid(std::out_of_range),
     "Val too small for fixedfloat!"},
    {failure::notfinite, typeid(std::out_of_range),
     "Float value is not finite!"},
    {failure::outofint64, typeid(std::out_of_range),
     "Integer part of float out of int64_t range!"},
    {failure::fractiontoobig, typeid(std::length_error),
     "Fraction of float too big to fit in fixedfloat!"},
    {failure::floatsizes, typeid(std::length_error), "Size is not equal!"},
    {failure::malformeddigits, typeid(std::domain_error), "Malformed digits!"},
    {failure::divisionbyzero, typeid(std::domain_error), "Division by zero!"},
    {failure::negativeexponent, typeid(std::domain_error),
     "Negative exponent!"},
    {failure::negativeshift, typeid(std::domain_error),
     "Negative shift count!"},
    {failure::textnotinteger, typeid(std::invalid_argument),
     "Text is not a decimal integer!"},
    {failure::textnotdecimal, typeid(std::invalid_argument),
     "Text is not a decimal number!"},
    {failure::textintpart, typeid(std::out_of_range),
     "Integer part of text too big to fit in fixedfloat!"},
    {failure::textfraction, typeid(std::length_error),
     "Fraction of text too big to fit in fixedfloat!"},
    {failure::unknownroundmode, typeid(std::invalid_argument),
     "Unknown rounding mode!"},
    {failure::outofstep, typeid(std::logic_error),
     "Size and digits out of step!"},
};

// A finding: say what and stop, so libFuzzer keeps the input.
[[noreturn]] inline void fail(const std::string& what) {
  std::fprintf(stderr, "veldra fuzz finding: %s\n", what.c_str());
  std::abort();
}

inline void check(bool condition, const char* what) {
  if (!condition) {
    fail(what);
  }
}

// Runs `operation`; returns the documented failure it threw, or none.  Any
// other exception, or a documented one that is not in `allowed`, is a
// finding.
template <class Operation>
failure attempt(Operation&& operation, std::initializer_list<failure> allowed) {
  try {
    operation();
    return failure::none;
  } catch (const std::exception& e) {
    for (const documentedfailure& entry : documented) {
      if (typeid(e) == entry.type &&
          std::strcmp(e.what(), entry.message) == 0) {
        if (std::find(allowed.begin(), allowed.end(), entry.id) ==
            allowed.end()) {
          fail(std::string("documented failure from the wrong operation: ") +
               e.what());
        }
        return entry.id;
      }
    }
    fail(std::string("undocumented exception ") + typeid(e).name() + ": " +
         e.what());
  } catch (...) {
    fail("exception not derived from std::exception");
  }
}

// Where faults apply, one of them (any, if several) must be reported; where
// none does, the operation must succeed.  True when it was refused.
inline bool refused(failure thrown, const std::vector<failure>& faults,
                    const char* what) {
  if (faults.empty()) {
    check(thrown == failure::none, what);
    return false;
  }
  check(std::find(faults.begin(), faults.end(), thrown) != faults.end(), what);
  return true;
}

// A const operator on two numbers, which it must leave as they were: what
// it threw, and the number it made.
template <class Number, class State> struct binaryrun {
  State x;
  State y;
  failure thrown;
  std::optional<Number> result;
};

template <class State, class Number, class Operation>
binaryrun<Number, State> runbinary(const Number& a, const Number& b,
                                   Operation&& operation,
                                   std::initializer_list<failure> allowed) {
  binaryrun<Number, State> run{State(a), State(b), failure::none, std::nullopt};
  run.thrown = attempt([&] { run.result.emplace(operation(a, b)); }, allowed);
  check(State(a) == run.x && State(b) == run.y,
        "an operator changed an operand");
  return run;
}

// One entry of a fuzz target's table of operations: how many of the
// table's total weight pick it, and what it runs on the target's session.
template <class Session> struct operation {
  int weight;
  void (*run)(Session&);
};

// Runs the operation one draw of the input picks by weight.  The order and
// weights of the table decide what every input means: change them and the
// corpus still replays, but tests other sequences.
template <class Session, std::size_t count>
void runweighted(Session& session, fuzzinput& input,
                 const operation<Session> (&table)[count]) {
  int total = 0;
  for (const operation<Session>& entry : table) {
    total += entry.weight;
  }
  int draw = input.ConsumeIntegralInRange<int>(0, total - 1);
  for (const operation<Session>& entry : table) {
    if (draw < entry.weight) {
      entry.run(session);
      return;
    }
    draw -= entry.weight;
  }
}

// The trace only grows; each input starts it afresh.
inline void resettrace() {
  VELDRA::logstream.str("");
  VELDRA::logstream.clear();
}

inline bool holds(const VELDRA::fixedint& n, const intstate& s) {
  return intstate(n) == s;
}
inline bool holds(const VELDRA::fixedfloat& n, const floatstate& s) {
  return floatstate(n) == s;
}

// The few numbers a session works on, and the input that drives it.  The
// lengths often repeat, so that binary operations see operands of equal
// length.  Session derives from it and gives step(), which runs one
// operation, and checkinvariants(n), which every number meets after each.
template <class Session, class Number, class State, std::size_t poolsize>
class pool {
public:
  void run() {
    makepool();
    while (input_.remaining_bytes() > 0) {
      static_cast<Session&>(*this).step();
      for (const Number& n : pool_) {
        Session::checkinvariants(n);
      }
    }
  }

protected:
  static constexpr std::uint64_t maxlength = 64;

  // `lengthstep`: every length of the pool is a multiple of it.
  pool(const std::uint8_t* data, std::size_t size, std::uint64_t lengthstep)
      : input_(data, size), lengthstep_(lengthstep) {}

  fuzzinput input_;
  std::vector<Number> pool_;

  std::uint64_t newlength() {
    return input_.ConsumeIntegralInRange<std::uint64_t>(0, maxlength);
  }
  std::size_t slot() {
    return input_.ConsumeIntegralInRange<std::size_t>(0, poolsize - 1);
  }
  Number& pick() { return pool_[slot()]; }

  // A const operator on two numbers of the pool.
  template <class Operation>
  binaryrun<Number, State> runbinary(Operation&& operation,
                                     std::initializer_list<failure> allowed) {
    const Number& a = pick();
    const Number& b = pick();
    return veldrafuzz::runbinary<State>(a, b, operation, allowed);
  }

private:
  std::uint64_t lengthstep_;

  void makepool() {
    pool_.reserve(poolsize);
    std::uint64_t length = lengthstep_ * (newlength() / lengthstep_);
    for (std::size_t i = 0; i < poolsize; ++i) {
      if (i > 0 && input_.ConsumeBool()) {
        length = lengthstep_ * (newlength() / lengthstep_);
      }
      pool_.emplace_back(length);
    }
  }
};

// The six comparisons of x and y, which must leave both as they were and
// agree with one another: exactly one of ==, > and < holds.
struct ordering {
  bool eq;
  bool gt;
  bool lt;
};

template <class State, class Number>
ordering compareall(const Number& x, const Number& y) {
  const State a(x);
  const State b(y);
  bool eq = false;
  bool ne = false;
  bool gt = false;
  bool lt = false;
  bool ge = false;
  bool le = false;
  attempt(
      [&] {
        eq = x == y;
        ne = x != y;
        gt = x > y;
        lt = x < y;
        ge = x >= y;
        le = x <= y;
      },
      {});
  check(holds(x, a) && holds(y, b), "a comparison changed an operand");
  check(ne == !eq && ge == (gt || eq) && le == (lt || eq) &&
            int{eq} + int{gt} + int{lt} == 1,
        "the comparisons disagree with each other");
  return {eq, gt, lt};
}

// asstring(), which must leave the number as it was and be what << prints.
template <class State, class Number> std::string printed(const Number& n) {
  const State s(n);
  std::string out;
  attempt([&] { out = n.asstring(); }, {});
  check(holds(n, s), "asstring changed the number");
  std::ostringstream stream;
  stream << n;
  check(stream.str() == out, "operator<< does not print asstring()");
  return out;
}

// getcopy, abs and flipsign.
template <class State, class Number> void checkcopies(Number& n) {
  const State s(n);
  const Number copy = n.getcopy();
  const Number absolute = n.abs();
  State positive = s;
  positive.isneg = false;
  check(holds(copy, s), "getcopy differs from its source");
  check(holds(absolute, positive), "abs is wrong");
  n.flipsign();
  State flipped = s;
  flipped.isneg = !s.isneg;
  check(holds(n, flipped), "flipsign is wrong");
}

// Well-formed digits from the input bytes, as far as they go.
inline void filldigits(fuzzinput& input, digitvector& digits) {
  const std::vector<std::uint8_t> bytes =
      input.ConsumeBytes<std::uint8_t>(digits.size());
  for (std::size_t place = 0; place < bytes.size(); ++place) {
    digits[place] = static_cast<signed char>(bytes[place] % 10);
  }
}

// Any element value, malformed ones included, at one place: the members are
// public.
inline void poke(fuzzinput& input, digitvector& digits) {
  if (digits.empty()) {
    return;
  }
  const auto place =
      input.ConsumeIntegralInRange<std::size_t>(0, digits.size() - 1);
  digits[place] = input.ConsumeIntegral<signed char>();
}

// The members of a number in step written out of step, as a caller may
// write them: the length alone or the digits alone (a fixedfloat's own
// length stays even, as text assignment expects).
inline void skew(fuzzinput& input, VELDRA::fixedint& n) {
  const auto length = input.ConsumeIntegralInRange<std::uint64_t>(0, 80);
  if (input.ConsumeBool()) {
    n.size = length == n.size ? length + 1 : length;
  } else {
    n.digits.resize(length == n.size ? length + 1 : length);
  }
}

inline void skew(fuzzinput& input, VELDRA::fixedfloat& n) {
  if (input.ConsumeBool()) {
    n.size = 2 * input.ConsumeIntegralInRange<std::uint64_t>(0, 40) + 2;
    n.size = n.size == n.digits.size ? 0 : n.size;
  } else {
    skew(input, n.digits);
  }
}

// One of `readings` on x, a copy of a number written out of step here, and
// y: refused with one of the failures `allowed` (failure::outofstep, or a
// check that comes first), neither changed.
template <class State, class Number, std::size_t count>
void readskewed(fuzzinput& input, Number x, Number y,
                void (*const (&readings)[count])(Number&, Number&),
                std::initializer_list<failure> allowed) {
  skew(input, x);
  const State a(x);
  const State b(y);
  const auto read =
      readings[input.ConsumeIntegralInRange<std::size_t>(0, count - 1)];
  check(attempt([&] { read(x, y); }, allowed) != failure::none,
        "a number out of step was not refused");
  check(State(x) == a && State(y) == b, "a refused operation changed a number");
}

// Decimal digits of |val|; 0 has one.
inline std::uint64_t digitcount(std::int64_t val) {
  std::uint64_t magnitude = val < 0 ? 0 - static_cast<std::uint64_t>(val)
                                    : static_cast<std::uint64_t>(val);
  std::uint64_t count = 1;
  while (magnitude >= 10) {
    magnitude /= 10;
    ++count;
  }
  return count;
}

inline bigint fromint64(std::int64_t val) {
  bigint out;
  const std::string text = std::to_string(val);
  mpz_set_str(out.get(), text.c_str(), 10);
  return out;
}

} // namespace veldrafuzz

#endif // VELDRA_FUZZ_FUZZCHECK_HPP
