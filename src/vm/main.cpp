// The demonstration: two fixed-point numbers, their product on standard
// output, then an abnormal end through std::terminate so that every run
// leaves its trace in logs/veldra.log.
#include "veldra.hpp"

#include <exception>
#include <iostream>

using namespace VELDRA;

int main() {
  fixedfloat testf1(8);
  fixedfloat testf2(8);
  testf1 = 0.123f;
  testf2 = 78.9f;
  std::cout << testf1.asstring() << std::endl;
  // testf1 goes in by value: the copy and the product are destroyed at the
  // end of this statement, and their lines are in the report.
  std::cout << (testf2 * testf1).asstring() << std::endl;
  std::terminate();
}
