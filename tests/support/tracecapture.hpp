// Reading back the trace in tests: the message texts of the lines written
// since a capture began, with the line format checked on the way.
#ifndef VELDRA_TESTS_TRACECAPTURE_HPP
#define VELDRA_TESTS_TRACECAPTURE_HPP

#include "veldra.hpp"

#include <gtest/gtest.h>

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

// The three lines of a number made by length.
inline std::vector<std::string> creationlines(std::uint64_t length) {
  return {"New fixedint object!",
          "Resizing Digits to: " + std::to_string(length), "Done."};
}

// Concatenates line lists, for spelling out expected sequences.
inline std::vector<std::string>
concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> out;
  for (const auto& part : parts) {
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

} // namespace veldratest

#endif // VELDRA_TESTS_TRACECAPTURE_HPP
