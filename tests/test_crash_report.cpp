// The crash report terminate writes, on the ordinary paths and under faults
// (a huge trace, any exception, no memory, no logs/), each in a forked child.
#include "support/childprocess.hpp"
#include "support/tracecapture.hpp"

#include "veldra.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <typeinfo>
#include <unistd.h>
#include <vector>

namespace {

// Once set (in a child), every allocation through operator new fails.
bool failallocations = false;

void* allocate(std::size_t size) {
  if (failallocations) {
    throw std::bad_alloc();
  }
  if (void* block = std::malloc(size == 0 ? 1 : size)) {
    return block;
  }
  throw std::bad_alloc();
}

} // namespace

// Replacements for the whole test program, the library included, so that
// the terminate handler can be made to run out of memory.
void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

namespace {

using veldratest::childrun;
using veldratest::closinglines;
using veldratest::concat;
using veldratest::creationlines;
using veldratest::lines;
using veldratest::messages;
using veldratest::numbersgone;
using veldratest::runinchild;
using veldratest::setuplines;

// The report of a child that made one number of length 1 and then ended
// through terminate with the exception named (type, message) in flight.
lines onenumberreport(const std::string& type, const std::string& message) {
  return concat({setuplines(), creationlines(1), numbersgone(),
                 closinglines(type, message)});
}

void makeonenumber() { VELDRA::fixedint number(1); }

// Throws `fault` out of a noexcept function, so that it reaches terminate
// still in flight, as an uncaught exception does at the top of main.
template <class Fault> void throwtoterminate(const Fault& fault) noexcept {
  std::rethrow_exception(std::make_exception_ptr(fault));
}

// The trace moves into a buffer without spare room, appending at its end,
// so that every further line needs memory that is no longer there.
void failallocationsfromnow() {
  std::stringstream tight(VELDRA::logstream.str(),
                          std::ios::in | std::ios::out | std::ios::ate);
  VELDRA::logstream.swap(tight);
  failallocations = true;
}

// A child's body, which ends by SIGABRT through terminate, and the report
// it leaves: each line in order, and nothing of an earlier report.
struct reportcase {
  const char* name;
  std::function<void()> body;
  lines expected;
};

void expectreports(const std::vector<reportcase>& cases) {
  for (const reportcase& c : cases) {
    const childrun run = runinchild(c.body);
    EXPECT_TRUE(run.abortedbysignal(SIGABRT)) << c.name;
    EXPECT_EQ(messages(run.report()), c.expected) << c.name;
  }
}

// The library's own exception, leaving a noexcept function.
void makeoversized() noexcept { VELDRA::fixedint number(3, 1234); }

struct plainfault {};
struct derivedfault : std::runtime_error {
  derivedfault() : std::runtime_error("derived from runtime_error") {}
};

// A child that makes one number and then throws `fault` to terminate.
template <class Fault> std::function<void()> onenumberthen(Fault fault) {
  return [fault] {
    makeonenumber();
    throwtoterminate(fault);
  };
}

// The exception in flight at terminate is named by its run-time type; only
// those derived from std::exception have a what() to show.
TEST(CrashReport, NamesTheExceptionInFlight) {
  expectreports({
      {"module", [] { makeoversized(); },
       concat(
           {setuplines(), creationlines(3),
            closinglines("St12out_of_range", "Input int bigger than size!")})},
      {"standard", onenumberthen(std::invalid_argument("bad argument")),
       onenumberreport(typeid(std::invalid_argument).name(), "bad argument")},
      {"derived", onenumberthen(derivedfault()),
       onenumberreport(typeid(derivedfault).name(),
                       "derived from runtime_error")},
      {"int", onenumberthen(42),
       onenumberreport(typeid(int).name(), "UNKNOWN")},
      {"plain", onenumberthen(plainfault()),
       onenumberreport(typeid(plainfault).name(), "UNKNOWN")},
  });
}

// Out of memory inside the handler the report is still whole, and names a
// type too long to be held without allocating, or the std::bad_alloc of the
// library's own allocation.
TEST(CrashReport, WrittenWhenMemoryRunsOut) {
  expectreports({
      {"no exception",
       [] {
         makeonenumber();
         failallocationsfromnow();
         std::terminate();
       },
       onenumberreport("UNKNOWN", "UNKNOWN")},
      {"named",
       [] {
         const std::invalid_argument fault("made before memory ran out");
         makeonenumber();
         failallocationsfromnow();
         throwtoterminate(fault);
       },
       onenumberreport(typeid(std::invalid_argument).name(),
                       "made before memory ran out")},
      {"library",
       [] {
         makeonenumber();
         failallocationsfromnow();
         []() noexcept { makeonenumber(); }();
       },
       onenumberreport(typeid(std::bad_alloc).name(), std::bad_alloc().what())},
  });
}

// A long-running program bounds the trace by emptying it at points of its
// choosing: the report then holds what came after the last emptying, and
// still ends with the six closing lines.
TEST(CrashReport, HoldsWhatCameAfterTheTraceWasEmptied) {
  expectreports(
      {{"emptied",
        [] {
          makeonenumber();
          VELDRA::logstream.str("");
          VELDRA::fixedint kept(2);
          throwtoterminate(std::out_of_range("after emptying"));
        },
        concat({creationlines(2), closinglines(typeid(std::out_of_range).name(),
                                               "after emptying")})}});
}

// With a capacity the report begins with the count of the lines it
// dropped: with those it holds, every line the process wrote.
TEST(CrashReport, CountsTheLinesACapacityDropped) {
  constexpr std::size_t linecount = 200;
  const childrun run = runinchild([] {
    VELDRA::setlogcapacity(2000);
    makeonenumber();
    for (std::size_t i = 0; i < linecount; ++i) {
      VELDRA::log("line " + std::to_string(i));
    }
    std::terminate();
  });
  EXPECT_TRUE(run.abortedbysignal(SIGABRT));
  const lines report = messages(run.report());
  const std::string counted = "Earlier trace lines dropped, capacity reached: ";
  ASSERT_GT(report.size(), 7U);
  ASSERT_EQ(report.front().rfind(counted, 0), 0U) << report.front();
  const std::size_t dropped = std::stoul(report.front().substr(counted.size()));
  EXPECT_EQ(dropped + report.size() - 1,
            setuplines().size() + 4 + linecount + closinglines("", "").size());
  EXPECT_EQ(lines(report.end() - 7, report.end()),
            concat({{"line 199"}, closinglines("UNKNOWN", "UNKNOWN")}));
}

// With no exception in flight: terminate with a number alive, over an
// earlier report, and after an earlier handler that returns or calls
// terminate again, which runs once the report is on disk and cannot keep
// the process alive.
TEST(CrashReport, WrittenWithoutAnException) {
  const lines unknown = onenumberreport("UNKNOWN", "UNKNOWN");
  // Installed before the first number, which makes it the earlier one.
  const auto earlier = [](VELDRA::terminate_handler handler) {
    return [handler] {
      std::set_terminate(handler);
      makeonenumber();
      std::terminate();
    };
  };
  expectreports({
      {"alive",
       [] {
         VELDRA::fixedint number(3);
         std::terminate();
       },
       concat({setuplines(), creationlines(3),
               closinglines("UNKNOWN", "UNKNOWN")})},
      {"earlier report",
       [] {
         std::ofstream("logs/veldra.log") << std::string(10000, 'x') << '\n';
         makeonenumber();
         std::terminate();
       },
       unknown},
      {"returning handler", earlier([] {}), unknown},
      {"terminating handler", earlier([] { std::terminate(); }), unknown},
  });
}

// No report without a number made (nothing installed the handler), or on
// a normal exit; for a missing logs/ see below.
TEST(CrashReport, NotWrittenWithoutANumberOrATerminate) {
  const childrun nonumber = runinchild([] {
    VELDRA::log("a line, but no number");
    std::terminate();
  });
  EXPECT_TRUE(nonumber.abortedbysignal(SIGABRT));
  EXPECT_FALSE(nonumber.hasreport());
  const childrun normal = runinchild([] { VELDRA::fixedint number(4, 42); });
  EXPECT_TRUE(normal.exitedwith(0));
  EXPECT_FALSE(normal.hasreport());
}

TEST(CrashReport, IsCompleteOnDiskWithAHundredMegabyteTrace) {
  constexpr std::size_t linecount = 10000;
  const std::string filler(10000, 'x');
  const childrun run = runinchild([&] {
    makeonenumber();
    for (std::size_t i = 0; i < linecount; ++i) {
      VELDRA::log(filler);
    }
    std::terminate();
  });
  EXPECT_TRUE(run.abortedbysignal(SIGABRT));

  const lines expected =
      concat({setuplines(), creationlines(1), numbersgone(),
              lines(linecount, filler), closinglines("UNKNOWN", "UNKNOWN")});
  std::size_t bytes = 0;
  for (const std::string& message : expected) {
    bytes += veldratest::prefixlength + message.size() + 1;
  }
  const std::string report = run.report();
  ASSERT_GT(bytes, std::size_t{100000000});
  ASSERT_EQ(report.size(), bytes);
  EXPECT_TRUE(messages(report) == expected);
}

// Where logs/ is missing or cannot take the report, everything else stays
// as it is with a writable logs/: the output, the end by SIGABRT, and
// whatever stands at the report's path.
TEST(CrashReport, UnwritableOrMissingLogsChangesNothingElse) {
  const auto body = [](const std::function<void()>& prepare) {
    return [prepare] {
      prepare();
      VELDRA::fixedint number(3, 42);
      std::cout << number.asstring() << std::flush;
      std::terminate();
    };
  };
  const childrun written = runinchild(body([] {}));
  ASSERT_TRUE(written.abortedbysignal(SIGABRT));
  ASSERT_TRUE(written.hasreport());

  const childrun missing = runinchild(body([] {}), /*withlogs=*/false);
  // Root may write anywhere, so the path is blocked by its shape instead:
  // logs a regular file, or the report's name taken by a directory.
  const childrun logsfile = runinchild(body([] {
                                         std::ofstream("logs", std::ios::binary)
                                             << "not a directory\n";
                                       }),
                                       /*withlogs=*/false);
  const childrun reportdir = runinchild(
      body([] { std::filesystem::create_directory("logs/veldra.log"); }));
  std::vector<const childrun*> runs = {&missing, &logsfile, &reportdir};
#if !defined(_WIN32)
  // A device that takes no bytes: the open succeeds, every write fails.
  // Windows has no such device.
  const childrun full = runinchild(
      body([] { ASSERT_EQ(::symlink("/dev/full", "logs/veldra.log"), 0); }));
  runs.push_back(&full);
#endif

  for (const childrun* run : runs) {
    EXPECT_TRUE(run->abortedbysignal(SIGABRT)) << run->dir;
    EXPECT_EQ(run->output, written.output) << run->dir;
  }
  EXPECT_FALSE(missing.hasreport());
  EXPECT_EQ(childrun::readfile(logsfile.dir + "/logs"), "not a directory\n");
  struct stat info {};
  ASSERT_EQ(::stat((reportdir.dir + "/logs/veldra.log").c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
}

} // namespace
