// veldra: decimal arithmetic with fixed lengths and a built-in trace.
//
// Two value types live in the namespace VELDRA:
//
//   fixedint    a signed integer of a fixed number of decimal digits, held one
//               digit per element (least significant first), sign apart.
//                 fixedint(5, -42).asstring()          -> "-42"
//                 (fixedint(2, 99) * fixedint(2, 99))  -> 1   (wraps to 2
//                 digits)
//   fixedfloat  a fixed-point number of even length: the upper half of its
//               digits is the integer part, the lower half the fraction.
//                 fixedfloat f(8); f = 78.9f;  f.asstring()  -> "78.9"
//                 (f * g) truncates toward zero at four fraction digits
//
// Both also take exact decimal text ("19.99", "-12345678901234567890",
// "1.25e2", by construction, assignment, std::istream >> or from_chars), go
// out as text (asstring, <<, to_chars, and for fixedfloat with a fixed
// number of places), give the nearest double (asdouble) and hash for the
// unordered containers; fixedfloat divides, rounds by the usual modes and
// changes length.  veldra_fmt.hpp formats both with fmt.
//
// Every object made, resized or destroyed writes a line to the in-memory
// trace `logstream`.  Nothing reaches the disk during a normal run: when the
// process ends through std::terminate (an uncaught exception, or a direct
// call), the handler installed by the first number made appends the
// exception's type and message and writes the whole trace to
// "logs/veldra.log" under the working directory, if that directory exists.
//
// Operators take their right operand by value and return new numbers made
// with the default flags.  Failures throw standard exceptions with fixed
// messages; the library catches nothing of the caller's.  One thread only.
//
// Out of memory, an operation throws std::bad_alloc and nothing else, and
// never ends the process: no destructor lets an exception out, and a trace
// line that cannot be stored is dropped and counted (see log).  The
// operands keep the strong guarantee, left as they were, in every operation
// but fixedfloat = float, which keeps the basic one: the number holds some
// value, in step, and nothing leaks.  Operations that
// change a number in place (resize, init, ++, the assignments, the carry
// that + and - leave in the left operand) change it only once nothing can
// fail.
//
// The public members of a number must agree: fixedint size ==
// digits.size(), and for fixedfloat also size == digits.size.  Every
// operation that reads a number whose members a caller wrote out of step
// throws std::logic_error "Size and digits out of step!" before it makes or
// logs anything.  fixedfloat + - / and round first check the lengths as
// before, and keep the std::domain_error "Malformed digits!" they have
// always thrown for digits whose count is not size.  The assignments, init,
// the constructors, copies, moves and the sign-only flipsign and updsign
// take such a number as it is; assigning a value (= int64_t, = text, >>,
// = float, init) brings it back in step.
#ifndef VELDRA_VELDRA_HPP
#define VELDRA_VELDRA_HPP

// VELDRA_EXPORT marks what a shared veldra exports: this header, and nothing
// else.
#include "veldra_export.hpp"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace VELDRA {

// ---------------------------------------------------------------------------
// The trace and the crash report
// ---------------------------------------------------------------------------

using terminate_handler = void (*)();

// The handler that was installed when setup() ran; never logdumper itself.
VELDRA_EXPORT extern terminate_handler oldtermfunc;
// The whole trace of the process, oldest line first.  It only grows, unless
// setlogcapacity bounds it or a caller empties it (logstream.str("")).
VELDRA_EXPORT extern std::stringstream logstream;
// True once setup() has been entered.
VELDRA_EXPORT extern bool init;

// Appends "VELDRA [<ctime text without its newline>]: <target>\n".
// Works before setup() and never calls it.  Never throws: a line the trace
// cannot take for want of memory is dropped whole and counted, and the next
// line it can take is preceded by "Trace lines lost, out of memory: <n>".
VELDRA_EXPORT void log(std::string target);

