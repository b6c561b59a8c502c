// Every exception message the library throws, in one place.  Internal: not
// installed.  Callers and crash reports match these texts exactly, so they
// never change; the header veldra.hpp says which operation throws which.
#ifndef VELDRA_MESSAGES_HPP
#define VELDRA_MESSAGES_HPP

namespace VELDRA {
namespace detail {
namespace message {

// Lengths.
constexpr const char* intsizes = "Int sizes are not equal!";
constexpr const char* floatsizes = "Size is not equal!";
constexpr const char* oddlength = "length should be able to be divided by 2!";
constexpr const char* valtoosmall = "Val too small for fixedfloat!";

// Values that do not fit.
constexpr const char* intbigger = "Input int bigger than size!";
constexpr const char* overflow = "Overflow occured.";
constexpr const char* carryover = "Carry over 9!";
constexpr const char* notint64 = "Value does not fit in int64_t!";
constexpr const char* malformedint64 =
    "Malformed digit: value has no int64_t form!";

// Single-precision input.
constexpr const char* floatnotfinite = "Float value is not finite!";
constexpr const char* floatintpart =
    "Integer part of float out of int64_t range!";
constexpr const char* floatfraction =
    "Fraction of float too big to fit in fixedfloat!";

// Decimal text.
constexpr const char* textnotinteger = "Text is not a decimal integer!";
constexpr const char* textnotdecimal = "Text is not a decimal number!";
constexpr const char* textintpart =
    "Integer part of text too big to fit in fixedfloat!";
constexpr const char* textfraction =
    "Fraction of text too big to fit in fixedfloat!";

// Operands outside an operation's domain.
constexpr const char* malformed = "Malformed digits!";
constexpr const char* divisionbyzero = "Division by zero!";
constexpr const char* negativeexponent = "Negative exponent!";
constexpr const char* negativeshift = "Negative shift count!";
constexpr const char* unknownroundmode = "Unknown rounding mode!";

// Public members written out of step with each other.
constexpr const char* outofstep = "Size and digits out of step!";

} // namespace message
} // namespace detail
} // namespace VELDRA

#endif // VELDRA_MESSAGES_HPP
