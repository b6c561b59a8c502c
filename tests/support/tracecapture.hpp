// Reading back the trace in tests: the message texts of the lines written
// since a capture began, with the line format checked on the way, and the
// shapes that runs of lines take, named for what the library does.
#ifndef VELDRA_TESTS_TRACECAPTURE_HPP
#define VELDRA_TESTS_TRACECAPTURE_HPP

// The library's own table of trace texts, read from its sources.
#include "../../src/vm/trace.hpp"
#include "veldra.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace veldratest {

using lines = std::vector<std::string>;

namespace trace = VELDRA::detail::trace;

// A line's text, and one followed by a number or a text.
inline std::string line(std::string_view text) { return std::string(text); }
inline std::string line(std::string_view text, std::uint64_t number) {
  return line(text) + std::to_string(number);
}
inline std::string line(std::string_view text, const std::string& tail) {
  return line(text) + tail;
}

// "VELDRA [" + 24 characters of time text + "]: "
constexpr std::size_t prefixlength = 35;

// Splits a trace into message texts; a line without the prefix fails the
// test and is kept whole so the mismatch shows.
inline lines messages(const std::string& trace) {
  lines out;
  std::size_t begin = 0;
  while (begin < trace.size()) {
    std::size_t end = trace.find('\n', begin);
    EXPECT_NE(end, std::string::npos) << "unterminated trace line";
    if (end == std::string::npos) {
      end = trace.size();
    }
    const std::string line = trace.substr(begin, end - begin);
    const bool prefixed = line.size() >= prefixlength &&
                          line.compare(0, 8, "VELDRA [") == 0 &&
                          line.compare(32, 3, "]: ") == 0;
    EXPECT_TRUE(prefixed) << "malformed trace line: " << line;
    out.push_back(prefixed ? line.substr(prefixlength) : line);
    begin = end + 1;
  }
  return out;
}

// Empties the trace when made, so each test reads only its own lines and a
// long randomized run does not keep a growing trace alive.
class tracecapture {
public:
  tracecapture() { reset(); }

  static void reset() {
    VELDRA::logstream.str("");
    VELDRA::logstream.clear();
  }

  // The message texts written since construction or the last reset.  A
  // member, though it reads only the trace: it is read through the capture
  // whose making began it.
  // NOLINTNEXTLINE(readability-convert-member-functions-to-static)
  veldratest::lines lines() const { return messages(VELDRA::logstream.str()); }
};

// Concatenates line lists, for spelling out expected sequences.
inline lines concat(std::initializer_list<lines> parts) {
  lines out;
  for (const auto& part : parts) {
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

// ---------------------------------------------------------------------------
// Numbers made
// ---------------------------------------------------------------------------

// A fixedint made by length: fixedint(length), and every number an
// operation makes for its result or its own use.
inline lines creationlines(std::uint64_t length) {
  return {line(trace::intmade), line(trace::resizingto, length),
          line(trace::done)};
}

// A fixedint resized to `length`.
inline lines resizelines(std::uint64_t length) {
  return {line(trace::resizerequested), line(trace::resizingto, length),
          line(trace::done)};
}

// The result of a * b at `length`: made at twice the length, cut back.
inline lines productlines(std::uint64_t length) {
  return concat({creationlines(2 * length), resizelines(length)});
}

// ---------------------------------------------------------------------------
// Numbers destroyed
// ---------------------------------------------------------------------------
//
// Every fixedint leaves the same line, so a run of them shows only as its
// count.  The names say whose lines they are, so that an expected trace can
// be read against the operation's description in veldra.hpp.

// `count` numbers that an operation, or the test, made for its own use.
inline lines numbersgone(std::size_t count = 1) {
  return lines(count, line(trace::intdestroyed));
}

// The copies of the right operand taken by `count` operators: each takes it
// by value, and one built on others passes it on to each of them.
inline lines operandsgone(std::size_t count = 1) { return numbersgone(count); }

// The number an operator returned, destroyed by its caller.
inline lines resultgone() { return numbersgone(1); }

// a < b runs > and, only when that is false, != (which runs ==), each on a
// copy of its own.
inline lines lessthancopies(bool greater) {
  return operandsgone(greater ? 2 : 4);
}

// `count` fixedfloats destroyed: each its own line, then its digits'.
inline lines floatsgone(std::size_t count = 1) {
  lines out;
  for (std::size_t i = 0; i < count; ++i) {
    out.insert(out.end(),
               {line(trace::floatdestroyed), line(trace::intdestroyed)});
  }
  return out;
}

// The copies of the right operand taken by `count` fixedfloat operators.
inline lines floatoperandsgone(std::size_t count = 1) {
  return floatsgone(count);
}

// fixedfloat(length) once set-up has run: its digits start empty, and the
// number of `length` places made for them is moved in and goes.
inline lines floatcreationlines(std::uint64_t length) {
  return concat({creationlines(0),
                 {line(trace::floatmade), line(trace::floatinit, length),
                  line(trace::floatsize), line(trace::floatflags),
                  line(trace::floatdigits)},
                 creationlines(length),
                 numbersgone(1),
                 {line(trace::done)}});
}

// ---------------------------------------------------------------------------
// The process
// ---------------------------------------------------------------------------

// The set-up lines the first number of a process writes before its own.
inline lines setuplines() {
  return {line(trace::firstnumber), line(trace::startsetup),
          line(trace::settingdumper), line(trace::setupdone)};
}

// The last six lines of a crash report naming the exception (type, what()).
inline lines closinglines(const std::string& type, const std::string& message) {
  return {line(trace::reportstart),         line(trace::reportopened),
          line(trace::reportrethrow),       line(trace::reporttype, type),
          line(trace::reportwhat, message), line(trace::reportend)};
}

} // namespace veldratest

#endif // VELDRA_TESTS_TRACECAPTURE_HPP