// Bounds the trace to `bytes` characters; 0, the default, leaves it
// unbounded.  When a line would take the trace past `bytes`, its oldest
// whole lines are dropped first, so that it holds at most `bytes` and, as
// far as whole lines allow, at least a quarter of them (amortised O(1) a
// line).  A line longer than `bytes` is dropped itself.  The crash report
// then begins with "Earlier trace lines dropped, capacity reached: <n>".
// Takes effect from the next line; logs nothing.
//   setlogcapacity(1 << 20);  // at most 1 MiB of trace, about 17000 lines
VELDRA_EXPORT void setlogcapacity(std::size_t bytes);

// Once per process: logs four start-up lines and installs logdumper as the
// terminate handler, keeping the previous one in oldtermfunc.  Every
// constructor of fixedint that takes a length calls it first.
VELDRA_EXPORT void setup();

// The terminate handler: logs six closing lines naming the exception in
// flight ("UNKNOWN" when there is none), writes the trace to
// "logs/veldra.log" (replacing it) and hands over to oldtermfunc.  It never
// throws, never recurses and needs no memory: out of memory, the closing
// lines the trace cannot take follow it in the report.  When a capacity has
// dropped lines, the report begins with "Earlier trace lines dropped,
// capacity reached: <n>".
VELDRA_EXPORT void logdumper();

class VELDRA_EXPORT fixedfloat;

// ---------------------------------------------------------------------------
// fixedint
// ---------------------------------------------------------------------------
//
// A signed decimal integer of `size` digits.  digits[0] is the units digit.
// The value is the magnitude, negated when `isneg`; a negative zero exists,
// renders as "-0" and differs from zero under ==.  Every operation keeps
// digits.size() == size; a caller writing the public members must too (see
// the top of this header for what operations do otherwise).
//
//   fixedint(5, 123).asstring()     -> "123"   digits 3,2,1,0,0
//   fixedint(3, 1234)               -> throws std::out_of_range
//   fixedint(1, 7) + fixedint(1, 5) -> 2, and the left operand then holds 1
//                                      (the carry), unless throwwhenover
class VELDRA_EXPORT fixedint {
public:
  bool isneg = false;
  std::uint64_t size = 0;
  // False: assignment from a machine integer keeps the sign, and + and *
  // treat this number (as the left operand) as unsigned.
  bool numsigned = true;
  // True: an overflowing + or - throws std::overflow_error instead of
  // wrapping.
  bool throwwhenover = false;
  std::vector<signed char> digits;

  // `length` zero digits.  fixedint(0) is a number with no digits.
  explicit fixedint(std::uint64_t length);
  // `length` digits holding `initial`; std::out_of_range "Input int bigger
  // than size!" when it has more digits than `length`.
  fixedint(std::uint64_t length, std::int64_t initial);
  // `length` digits holding the decimal text `text`, read as by the text
  // assignment below.  Logs the three lines of fixedint(length); a refused
  // text then fails the construction (no destruction line), as a value too
  // long does above.
  //   fixedint(20, "-12345678901234567890").asstring()
  //                             -> "-12345678901234567890"
  //   fixedint(3, "000123")     -> 123   (leading zeros do not count)
  //   fixedint(3, "1234")       -> throws std::out_of_range
  fixedint(std::uint64_t length, std::string_view text);
  // Copies and moves log nothing; a moved-from number has length 0.
  fixedint(const fixedint& other);
  fixedint(fixedint&& other) noexcept;
  fixedint& operator=(const fixedint& other);
  fixedint& operator=(fixedint&& other) noexcept;
  ~fixedint();

  // Changes the length: growing adds zeros at the top, shrinking drops the
  // top places (the magnitude modulo 10^length).  Sign and flags stay.
  void resize(std::uint64_t length);
  // Magnitude times ten, the top digit dropped.  No-op at length 0.
  void wholeshiftl();
  // Magnitude divided by ten, the sign kept (-7 becomes -0).  No-op at
  // length 0.
  void wholeshiftr();

