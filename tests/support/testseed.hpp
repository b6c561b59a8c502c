// The seed of a randomized test.  VELDRA_TEST_SEED, when set, replaces the
// test's own seed, and every failure of the test names the seed it ran with
// and the command that runs it again so:
//
//   seed 81: rerun with VELDRA_TEST_SEED=81 .../test_fixedint_division_power
//   --gtest_filter=FixedintDivision.MatchesGmp
#ifndef VELDRA_TESTS_TESTSEED_HPP
#define VELDRA_TESTS_TESTSEED_HPP

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace veldratest {

// The path of this test program.  On Windows the C runtime's, which spares
// every test the macros of <windows.h> (`far`, `near`, ...).
inline std::string programpath() {
#if defined(_WIN32)
  return _pgmptr != nullptr ? _pgmptr : "<test program>";
#else
  char program[PATH_MAX] = "<test program>";
  const ssize_t length =
      ::readlink("/proc/self/exe", program, sizeof program - 1);
  if (length > 0) {
    program[length] = '\0';
  }
  return program;
#endif
}

class testseed {
public:
  // Made at the top of the test, with the test's own seed; the failure
  // messages name the line that made it.
  explicit testseed(std::uint64_t fallback, const char* file = __builtin_FILE(),
                    int line = __builtin_LINE())
      : value_(chosen(fallback)), trace_(file, line, rerun(value_)) {}

  std::uint64_t value() const { return value_; }

private:
  std::uint64_t value_;
  testing::ScopedTrace trace_;

  static std::uint64_t chosen(std::uint64_t fallback) {
    const char* text = std::getenv("VELDRA_TEST_SEED");
    if (text == nullptr) {
      return fallback;
    }
    char* end = nullptr;
    const std::uint64_t seed = std::strtoull(text, &end, 10);
    if (*text == '\0' || *end != '\0') {
      ADD_FAILURE() << "VELDRA_TEST_SEED=" << text << " is not a number";
      return fallback;
    }
    return seed;
  }

  static std::string rerun(std::uint64_t seed) {
    const testing::TestInfo* test =
        testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter =
        test == nullptr ? ""
                        : std::string(" --gtest_filter=") +
                              test->test_suite_name() + "." + test->name();
    const std::string number = std::to_string(seed);
    return "seed " + number + ": rerun with VELDRA_TEST_SEED=" + number + " " +
           programpath() + filter;
  }
};

} // namespace veldratest

#endif // VELDRA_TESTS_TESTSEED_HPP
