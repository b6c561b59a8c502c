// The demo binary end to end: its output, its deliberate abort and the crash
// report that abort leaves in logs/.
#include "support/childprocess.hpp"
#include "support/tracecapture.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#ifndef VELDRA_DEMO_PATH
#error "VELDRA_DEMO_PATH must name the veldra-demo binary"
#endif
#ifndef VELDRA_DEMO_OUTPUT
#error "VELDRA_DEMO_OUTPUT must name the file of the demo's expected output"
#endif

namespace {

using veldratest::lines;

// What the demo prints, from the one file every check of the demo reads.
std::string expectedoutput() {
  std::ifstream file(VELDRA_DEMO_OUTPUT, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Runs the demo in a fresh directory; the runtime's abort message on
// standard error is dropped.
veldratest::childrun rundemo(bool withlogs) {
  return veldratest::runinchild(
      [] {
        veldratest::discardstderr();
        veldratest::becomeprogram(VELDRA_DEMO_PATH);
      },
      withlogs);
}

lines slice(const lines& all, std::size_t begin, std::size_t count) {
  return lines(all.begin() + static_cast<std::ptrdiff_t>(begin),
               all.begin() + static_cast<std::ptrdiff_t>(begin + count));
}

TEST(Demo, PrintsTwoLinesAbortsAndReportsItsWholeRun) {
  const veldratest::childrun run = rundemo(true);
  EXPECT_EQ(run.output, expectedoutput());
  EXPECT_TRUE(run.abortedbysignal(SIGABRT)) << "status " << run.status;
  ASSERT_TRUE(run.hasreport());

  // messages() also checks the prefix and the final newline of every line.
  const lines report = veldratest::messages(run.report());
  const lines setup = veldratest::setuplines();
  const lines closing = veldratest::closinglines("UNKNOWN", "UNKNOWN");
  // The product, then the copy of testf1, go just before the end.
  const lines destroyed = veldratest::concat(
      {veldratest::floatsgone(), veldratest::floatoperandsgone()});
  const std::size_t tail = destroyed.size() + closing.size();
  ASSERT_GE(report.size(), setup.size() + tail);
  EXPECT_EQ(slice(report, 0, setup.size()), setup);
  EXPECT_EQ(slice(report, report.size() - tail, destroyed.size()), destroyed);
  EXPECT_EQ(slice(report, report.size() - closing.size(), closing.size()),
            closing);
  // testf1 and testf2 are never destroyed: only two of three fixedfloats go.
  const auto count = [&](const std::string& message) {
    return std::count(report.begin(), report.end(), message);
  };
  EXPECT_EQ(count("Creating new fixedfloat object!"), 3);
  EXPECT_EQ(count("Deleting fixedfloat object!"), 2);
}

TEST(Demo, WithoutLogsDirectoryRunsTheSameAndWritesNoReport) {
  const veldratest::childrun run = rundemo(false);
  EXPECT_EQ(run.output, expectedoutput());
  EXPECT_TRUE(run.abortedbysignal(SIGABRT)) << "status " << run.status;
  EXPECT_FALSE(run.hasreport());
  EXPECT_NE(::access((run.dir + "/logs").c_str(), F_OK), 0);
}

} // namespace