  // Stores `val` without changing the length; std::out_of_range "Input int
  // bigger than size!" (number unchanged) when it does not fit.  With
  // numsigned false the sign of `val` is dropped and isneg kept.
  fixedint& operator=(std::int64_t val);
  // Stores a decimal text, the length unchanged: an optional '+' or '-',
  // one or more ASCII digits, then optionally an exponent: 'e' or 'E', an
  // optional sign and one or more digits ("12e3", "120E-1", "1e+3").
  // Nothing else: no spaces, separators or point.  "-0" gives negative zero,
  // as asstring writes it.  Makes no number and logs nothing.  Refused, the
  // number unchanged: any other text ("" and "1e" included) or a value that
  // is no integer std::invalid_argument "Text is not a decimal integer!";
  // more significant digits than `size` (leading zeros do not count, so "0"
  // fits even length 0) std::out_of_range "Input int bigger than size!".  The
  // exponent is weighed without building digits, so one of any size is
  // decided at once.  With numsigned false the sign is dropped and isneg
  // kept, as for int64_t.  asstring() of a number of length 1 or more reads
  // back equal.
  //   n = "-007"  -> -7          n = "120e-1"  -> 12     n = "0e99999"  -> 0
  //   n = "12e-1", " 1", "+", "1.0", "1e"  -> std::invalid_argument
  //   fixedint(3, "1e3"), fixedint(3, "1e999999999999999999")
  //                                        -> std::out_of_range
  fixedint& operator=(std::string_view text);
  // The integer part of `val` as a number of length val.size.  The sign
  // stays behind: a negative fixedfloat gives its magnitude.
  fixedint& operator=(const fixedfloat& val);

  // Decimal text: "-" when negative, no leading zeros, "0" for zero, ""
  // for length 0.  An element outside 0..9 prints as its decimal value.
  std::string asstring() const;
  // The value as int64_t; std::overflow_error when it does not fit.
  std::int64_t getasstdint() const;
  // The nearest double to the value (correctly rounded, ties to even):
  // infinity of the number's sign beyond the double range, -0.0 for -0.
  // std::domain_error "Malformed digits!" for an element outside 0..9.
  // Makes no number and logs nothing.
  //   fixedint(20, "12345678901234567891").asdouble()
  //                                      -> 12345678901234567168.0
  double asdouble() const;
  // The digits without leading zeros, least significant first; empty for
  // zero.
  std::vector<signed char> getshorteneddigits() const;
  // Logged copies (they write the creation lines) carrying the flags over.
  fixedint getcopy() const;
  fixedint abs() const;
  // Inverts the sign, zero included.
  void flipsign();

  // Equal digit vectors (so equal lengths) and equal signs.
  bool operator==(fixedint x) const;
  bool operator!=(fixedint x) const;
  // By value across lengths; the sign decides first, so 0 > -0.
  bool operator>(fixedint x) const;
  // !(*this > x) && *this != x, so true both ways for one value held at
  // two lengths.
  bool operator<(fixedint x) const;
  // *this > x || *this == x and *this < x || *this == x, run as written.
  //   fixedint(2, 5) >= fixedint(2, 5)  -> true
  //   fixedint(2, 5) <= fixedint(4, 5)  -> true   (< holds across lengths)
  bool operator>=(fixedint x) const;
  bool operator<=(fixedint x) const;

  // Add or subtract one in place and return this number; the postfix forms
  // do the same (they return the number itself, not its old value).  Signed
  // (numsigned true): the value moves by one, -0 counting as 0: -1 ++ gives
  // 0, 0 -- gives -1.  Unsigned: the magnitude moves by one and the sign
  // stays, as + treats this number.  Either way a zero result is never
  // negative.
  // When the magnitude would leave 0 .. 10^size - 1: std::overflow_error
  // "Overflow occured." with the number unchanged when throwwhenover, or
  // else it wraps within the length (999 ++ gives 0; unsigned 0 -- gives
  // 999).  std::domain_error "Malformed digits!" (number unchanged) when the
  // place the step stops at holds no digit 0..9.  Nothing is logged; O(1)
  // unless a carry or borrow runs far.
  //   fixedint n(3, 41); ++n;  n.asstring()  -> "42"
  fixedint& operator++();
  fixedint& operator++(int);
  fixedint& operator--();
  fixedint& operator--(int);

