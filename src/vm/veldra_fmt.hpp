// fmt formatters for veldra's numbers.  Header only, installed beside
// veldra.hpp: a program that includes it links fmt itself (fmt 9 or later);
// the veldra library does not depend on fmt.
//
//   fmt::format("{}", fixedfloat(8, "21.4892"))          -> "21.4892"
//   fmt::format("{:.2f}", fixedfloat(8, "21.4892"))      -> "21.49"
//   fmt::format("[{:>8.1f}]", fixedfloat(8, "21.4892"))  -> "[    21.5]"
//   fmt::format("{:+09.2f}", fixedfloat(8, "-1.005"))    -> "-00001.00"
//   fmt::format("{:*^7}", fixedint(4, -42))              -> "**-42**"
//
// The format options are fmt's for numbers: [[fill]align][sign]['0'][width]
// ['.' precision][type], the width and the precision also as arguments
// ("{:{}.{}f}").  With no alignment a number goes to the right; '0' pads
// with zeros after the sign; the sign '+' or ' ' marks a number that is not
// negative.  `{}` writes asstring(); a precision, which takes the type 'f',
// writes exactly that many places, rounded half to even as by
// to_chars(first, last, value, places, roundmode::halfeven).  fixedint takes
// the type 'd' or none and no precision.  Anything else is an
// fmt::format_error.
//
// The text comes from to_chars: formatting makes no number and logs nothing
// (unlike <<, whose asstring() logs its scratch numbers).  A precision on a
// number with malformed digits throws std::domain_error "Malformed digits!".
#ifndef VELDRA_VELDRA_FMT_HPP
#define VELDRA_VELDRA_FMT_HPP

#include "veldra.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <type_traits>

