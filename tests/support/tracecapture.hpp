// Reading back the trace in tests: the message texts of the lines written
// since a capture began, with the line format checked on the way.
#ifndef VELDRA_TESTS_TRACECAPTURE_HPP
#define VELDRA_TESTS_TRACECAPTURE_HPP

#include "veldra.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace veldratest {

// "VELDRA [" + 24 characters of time text + "]: "
constexpr std::size_t prefixlength = 35;

// Splits a trace into message texts; a line without the prefix fails the
// test and is kept whole so the mismatch shows.
inline std::vector<std::string> messages(const std::string& trace) {
  std::vector<std::string> out;
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

  // The message texts written since construction or the last reset.
  std::vector<std::string> lines() const {
    return messages(VELDRA::logstream.str());
  }
};

// Concatenates line lists, for spelling out expected sequences.
inline std::vector<std::string>
concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> out;
  for (const auto& part : parts) {
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

// The three lines of a number made by length.
inline std::vector<std::string> creationlines(std::uint64_t length) {
  return {"New fixedint object!",
          "Resizing Digits to: " + std::to_string(length), "Done."};
}

// The lines of a resize of a number to `length`.
inline std::vector<std::string> resizelines(std::uint64_t length) {
  return {"Resize requested in fixedint.",
          "Resizing Digits to: " + std::to_string(length), "Done."};
}

// `count` destructions of fixedints.
inline std::vector<std::string> deletions(std::size_t count) {
  return std::vector<std::string>(count, "Deleted fixedint object.");
}

// The destruction of a fixedfloat: its own line, then its digits'.
inline std::vector<std::string> floatdestructionlines() {
  return {"Deleting fixedfloat object!", "Deleted fixedint object."};
}

// The set-up lines the first number of a process writes before its own.
inline std::vector<std::string> setuplines() {
  return {"First fixedint/fixedfloat object created!",
          "Start Initialization of Veldra Arithmetic module.",
          "Setting up log dumper...", "Done. Init Successful"};
}

// The last six lines of a crash report naming the exception (type, what()).
inline std::vector<std::string> closinglines(const std::string& type,
                                             const std::string& message) {
  return {"Terminate called. Preparing report.",
          "Opened File.",
          "Rethrowing exception and getting type.",
          "Exception type: " + type,
          "what(): " + message,
          "--- LOG END: NO FURTHER MESSAGES ---"};
}

// The lines of fixedfloat(length) once set-up has run.
inline std::vector<std::string> floatcreationlines(std::uint64_t length) {
  return concat(
      {creationlines(0),
       {"Creating new fixedfloat object!",
        "Init called on fixedfloat with length: " + std::to_string(length),
        "Register size.", "Init boolean properties.", "Init digits."},
       creationlines(length),
       deletions(1),
       {"Done."}});
}

} // namespace veldratest

#endif // VELDRA_TESTS_TRACECAPTURE_HPP