  // Sum and difference of numbers of equal length (std::length_error "Int
  // sizes are not equal!" otherwise).  On overflow: std::overflow_error
  // "Overflow occured." with this number unchanged when throwwhenover, or
  // else the sum modulo 10^size, this number receiving the carry.
  fixedint operator+(fixedint x);
  fixedint operator-(fixedint x);
  // Product modulo 10^size of numbers of equal length; never throws on
  // overflow.  Only the low size places are computed: O(n^2) in the length
  // up to about 1200 digits, then as Karatsuba's n^1.58, from about 8500
  // digits as Toom-3's n^1.46, and from about 13000 digits O(n log n) by a
  // transform.  An element outside 0..9 in either takes the place-by-place
  // loop, O(n m) in their significant lengths.
  //   fixedint(3, 25) * fixedint(3, 40)   -> 0     (1000 wrapped to 3 digits)
  fixedint operator*(fixedint x) const;

  // Quotient truncated toward zero and the remainder, which takes this
  // number's sign, so that a == (a / x) * x + a % x.  Equal lengths
  // (std::length_error "Int sizes are not equal!"); std::domain_error
  // "Division by zero!" for zero and -0, "Malformed digits!" for an element
  // outside 0..9.  A zero result is never negative; with numsigned false
  // both results are the magnitudes'.  O(n m) in the operands' lengths for
  // a divisor of up to about 200 digits; above, it grows as a product does.
  //   fixedint(3, -7) / fixedint(3, 2)  -> -3
  //   fixedint(3, -7) % fixedint(3, 2)  -> -1
  fixedint operator/(fixedint x) const;
  fixedint operator%(fixedint x) const;
  // This number to the power x, for x of any length, modulo 10^size as *
  // wraps.  x ^ 0 is 1 (0 ^ 0 too).  Negative when this number is negative,
  // x odd and the result not zero (with numsigned false never).
  // std::domain_error "Negative exponent!" for x < 0 (-0 is 0), "Malformed
  // digits!" for an element outside 0..9 in either.  The cost grows with the
  // number of x's digits, not with its value.  ^ binds more loosely than ==:
  // parenthesize.
  //   fixedint(4, -3) ^ fixedint(1, 3)   -> -27
  //   fixedint(2, 7) ^ fixedint(1, 3)    -> 43   (343 wrapped to 2 digits)
  fixedint operator^(fixedint x) const;
  // This number shifted by x decimal places, x of any length: << multiplies
  // the magnitude by 10^x dropping the top places, >> divides it dropping
  // the low ones; a count at or above the length gives zero.  The sign is
  // kept, as wholeshiftr keeps it (-7 >> 1 is -0).  std::domain_error
  // "Negative shift count!" for x < 0 (-0 is 0), "Malformed digits!" for an
  // element of x outside 0..9.
  //   fixedint(5, 123) << fixedint(1, 2)  -> 12300
  //   fixedint(5, 123) >> fixedint(1, 2)  -> 1
  fixedint operator<<(fixedint x) const;
  fixedint operator>>(fixedint x) const;
};

// Writes asstring(): std::cout << fixedint(4, -42) prints -42.
VELDRA_EXPORT std::ostream& operator<<(std::ostream& out,
                                       const fixedint& number);