namespace VELDRA {
namespace fmtsupport {

// Parsed format options.  An argument index, where one was given for the width
// or the precision, stands in for the value until format() looks it up.
struct numberoptions {
  char fill[4] = {' '};
  int filllength = 1;
  char align = '\0'; // '<', '>', '^'; '=' pads with zeros after the sign
  char sign = '-';
  int width = 0;
  int widthargument = -1;
  int precision = -1;
  int precisionargument = -1;
  char type = '\0';
};

// The bytes of the UTF-8 code point that `lead` begins: fmt takes any one
// code point as the fill.
constexpr int codepointlength(char lead) {
  const auto byte = static_cast<unsigned char>(lead);
  return byte < 0xc0 ? 1 : byte < 0xe0 ? 2 : byte < 0xf0 ? 3 : 4;
}

constexpr bool isalignment(char c) { return c == '<' || c == '>' || c == '^'; }

// A width or a precision at `it`: digits, or an argument in braces ("{}" or
// "{2}"); `value` and `argument` unchanged when there is neither.
template <class ParseContext, class Iterator>
constexpr Iterator parsecount(ParseContext& ctx, Iterator it, Iterator end,
                              int& value, int& argument) {
  if (it != end && *it >= '0' && *it <= '9') {
    value = 0;
    for (; it != end && *it >= '0' && *it <= '9'; ++it) {
      if (value > (INT_MAX - (*it - '0')) / 10) {
        throw fmt::format_error("number is too big");
      }
      value = value * 10 + (*it - '0');
    }
    return it;
  }
  if (it == end || *it != '{') {
    return it;
  }
  ++it;
  if (it != end && *it == '}') {
    argument = ctx.next_arg_id();
    return ++it;
  }
  int id = -1;
  int none = -1;
  it = parsecount(ctx, it, end, id, none);
  if (id < 0 || it == end || *it != '}') {
    throw fmt::format_error("invalid format string");
  }
  ctx.check_arg_id(id);
  argument = id;
  return ++it;
}

template <class ParseContext>
constexpr auto parseoptions(ParseContext& ctx, numberoptions& options,
                            bool fixedpoint) -> decltype(ctx.begin()) {
  auto it = ctx.begin();
  const auto end = ctx.end();
  const int lead = it != end ? codepointlength(*it) : 0;
  if (it != end && end - it > lead && isalignment(it[lead])) {
    if (*it == '{' || *it == '}') {
      throw fmt::format_error("invalid fill character");
    }
    std::copy(it, it + lead, options.fill);
    options.filllength = lead;
    options.align = it[lead];
    it += lead + 1;
  } else if (it != end && isalignment(*it)) {
    options.align = *it++;
  }
  if (it != end && (*it == '+' || *it == '-' || *it == ' ')) {
    options.sign = *it++;
  }
  if (it != end && *it == '0') {
    ++it;
    // As for fmt's numbers: an alignment given wins over the zeros.
    if (options.align == '\0') {
      options.align = '=';
      options.fill[0] = '0';
      options.filllength = 1;
    }
  }
  it = parsecount(ctx, it, end, options.width, options.widthargument);
  if (it != end && *it == '.') {
    it = parsecount(ctx, it + 1, end, options.precision,
                    options.precisionargument);
    if (options.precision < 0 && options.precisionargument < 0) {
      throw fmt::format_error("missing precision specifier");
    }
  }
  if (it != end && *it != '}') {
    options.type = *it++;
  }
  if (it != end && *it != '}') {
    throw fmt::format_error("invalid format specifier");
  }
  const bool precise = options.precision >= 0 || options.precisionargument >= 0;
  const bool valid =
      fixedpoint ? (options.type == '\0' && !precise) || (options.type == 'f')
                 : (options.type == '\0' || options.type == 'd') && !precise;
  if (!valid) {
    throw fmt::format_error("invalid format specifier for a veldra number");
  }
  return it;
}

// The value of a width or precision argument: a non-negative integer.
struct countof {
  template <class T> int operator()(T value) const {
    if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                  !std::is_same_v<T, char>) {
      if (value < 0 || static_cast<unsigned long long>(value) > INT_MAX) {
        throw fmt::format_error("width or precision out of range");
      }
      return static_cast<int>(value);
    } else {
      throw fmt::format_error("width or precision is not an integer");
    }
  }
};

template <class FormatContext>
int resolved(FormatContext& ctx, int value, int argument) {
  return argument < 0 ? value
                      : fmt::visit_format_arg(countof{}, ctx.arg(argument));
}

// What `write(first, last)`, a to_chars form, writes, in a buffer grown
// until it fits.
template <class Write> void textinto(fmt::memory_buffer& text, Write write) {
  text.resize(text.capacity());
  for (;;) {
    const std::to_chars_result written =
        write(text.data(), text.data() + text.size());
    if (written.ec == std::errc{}) {
      text.resize(static_cast<std::size_t>(written.ptr - text.data()));
      return;
    }
    text.resize(2 * text.size());
  }
}

// `text`, its sign as the options ask, padded to the width.
template <class Out>
Out writepadded(Out out, const fmt::memory_buffer& text,
                const numberoptions& options, int width) {
  const bool negative = text.size() > 0 && text[0] == '-';
  const char* digits = text.data() + (negative ? 1 : 0);
  const std::size_t digitcount = text.size() - (negative ? 1 : 0);
  const char sign = negative ? '-' : options.sign == '-' ? '\0' : options.sign;
  const std::size_t length = digitcount + (sign != '\0' ? 1 : 0);
  const auto wanted = static_cast<std::size_t>(width);
  const std::size_t padding = wanted > length ? wanted - length : 0;
  std::size_t before = padding;
  if (options.align == '<') {
    before = 0;
  } else if (options.align == '^') {
    before = padding / 2;
  }
  const auto pad = [&options](Out to, std::size_t count) {
    for (; count > 0; --count) {
      to = std::copy(options.fill, options.fill + options.filllength, to);
    }
    return to;
  };
  if (options.align != '=') {
    out = pad(out, before);
  }
  if (sign != '\0') {
    *out++ = sign;
  }
  if (options.align == '=') {
    out = pad(out, before);
  }
  out = std::copy(digits, digits + digitcount, out);
  return pad(out, padding - before);
}

// The formatter of both classes; `Number` picks the grammar of its options and
// how its text is written.
template <class Number> class numberformatter {
public:
  template <class ParseContext>
  constexpr auto parse(ParseContext& ctx) -> decltype(ctx.begin()) {
    return parseoptions(ctx, options_, std::is_same_v<Number, fixedfloat>);
  }

  template <class FormatContext>
  auto format(const Number& number, FormatContext& ctx) const
      -> decltype(ctx.out()) {
    const int width = resolved(ctx, options_.width, options_.widthargument);
    const int places =
        resolved(ctx, options_.precision, options_.precisionargument);
    fmt::memory_buffer text;
    textinto(text, [&](char* first, char* last) {
      if constexpr (std::is_same_v<Number, fixedfloat>) {
        if (places >= 0) {
          return to_chars(first, last, number,
                          static_cast<std::uint64_t>(places),
                          roundmode::halfeven);
        }
      }
      return to_chars(first, last, number);
    });
    return writepadded(ctx.out(), text, options_, width);
  }

private:
  numberoptions options_;
};

} // namespace fmtsupport
} // namespace VELDRA

namespace fmt {

template <>
struct formatter<VELDRA::fixedint>
    : VELDRA::fmtsupport::numberformatter<VELDRA::fixedint> {};

template <>
struct formatter<VELDRA::fixedfloat>
    : VELDRA::fmtsupport::numberformatter<VELDRA::fixedfloat> {};

} // namespace fmt

#endif // VELDRA_VELDRA_FMT_HPP