// Reads one whitespace-delimited token as text for operator=.  A refused
// token sets failbit and leaves the number as it was, as for built-in
// numbers (std::ios_base::failure only when the stream's exception mask asks
// for it).  Logs nothing.
//   std::istringstream in("42 4x");  in >> n  -> 42;  in >> n  -> fails, 42
VELDRA_EXPORT std::istream& operator>>(std::istream& in, fixedint& number);

// Reads the longest prefix of [first, last) that the text assignment's
// grammar matches (an exponent only when digits follow its 'e'), and stores
// it as that assignment does, the length and flags kept.  On success ptr is
// just past the prefix and ec is std::errc{}.  Otherwise the number is
// unchanged: std::errc::invalid_argument with ptr == first when no prefix
// matches or its value is no integer; std::errc::result_out_of_range with
// ptr past the prefix when it has more significant digits than `size`.
// Never throws but std::bad_alloc; makes no number and logs nothing.
//   "-42 apples"     -> -42, ptr at " apples"
//   "12.5"           -> 12, ptr at ".5"
//   "1e"             -> 1, ptr at "e"
//   "e5", "+", ""    -> invalid_argument, ptr == first
//   "12e-1"          -> invalid_argument, ptr == first
//   "1234" (size 3)  -> result_out_of_range, ptr at the end
VELDRA_EXPORT std::from_chars_result
from_chars(const char* first, const char* last, fixedint& value);
// Writes asstring() into [first, last): ptr past the text, ec std::errc{};
// std::errc::value_too_large with ptr == last, nothing written, when it does
// not fit.  Allocates nothing, makes no number, logs nothing; members out of
// step are refused as everywhere (std::logic_error), before anything is
// written.
//   char b[4];  to_chars(b, b + 4, fixedint(5, -42))  -> "-42", ptr b + 3
//               to_chars(b, b + 2, fixedint(5, -42))  -> value_too_large
VELDRA_EXPORT std::to_chars_result to_chars(char* first, char* last,
                                            const fixedint& value);

// How round() treats the digits it drops (the rounding modes of the decimal
// arithmetic standard), shown rounding to whole numbers:
//              2.5   2.6  -2.5  -2.4   3.5
//   down        2     2    -2    -2     3    toward zero
//   up          3     3    -3    -3     4    away from zero
//   halfup      3     3    -3    -2     4    nearest; a half away from zero
//   halfdown    2     3    -2    -2     3    nearest; a half toward zero
//   halfeven    2     3    -2    -2     4    nearest; a half to an even digit
//   ceiling     3     3    -2    -2     4    toward +infinity
//   floor       2     2    -3    -3     3    toward -infinity
enum class roundmode { down, up, halfup, halfdown, halfeven, ceiling, floor };

// ---------------------------------------------------------------------------
// fixedfloat
// ---------------------------------------------------------------------------
//
// A fixed-point number of `size` digits (even), h = size / 2 of them before
// the point and h after.  `digits` holds the magnitude times 10^h and is
// never negative itself; the sign is `isneg`.
//
//   fixedfloat f(8); f = 0.123f;  f.asstring()   -> "0.123"
//   f = 3.14159f                                 -> throws std::length_error
//                                                   (needs 8 fraction digits)
//   fixedfloat(7)                                -> throws std::runtime_error
class VELDRA_EXPORT fixedfloat {
public:
  fixedint digits;
  std::uint64_t size = 0;
  bool floatsigned = true;
  bool isneg = false;

  // Zero of `length` digits; std::runtime_error "length should be able to
  // be divided by 2!" for an odd length.
  explicit fixedfloat(std::uint64_t length);
  // fixedfloat(length), then the assignment from `val` below; a value that
  // assignment refuses fails the construction (no "Deleting fixedfloat
  // object!" follows).
  //   fixedfloat(8, -1.5f).asstring()  -> "-1.5"
  fixedfloat(std::uint64_t length, float val);
  // fixedfloat(length), then the text assignment below; a refused text
  // fails the construction as a refused float does.
  //   fixedfloat(8, "19.99").asstring()  -> "19.99"
  fixedfloat(std::uint64_t length, std::string_view text);
  fixedfloat(const fixedfloat& other);
  fixedfloat& operator=(const fixedfloat& other) = default;
  ~fixedfloat();

  // Makes this number zero with `length` digits.
  void init(std::uint64_t length);
  // A new even length keeping the value where it fits: fraction digits
  // beyond the new h are truncated toward zero, integer digits beyond it
  // dropped, and a zero result is not negative.  In place, through
  // digits.resize: logs "Resize requested in fixedint.", "Resizing Digits
  // to: " + length, "Done.".  std::runtime_error "length should be able to
  // be divided by 2!" for an odd length, nothing logged, number unchanged.
  //   fixedfloat f(8, "12.3456");  f.resize(4)  -> 12.34
  //   f.resize(2)  -> 2.3;  then f.resize(8)    -> 2.3
  void resize(std::uint64_t length);

  // New numbers of length `size`: the integer digits (magnitude) in places
  // 0..h-1, and the fraction digits read as an integer (78.9 -> 9000).
  fixedint getintpart() const;
  fixedint getfractionpart() const;
  // Moves the sign of `digits` into `isneg`.
  void updsign();

  // The integer `val` with a zero fraction, its sign included; only its
  // lowest h digits are kept.  std::out_of_range "Val too small for
  // fixedfloat!" when val.size < h.  Linear in the length (up to quadratic
  // while elements outside 0..9 remain), its trace apart: that of h
  // products by ten, 11 lines each.
  fixedfloat& operator=(fixedint val);
  // The digits of the single-precision value itself: the fraction is scaled
  // by ten until it is integral within 0.001 (0.123f -> 0.123,
  // 0.0005f -> 0.0).  Throws std::out_of_range (number unchanged) for a
  // value that is not finite, whose integer part is outside int64_t, or has
  // more than h digits; std::length_error "Fraction of float too big to fit
  // in fixedfloat!" (integer part kept) when the fraction needs more than h
  // places.  Out of memory, the basic guarantee: this number may hold the
  // integer part alone.
  fixedfloat& operator=(float val);
  // The exact value of a decimal text: an optional '+' or '-', digits, and
  // optionally '.' and more digits, at least one digit in all ("78.9",
  // "-0.05", ".5", "5.", "5"; not "."), then optionally an exponent: 'e' or
  // 'E', an optional sign and one or more digits ("1.25e2", "-4E-2",
  // "5.e+1").  Nothing else.  Leading zeros of the integer part and trailing
  // zeros of the fraction do not count against h ("00012.50" fits h = 2,
  // and so does "1250e-2"); "-0.0" gives negative zero.  Makes no number and
  // logs nothing; the length and the flags of `digits` stay.  Refused, the
  // number unchanged (checked in this order): any other text ("1e", "e5",
  // "1e+" included) std::invalid_argument "Text is not a decimal number!";
  // more than h integer digits std::out_of_range "Integer part of text too
  // big to fit in fixedfloat!"; more than h fraction digits
  // std::length_error "Fraction of text too big to fit in fixedfloat!" (the
  // float path's types).  The exponent is weighed without building digits:
  // "1e999999999999999999" and "1e-99999999999" are refused at once,
  // "0e99999999999" is zero.  asstring() of a number reads back equal.
  //   fixedfloat(8, "1.25e2")  -> 125.0     fixedfloat(8, "-4E-2")  -> -0.04
  fixedfloat& operator=(std::string_view text);

  // "-" when negative, the integer digits ("0" at least), ".", the fraction
  // without trailing zeros ("0" at least): "78.9", "-0.05", "5.0", "-0.0".
  std::string asstring() const;
  // The text of to_chars with `places` below: exactly `places` fraction
  // digits, rounded by `mode`.  Throws as to_chars does; std::length_error
  // from std::string for more places than a string holds.  Makes no number
  // and logs nothing.
  //   fixedfloat(8, "19.5").asstring(2, roundmode::halfeven)    -> "19.50"
  //   fixedfloat(8, "21.4892").asstring(1, roundmode::halfeven) -> "21.5"
  std::string asstring(std::uint64_t places, roundmode mode) const;
  // The nearest double to the value (correctly rounded, ties to even):
  // infinity of the number's sign beyond the double range, -0.0 for a
  // negative zero.  std::domain_error "Malformed digits!" for an element
  // outside 0..9.  Makes no number and logs nothing.
  //   fixedfloat(8, "0.1").asdouble()  -> 0.1 (the double nearest 1/10)
  double asdouble() const;

  // Logged copies: made as fixedfloat(size) (its creation lines), then
  // taking this number's digits, sign and flags (those of `digits` too).
  //   fixedfloat(8, -2.5f).abs().asstring()  -> "2.5"
  fixedfloat getcopy() const;
  fixedfloat abs() const;
  // Inverts isneg, zero included.
  void flipsign();

  // By value across lengths, the fraction places aligned; zero equals -0.
  // floatsigned is not consulted.
  //   fixedfloat(4, 1.5f) == fixedfloat(8, 1.5f)  -> true
  //   fixedfloat(8, -0.5f) < fixedfloat(4, 0.0f)  -> true
  bool operator==(fixedfloat x) const;
  bool operator!=(fixedfloat x) const;
  bool operator>(fixedfloat x) const;
  bool operator<(fixedfloat x) const;
  bool operator>=(fixedfloat x) const;
  bool operator<=(fixedfloat x) const;

  // The product truncated toward zero at h fraction digits, the integer
  // digits above h dropped.  std::length_error "Size is not equal!" for
  // different lengths.  Costs what fixedint * costs at 1.5 times the
  // length: the low h + size places of the digits' product.
  fixedfloat operator*(fixedfloat x) const;
  // The quotient truncated toward zero at h fraction digits, integer digits
  // above h dropped, as * does; negative when the signs differ, floatsigned
  // holds and the quotient is not zero.  Logs only the result's creation
  // lines (those of fixedfloat(size)).  Before anything is made:
  // std::length_error "Size is not equal!" for different lengths,
  // std::domain_error "Malformed digits!" for an element outside 0..9 and
  // "Division by zero!" for zero or -0.
  //   fixedfloat(8, "1") / fixedfloat(8, "3")     -> 0.3333
  //   fixedfloat(8, "-7.5") / fixedfloat(8, "2")  -> -3.75
  //   fixedfloat(4, "50") / fixedfloat(4, "0.5")  -> 0.0   (100 wrapped)
  fixedfloat operator/(fixedfloat x) const;
  // This number with the fraction beyond `places` digits rounded away by
  // `mode`, as a new number of the same length made by fixedfloat(size),
  // whose creation lines are the whole trace.  A carry may reach the
  // integer part; leaving the length, it wraps as + does
  // (std::overflow_error "Overflow occured." when digits.throwwhenover).
  // places >= h gives an equal copy.  A zero result is not negative.
  // std::invalid_argument "Unknown rounding mode!" for a value outside
  // roundmode, std::domain_error "Malformed digits!" for an element outside
  // 0..9, before anything is made.
  //   fixedfloat(8, "2.345").round(2, roundmode::halfeven)  -> 2.34
  //   fixedfloat(8, "-2.345").round(2, roundmode::halfup)   -> -2.35
  //   fixedfloat(8, "-2.341").round(2, roundmode::floor)    -> -2.35
  //   fixedfloat(8, "9999.5").round(0, roundmode::halfup)   -> 0.0 (wrapped)
  fixedfloat round(std::uint64_t places, roundmode mode) const;
  // The exact signed sum and difference of numbers of equal length
  // (std::length_error "Size is not equal!" otherwise).  Integer digits
  // above h are dropped, as * drops them, unless this number's
  // digits.throwwhenover holds: then std::overflow_error "Overflow
  // occured.".  A zero result is not negative; floatsigned is not
  // consulted.  std::domain_error "Malformed digits!" for an element
  // outside 0..9.
  //   fixedfloat(8, 78.9f) + fixedfloat(8, -0.123f)  -> 78.777
  //   fixedfloat(4, 60.5f) + fixedfloat(4, 50.5f)    -> 11.0 (111 wrapped)
  fixedfloat operator+(fixedfloat x) const;
  fixedfloat operator-(fixedfloat x) const;
};

// Writes asstring() (which makes and logs its scratch numbers):
// std::cout << fixedfloat(8, 0.5f) prints 0.5.
VELDRA_EXPORT std::ostream& operator<<(std::ostream& out,
                                       const fixedfloat& number);
// Reads one whitespace-delimited token as text for operator=, as the
// fixedint form does: a refused token sets failbit, the number unchanged.
//   std::istringstream("19.99") >> f  -> 19.99
VELDRA_EXPORT std::istream& operator>>(std::istream& in, fixedfloat& number);

// As the fixedint form, with the fixedfloat text grammar; result_out_of_range
// when the integer part or the fraction has more than h digits.
//   "19.99 EUR"  -> 19.99, ptr at " EUR"     "1.5e"  -> 1.5, ptr at "e"
//   "0.001" at length 4 -> result_out_of_range, ptr at the end
VELDRA_EXPORT std::from_chars_result
from_chars(const char* first, const char* last, fixedfloat& value);
// Writes asstring(), as the fixedint form does.
//   fixedfloat(8, "-0.05")  -> "-0.05"       fixedfloat(0)  -> ".0"
VELDRA_EXPORT std::to_chars_result to_chars(char* first, char* last,
                                            const fixedfloat& value);
// Writes the value with exactly `places` fraction digits: rounded by `mode`
// as round() rounds, or padded with zeros beyond the number's own; no point
// when `places` is 0; "-" only before a result that is not zero.  Unlike
// round(), a carry is not cut to the length: the text holds the rounded
// value.  Before anything is written, as round() checks them:
// std::invalid_argument "Unknown rounding mode!" for a value outside
// roundmode, std::domain_error "Malformed digits!" for an element outside
// 0..9 or digits whose length is not `size`, and std::logic_error for other
// members out of step.  value_too_large and the rest
// as above; allocates nothing and logs nothing.
//   fixedfloat(8, "21.4892"), 2, halfeven  -> "21.49"
//   fixedfloat(8, "19.5"), 3, down         -> "19.500"
//   fixedfloat(8, "-2.5"), 0, halfeven     -> "-2"
//   fixedfloat(8, "-0.004"), 2, halfup     -> "0.00"
//   fixedfloat(8, "9999.5"), 0, halfup     -> "10000"  (round gives 0.0)
VELDRA_EXPORT std::to_chars_result to_chars(char* first, char* last,
                                            const fixedfloat& value,
                                            std::uint64_t places,
                                            roundmode mode);

} // namespace VELDRA

// Hashes for the unordered containers, consistent with ==.  They make no
// number and log nothing.
namespace std {

// The digits, their count included, and the sign: numbers equal under ==
// hash alike, while 0 and -0, or one value at two lengths, need not.
template <> struct VELDRA_EXPORT hash<VELDRA::fixedint> {
  std::size_t operator()(const VELDRA::fixedint& number) const noexcept;
};

// By value, as == compares: one value at any length hashes alike, and so
// do 0 and -0.  floatsigned and digits.isneg do not count.
//   hash(fixedfloat(4, "1.5")) == hash(fixedfloat(8, "1.50"))  -> true
template <> struct VELDRA_EXPORT hash<VELDRA::fixedfloat> {
  std::size_t operator()(const VELDRA::fixedfloat& number) const noexcept;
};

} // namespace std

#endif // VELDRA_VELDRA_HPP
